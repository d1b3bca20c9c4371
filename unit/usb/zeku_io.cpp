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

}  // namespace

DWORD ZekuIoOpen(void)
{
    ZekuIoClose();
    for (unsigned n = 0; n < ZEKUIO_MAX_DEVICES; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "ZekuIo/mutex/device/%02u", n);
        s_mutexes[n] = g_sys.CreateMutexA(nullptr, FALSE, name);
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
