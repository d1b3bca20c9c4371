// KERNEL32's volume functions on the emulated machine. Programs reach them through GetProcAddress,
// so they are plain WINAPI functions that find the current machine themselves.
#include "sim/machine/emulated_machine.h"

namespace {

// The current machine, or null (with ERROR_INVALID_FUNCTION) when an entry point kept from an
// earlier machine is called with none in place.
EmulatedMachine* MachineOrFail()
{
    EmulatedMachine* machine = EmulatedMachine::Current();
    if (machine == nullptr)
        g_sys.SetLastError(ERROR_INVALID_FUNCTION);
    return machine;
}

HANDLE WINAPI EmulatedFindFirstVolumeA(LPSTR name, DWORD length)
{
    EmulatedMachine* machine = MachineOrFail();
    if (machine == nullptr || machine->InjectedFailure("FindFirstVolumeA", ERROR_NOT_ENOUGH_MEMORY))
        return INVALID_HANDLE_VALUE;
    DWORD error = 0;
    HANDLE find = machine->Storage().FindFirstVolume(name, length, &error);
    if (find == INVALID_HANDLE_VALUE)
        g_sys.SetLastError(error);
    return find;
}

BOOL WINAPI EmulatedFindNextVolumeA(HANDLE find, LPSTR name, DWORD length)
{
    EmulatedMachine* machine = MachineOrFail();
    if (machine == nullptr || machine->InjectedFailure("FindNextVolumeA", ERROR_NO_MORE_FILES))
        return FALSE;
    DWORD error = 0;
    if (machine->Storage().FindNextVolume(find, name, length, &error))
        return TRUE;
    g_sys.SetLastError(error);
    return FALSE;
}

BOOL WINAPI EmulatedFindVolumeClose(HANDLE find)
{
    EmulatedMachine* machine = MachineOrFail();
    if (machine == nullptr)
        return FALSE;
    DWORD error = 0;
    if (machine->Storage().FindVolumeClose(find, &error))
        return TRUE;
    g_sys.SetLastError(error);
    return FALSE;
}

BOOL WINAPI EmulatedGetVolumeNameForVolumeMountPointA(LPCSTR mountPoint, LPSTR name, DWORD length)
{
    EmulatedMachine* machine = MachineOrFail();
    if (machine == nullptr || machine->InjectedFailure("GetVolumeNameForVolumeMountPointA", ERROR_FILE_NOT_FOUND))
        return FALSE;
    DWORD error = 0;
    if (machine->Storage().VolumeNameForMountPoint(mountPoint, name, length, &error))
        return TRUE;
    g_sys.SetLastError(error);
    return FALSE;
}

template <typename Function>
FARPROC Entry(Function function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(function));
}

}  // namespace

std::map<std::string, FARPROC> NtVolumeFunctions()
{
    return {
        {"FindFirstVolumeA", Entry(EmulatedFindFirstVolumeA)},
        {"FindNextVolumeA", Entry(EmulatedFindNextVolumeA)},
        {"FindVolumeClose", Entry(EmulatedFindVolumeClose)},
        {"GetVolumeNameForVolumeMountPointA", Entry(EmulatedGetVolumeNameForVolumeMountPointA)},
    };
}
