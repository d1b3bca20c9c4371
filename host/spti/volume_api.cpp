#include "host/spti/volume_api.h"

#include "platform/system_table.h"

namespace {

typedef HANDLE(WINAPI* FindFirstVolumeAFunction)(LPSTR, DWORD);
typedef BOOL(WINAPI* FindNextVolumeAFunction)(HANDLE, LPSTR, DWORD);
typedef BOOL(WINAPI* FindVolumeCloseFunction)(HANDLE);
typedef BOOL(WINAPI* GetVolumeNameForVolumeMountPointAFunction)(LPCSTR, LPSTR, DWORD);

enum VolumeEntry { FIND_FIRST, FIND_NEXT, FIND_CLOSE, NAME_FOR_MOUNT_POINT, VOLUME_ENTRIES };

const char* const s_entryNames[VOLUME_ENTRIES] = {
    "FindFirstVolumeA",
    "FindNextVolumeA",
    "FindVolumeClose",
    "GetVolumeNameForVolumeMountPointA",
};

struct VolumeApiState {
    bool loadTried;
    HMODULE module;
    FARPROC entries[VOLUME_ENTRIES];
};

VolumeApiState s_volumeApi;

// The entry point, or null with ERROR_INVALID_FUNCTION.
template <typename Function>
Function Lookup(VolumeEntry entry)
{
    if (!s_volumeApi.loadTried) {
        s_volumeApi.loadTried = true;
        s_volumeApi.module = g_sys.LoadLibraryA("KERNEL32.DLL");
    }
    if (s_volumeApi.module && !s_volumeApi.entries[entry])
        s_volumeApi.entries[entry] = g_sys.GetProcAddress(s_volumeApi.module, s_entryNames[entry]);
    if (!s_volumeApi.entries[entry]) {
        g_sys.SetLastError(ERROR_INVALID_FUNCTION);
        return nullptr;
    }
    // Through the generic function type, which converts to every other without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(s_volumeApi.entries[entry]));
}

}  // namespace

HANDLE VolumeApiFindFirstVolumeA(LPSTR volumeName, DWORD length)
{
    // A search is begun only when it can be ended: its handle must never stay open for want of
    // FindVolumeClose.
    if (!Lookup<FindVolumeCloseFunction>(FIND_CLOSE))
        return INVALID_HANDLE_VALUE;
    auto function = Lookup<FindFirstVolumeAFunction>(FIND_FIRST);
    return function ? function(volumeName, length) : INVALID_HANDLE_VALUE;
}

BOOL VolumeApiFindNextVolumeA(HANDLE find, LPSTR volumeName, DWORD length)
{
    auto function = Lookup<FindNextVolumeAFunction>(FIND_NEXT);
    return function ? function(find, volumeName, length) : FALSE;
}

BOOL VolumeApiFindVolumeClose(HANDLE find)
{
    auto function = Lookup<FindVolumeCloseFunction>(FIND_CLOSE);
    return function ? function(find) : FALSE;
}

BOOL VolumeApiGetVolumeNameForVolumeMountPointA(LPCSTR mountPoint, LPSTR volumeName, DWORD length)
{
    auto function = Lookup<GetVolumeNameForVolumeMountPointAFunction>(NAME_FOR_MOUNT_POINT);
    return function ? function(mountPoint, volumeName, length) : FALSE;
}

void VolumeApiReset(void)
{
    s_volumeApi = VolumeApiState{};
}
