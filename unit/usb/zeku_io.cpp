// The vendor USB driver transport as a system without the driver sees it: the per-device mutexes are
// created so that the unit layer opens, and no device is ever found. A device index therefore never
// names a device, and every per-unit operation answers as it does for an index out of range.
#include "unit/usb/zeku_io.h"

#include <cstdio>

#include "platform/system_table.h"

namespace {

HANDLE s_mutexes[ZEKUIO_MAX_DEVICES];

// Status of a command on a device that cannot be opened or does not exist.
const UnitStatus ZEKUIO_NO_DEVICE = 5;

// The mutex of device index n, shared with every process and account: its security descriptor has a
// null DACL. The descriptor is allocated at the platform's own size (a fixed 20 bytes would be too
// small for a 64-bit descriptor).
HANDLE ZekuIoCreateMutex(unsigned n)
{
    char name[32];
    std::snprintf(name, sizeof name, "ZekuIo/mutex/device/%02u", n);
    PSECURITY_DESCRIPTOR descriptor = g_sys.LocalAlloc(LMEM_ZEROINIT, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (!descriptor)
        return nullptr;
    HANDLE mutex = nullptr;
    if (g_sys.InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        g_sys.SetSecurityDescriptorDacl(descriptor, TRUE, nullptr, FALSE)) {
        SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), descriptor, TRUE};
        mutex = g_sys.CreateMutexA(&attributes, FALSE, name);
    }
    const DWORD error = g_sys.GetLastError();
    g_sys.LocalFree(descriptor);
    g_sys.SetLastError(error);
    return mutex;
}

}  // namespace

DWORD ZekuIoOpen(void)
{
    ZekuIoClose();
    for (unsigned n = 0; n < ZEKUIO_MAX_DEVICES; ++n) {
        s_mutexes[n] = ZekuIoCreateMutex(n);
        if (!s_mutexes[n]) {
            ZekuIoClose();
            return 0;
        }
    }
    return 1;
}

void ZekuIoClose(void)
{
    for (HANDLE& mutex : s_mutexes) {
        if (mutex) {
            g_sys.CloseHandle(mutex);
            mutex = nullptr;
        }
    }
}

DWORD ZekuIoCount(void)
{
    return 0;
}

BYTE* ZekuIoGetCdb(DWORD)
{
    return nullptr;
}

UnitStatus ZekuIoExecute(DWORD, DWORD, DWORD, void*, DWORD)
{
    return ZEKUIO_NO_DEVICE;
}

BOOL ZekuIoGetDriveLetter(DWORD, DWORD*)
{
    g_sys.SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL ZekuIoGetDeviceNumber(DWORD, DWORD*)
{
    g_sys.SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL ZekuIoLoadMedium(DWORD)
{
    g_sys.SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

BOOL ZekuIoEjectMedium(DWORD)
{
    g_sys.SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

BOOL ZekuIoLock(DWORD)
{
    return TRUE;
}

BOOL ZekuIoUnlock(DWORD)
{
    return TRUE;
}
