#include "host/shared_mutex.h"

#include <cstdio>

#include "platform/system_table.h"

HANDLE HostIoCreateSharedMutex(const char* name, SharedMutexDescriptor memory)
{
    const bool local = memory == SHARED_MUTEX_LOCAL_ZEROED;
    PSECURITY_DESCRIPTOR descriptor = local ? g_sys.LocalAlloc(LMEM_ZEROINIT, SECURITY_DESCRIPTOR_MIN_LENGTH)
                                            : g_sys.GlobalAlloc(GMEM_FIXED, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (!descriptor)
        return nullptr;
    HANDLE mutex = nullptr;
    if (g_sys.InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        g_sys.SetSecurityDescriptorDacl(descriptor, TRUE, nullptr, FALSE)) {
        SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), descriptor, TRUE};
        mutex = g_sys.CreateMutexA(&attributes, FALSE, name);
    }
    DWORD error = g_sys.GetLastError();
    if (local)
        g_sys.LocalFree(descriptor);
    else
        g_sys.GlobalFree(descriptor);
    g_sys.SetLastError(error);
    return mutex;
}

HANDLE HostIoOpenUnitMutex(const char* transport, const char* deviceClass, DWORD n, SharedMutexOpening opening)
{
    if (deviceClass == nullptr || *deviceClass == '\0') {
        g_sys.SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    char name[MAX_PATH];
    int length = std::snprintf(name, sizeof name, "mutex%s/%s/Device%u", transport, deviceClass, static_cast<unsigned>(n));
    if (length < 0 || static_cast<size_t>(length) >= sizeof name) {
        g_sys.SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    HANDLE mutex = opening == SHARED_MUTEX_OPEN_FIRST ? g_sys.OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name) : nullptr;
    return mutex ? mutex : HostIoCreateSharedMutex(name);
}

bool HostIoTakeUnitMutex(HANDLE mutex, DWORD timeout)
{
    DWORD wait = g_sys.WaitForSingleObject(mutex, timeout);
    if (wait == WAIT_ABANDONED)
        g_sys.ReleaseMutex(mutex);
    return wait == WAIT_OBJECT_0;
}
