#include "host/shared_mutex.h"

#include "platform/system_table.h"

HANDLE HostIoCreateSharedMutex(const char* name)
{
    PSECURITY_DESCRIPTOR descriptor = g_sys.GlobalAlloc(GMEM_FIXED, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (!descriptor)
        return nullptr;
    HANDLE mutex = nullptr;
    if (g_sys.InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        g_sys.SetSecurityDescriptorDacl(descriptor, TRUE, nullptr, FALSE)) {
        SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), descriptor, TRUE};
        mutex = g_sys.CreateMutexA(&attributes, FALSE, name);
    }
    DWORD error = g_sys.GetLastError();
    g_sys.GlobalFree(descriptor);
    g_sys.SetLastError(error);
    return mutex;
}
