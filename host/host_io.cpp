// The host-interface table, its installation by platform and the forwarding functions.
#include "host/host_io.h"

#include "host/aspi/aspi_io.h"
#include "host/spti/spti_io.h"
#ifndef _WIN32
#include "host/sg/sg_io.h"
#endif
#include "platform/system_table.h"

namespace {

HostInterface s_hostIo;           // empty until a transport is installed
OSVERSIONINFOA s_hostIoVersion;   // only dwPlatformId is read

// Sets the last error of an empty slot and hands back the value to return.
template <typename Result>
Result EmptySlot(Result result)
{
    g_sys.SetLastError(ERROR_INVALID_FUNCTION);
    return result;
}

}  // namespace

int HostIoInit(void)
{
    s_hostIoVersion.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!g_sys.GetVersionExA(&s_hostIoVersion))
        return 0;
    if (s_hostIoVersion.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        SptiIoInit();
        HostIoInstall(SptiIoInterface());
        return 1;
    }
    if (s_hostIoVersion.dwPlatformId == VER_PLATFORM_LINUX) {
#ifdef _WIN32
        // The SCSI generic transport exists only in the Linux build.
        g_sys.SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
#else
        if (!SgIoInit())
            return 0;
        HostIoInstall(SgIoOperations());
        return 1;
#endif
    }
    if (!AspiIoInit())
        return 0;
    HostIoInstall(AspiIoInterface());
    return 1;
}

void HostIoInstall(const HostInterface* operations)
{
    if (operations != nullptr)
        s_hostIo = *operations;
}

BOOL HostIoTerm(void)
{
    return s_hostIo.term ? s_hostIo.term() : EmptySlot<BOOL>(0);
}

DWORD HostIoEnumerate(HostIoFilter filter, const char* deviceClass)
{
    if (!s_hostIo.enumerate && !HostIoInit())
        return 0;
    if (!s_hostIo.enumerate)
        return EmptySlot<DWORD>(0);
    return s_hostIo.enumerate(filter, deviceClass);
}

BYTE* HostIoGetCdb(DWORD unit)
{
    return s_hostIo.getCdb ? s_hostIo.getCdb(unit) : EmptySlot<BYTE*>(nullptr);
}

UnitStatus HostIoExecute(DWORD unit, DWORD direction, DWORD cdbLength, void* data, DWORD length)
{
    if (!s_hostIo.execute)
        return EmptySlot<UnitStatus>(0xFFFFFFFFu);
    return s_hostIo.execute(unit, direction, cdbLength, data, length);
}

BOOL HostIoGetDriveLetter(DWORD unit, DWORD* letter)
{
    return s_hostIo.getDriveLetter ? s_hostIo.getDriveLetter(unit, letter) : EmptySlot<BOOL>(0);
}

BOOL HostIoGetDeviceNumber(DWORD unit, DWORD* number)
{
    return s_hostIo.getDeviceNumber ? s_hostIo.getDeviceNumber(unit, number) : EmptySlot<BOOL>(0);
}

BOOL HostIoLoadMedium(DWORD unit)
{
    return s_hostIo.loadMedium ? s_hostIo.loadMedium(unit) : EmptySlot<BOOL>(0);
}

BOOL HostIoEjectMedium(DWORD unit)
{
    return s_hostIo.ejectMedium ? s_hostIo.ejectMedium(unit) : EmptySlot<BOOL>(0);
}

BOOL HostIoLock(DWORD unit)
{
    return s_hostIo.lock ? s_hostIo.lock(unit) : EmptySlot<BOOL>(0);
}

BOOL HostIoUnlock(DWORD unit)
{
    return s_hostIo.unlock ? s_hostIo.unlock(unit) : EmptySlot<BOOL>(0);
}

int HostIoAcceptAll(const BYTE*)
{
    return 1;
}
