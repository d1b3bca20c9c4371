// The emulated machine's system table: each entry counts itself for fault injection where the call
// can fail on a real system, then reaches the machine's part that emulates it. Plain files, the
// last error and the security-descriptor and memory calls go on to the native table.
//
// Every seam entry that takes a handle must be emulated here: the machine's handles mean nothing to
// the native calls.
#include <cstddef>
#include <cstring>

#include "sim/machine/emulated_machine.h"

namespace {

EmulatedMachine& Machine()
{
    return *EmulatedMachine::Current();
}

const SystemTable& Native()
{
    return SystemNativeTable();
}

bool IsDevicePath(const char* path)
{
    return path[0] == '\\' && path[1] == '\\' && (path[2] == '.' || path[2] == '?') && path[3] == '\\';
}

DeviceHandle* DeviceOf(HANDLE handle)
{
    return Machine().Handles().Get<DeviceHandle>(handle);
}

template <typename Result>
Result Fail(DWORD error, Result result)
{
    g_sys.SetLastError(error);
    return result;
}

HANDLE WINAPI EmulatedCreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE templateFile)
{
    EmulatedMachine& machine = Machine();
    if (machine.InjectedFailure("CreateFileA", ERROR_ACCESS_DENIED))
        return INVALID_HANDLE_VALUE;
    if (path == nullptr)
        return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    if (!IsDevicePath(path)) {
        HANDLE file = Native().CreateFileA(path, access, share, security, disposition, flags, templateFile);
        if (file != INVALID_HANDLE_VALUE)
            machine.NativeFiles().insert(file);
        return file;
    }
    EmulatedDevice* device = machine.FindDevice(path);
    if (device == nullptr)
        return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    auto handle = std::make_shared<DeviceHandle>();
    handle->device = device;
    handle->path = path;
    handle->access = access;
    DWORD error = 0;
    if (!device->Open(*handle, &error))
        return Fail(error, INVALID_HANDLE_VALUE);
    g_sys.SetLastError(ERROR_SUCCESS);
    return machine.Handles().Add(handle);
}

BOOL WINAPI EmulatedReadFile(HANDLE handle, LPVOID buffer, DWORD length, LPDWORD done, LPOVERLAPPED overlapped)
{
    if (Machine().InjectedFailure("ReadFile", ERROR_READ_FAULT))
        return FALSE;
    if (!HandleTable::IsEmulated(handle))
        return Native().ReadFile(handle, buffer, length, done, overlapped);
    DeviceHandle* device = DeviceOf(handle);
    if (device == nullptr)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    DWORD moved = 0, error = 0;
    BOOL ok = device->device->Read(*device, buffer, length, &moved, &error);
    if (done)
        *done = moved;
    return ok ? TRUE : Fail(error, FALSE);
}

BOOL WINAPI EmulatedWriteFile(HANDLE handle, LPCVOID buffer, DWORD length, LPDWORD done, LPOVERLAPPED overlapped)
{
    if (Machine().InjectedFailure("WriteFile", ERROR_WRITE_FAULT))
        return FALSE;
    if (!HandleTable::IsEmulated(handle))
        return Native().WriteFile(handle, buffer, length, done, overlapped);
    DeviceHandle* device = DeviceOf(handle);
    if (device == nullptr)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    DWORD moved = 0, error = 0;
    BOOL ok = device->device->Write(*device, buffer, length, &moved, &error);
    if (done)
        *done = moved;
    return ok ? TRUE : Fail(error, FALSE);
}

DWORD WINAPI EmulatedGetFileSize(HANDLE handle, LPDWORD high)
{
    if (Machine().InjectedFailure("GetFileSize", ERROR_INVALID_HANDLE))
        return INVALID_FILE_SIZE;
    if (!HandleTable::IsEmulated(handle))
        return Native().GetFileSize(handle, high);
    return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
}

BOOL WINAPI EmulatedCloseHandle(HANDLE handle)
{
    EmulatedMachine& machine = Machine();
    if (!HandleTable::IsEmulated(handle)) {
        machine.NativeFiles().erase(handle);
        return Native().CloseHandle(handle);
    }
    std::shared_ptr<HandleObject> object = machine.Handles().Remove(handle);
    if (!object)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (auto* device = dynamic_cast<DeviceHandle*>(object.get()))
        device->device->Closed(*device);
    return TRUE;
}

BOOL WINAPI EmulatedDeleteFileA(LPCSTR path)
{
    if (Machine().InjectedFailure("DeleteFileA", ERROR_ACCESS_DENIED))
        return FALSE;
    return Native().DeleteFileA(path);
}

BOOL WINAPI EmulatedMoveFileExA(LPCSTR from, LPCSTR to, DWORD flags)
{
    if (Machine().InjectedFailure("MoveFileExA", ERROR_ACCESS_DENIED))
        return FALSE;
    return Native().MoveFileExA(from, to, flags);
}

DWORD WINAPI EmulatedGetFileAttributesA(LPCSTR path)
{
    if (Machine().InjectedFailure("GetFileAttributesA", ERROR_ACCESS_DENIED))
        return INVALID_FILE_ATTRIBUTES;
    return Native().GetFileAttributesA(path);
}

void WINAPI EmulatedSleep(DWORD ms)
{
    Machine().Clock().Advance(ms);
}

DWORD WINAPI EmulatedGetTickCount(void)
{
    return Machine().Clock().TickCount();
}

HANDLE WINAPI EmulatedCreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name)
{
    if (Machine().InjectedFailure("CreateMutexA", ERROR_ACCESS_DENIED))
        return nullptr;
    if (security && security->lpSecurityDescriptor &&
        static_cast<const SECURITY_DESCRIPTOR*>(security->lpSecurityDescriptor)->Revision != SECURITY_DESCRIPTOR_REVISION)
        return Fail<HANDLE>(ERROR_INVALID_SECURITY_DESCR, nullptr);
    return Machine().Objects().CreateMutex(security, initialOwner != 0, name);
}

HANDLE WINAPI EmulatedOpenMutexA(DWORD, BOOL, LPCSTR name)
{
    if (Machine().InjectedFailure("OpenMutexA", ERROR_ACCESS_DENIED))
        return nullptr;
    return Machine().Objects().OpenMutex(name);
}

BOOL WINAPI EmulatedReleaseMutex(HANDLE mutex)
{
    return Machine().Objects().ReleaseMutex(mutex);
}

HANDLE WINAPI EmulatedCreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    if (Machine().InjectedFailure("CreateEventA", ERROR_NOT_ENOUGH_MEMORY))
        return nullptr;
    return Machine().Objects().CreateEvent(manualReset != 0, initialState != 0, name);
}

BOOL WINAPI EmulatedSetEvent(HANDLE event)
{
    return Machine().Objects().SetEventState(event, true);
}

BOOL WINAPI EmulatedResetEvent(HANDLE event)
{
    return Machine().Objects().SetEventState(event, false);
}

DWORD WINAPI EmulatedWaitForSingleObject(HANDLE handle, DWORD ms)
{
    if (Machine().InjectedFailure("WaitForSingleObject", ERROR_INVALID_HANDLE))
        return WAIT_FAILED;
    return Machine().Objects().WaitForSingleObject(handle, ms);
}

// NT reports 5.1 (build 2600), 9x reports 4.10 (build 2222 with the version in its high word).
BOOL WINAPI EmulatedGetVersionExA(LPOSVERSIONINFOA info)
{
    EmulatedMachine& machine = Machine();
    if (machine.InjectedFailure("GetVersionExA", ERROR_INVALID_PARAMETER))
        return FALSE;
    const DWORD extendedSize = sizeof(OSVERSIONINFOA) + 8;
    if (info == nullptr || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) && info->dwOSVersionInfoSize != extendedSize))
        return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    std::memset(reinterpret_cast<BYTE*>(info) + sizeof(DWORD), 0, info->dwOSVersionInfoSize - sizeof(DWORD));
    info->dwPlatformId = machine.PlatformId();
    if (machine.PlatformId() == VER_PLATFORM_WIN32_NT) {
        info->dwMajorVersion = 5;
        info->dwMinorVersion = 1;
        info->dwBuildNumber = 2600;
        std::strcpy(info->szCSDVersion, "Service Pack 3");
    } else if (machine.PlatformId() == VER_PLATFORM_WIN32_WINDOWS) {
        info->dwMajorVersion = 4;
        info->dwMinorVersion = 10;
        info->dwBuildNumber = 0x040A08AE;
        std::strcpy(info->szCSDVersion, " A ");
    }
    return TRUE;
}

BOOL WINAPI EmulatedDeviceIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                    LPDWORD returned, LPOVERLAPPED overlapped)
{
    if (Machine().InjectedFailure("DeviceIoControl", ERROR_IO_DEVICE))
        return FALSE;
    if (!HandleTable::IsEmulated(handle))
        return Native().DeviceIoControl(handle, code, in, inSize, out, outSize, returned, overlapped);
    DeviceHandle* device = DeviceOf(handle);
    if (device == nullptr)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    // Without an OVERLAPPED record the byte count has to go somewhere.
    if (returned == nullptr && overlapped == nullptr)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    DWORD moved = 0, error = 0;
    BOOL ok = device->device->Control(*device, code, in, inSize, out, outSize, &moved, &error);
    if (returned)
        *returned = moved;
    return ok ? TRUE : Fail(error, FALSE);
}

DWORD WINAPI EmulatedGetLogicalDrives(void)
{
    if (Machine().InjectedFailure("GetLogicalDrives", ERROR_NOT_ENOUGH_MEMORY))
        return 0;
    return Machine().Storage().LogicalDrives();
}

UINT WINAPI EmulatedGetDriveTypeA(LPCSTR root)
{
    return Machine().Storage().DriveType(root);
}

BOOL WINAPI EmulatedInitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision)
{
    if (Machine().InjectedFailure("InitializeSecurityDescriptor", ERROR_INVALID_PARAMETER))
        return FALSE;
    return Native().InitializeSecurityDescriptor(descriptor, revision);
}

BOOL WINAPI EmulatedSetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl, BOOL defaulted)
{
    if (Machine().InjectedFailure("SetSecurityDescriptorDacl", ERROR_INVALID_SECURITY_DESCR))
        return FALSE;
    return Native().SetSecurityDescriptorDacl(descriptor, present, dacl, defaulted);
}

HGLOBAL WINAPI EmulatedGlobalAlloc(UINT flags, SIZE_T bytes)
{
    EmulatedMachine& machine = Machine();
    if (machine.InjectedFailure("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY))
        return nullptr;
    HGLOBAL block = Native().GlobalAlloc(flags, bytes);
    if (block)
        machine.Allocations().insert(block);
    return block;
}

HGLOBAL WINAPI EmulatedGlobalFree(HGLOBAL block)
{
    Machine().Allocations().erase(block);
    return Native().GlobalFree(block);
}

HLOCAL WINAPI EmulatedLocalAlloc(UINT flags, SIZE_T bytes)
{
    EmulatedMachine& machine = Machine();
    if (machine.InjectedFailure("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY))
        return nullptr;
    HLOCAL block = Native().LocalAlloc(flags, bytes);
    if (block)
        machine.Allocations().insert(block);
    return block;
}

HLOCAL WINAPI EmulatedLocalFree(HLOCAL block)
{
    Machine().Allocations().erase(block);
    return Native().LocalFree(block);
}

HMODULE WINAPI EmulatedLoadLibraryA(LPCSTR name)
{
    EmulatedMachine& machine = Machine();
    if (machine.InjectedFailure("LoadLibraryA", ERROR_MOD_NOT_FOUND))
        return nullptr;
    DWORD error = 0;
    HMODULE module = machine.Modules().Load(name, &error);
    return module ? module : Fail<HMODULE>(error, nullptr);
}

FARPROC WINAPI EmulatedGetProcAddress(HMODULE module, LPCSTR name)
{
    EmulatedMachine& machine = Machine();
    if (machine.InjectedFailure("GetProcAddress", ERROR_PROC_NOT_FOUND))
        return nullptr;
    DWORD error = 0;
    FARPROC entry = machine.Modules().Lookup(module, name, &error);
    return entry ? entry : Fail<FARPROC>(error, nullptr);
}

// The process token: the groups of the account the program runs under on this machine.
class TokenHandle : public HandleObject {
public:
    explicit TokenHandle(bool isAdministrator) : administrator(isAdministrator) {}
    bool administrator;
};

// A security identifier with two sub-authorities, laid out as the system lays one out.
struct TwoPartSid {
    BYTE revision;
    BYTE subAuthorityCount;
    BYTE authority[6];
    DWORD subAuthority[2];
};

BOOL WINAPI EmulatedOpenProcessToken(HANDLE process, DWORD, PHANDLE token)
{
    EmulatedMachine& machine = Machine();
    if (machine.InjectedFailure("OpenProcessToken", ERROR_ACCESS_DENIED))
        return FALSE;
    if (token == nullptr || process != g_sys.GetCurrentProcess())
        return Fail(token == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE, FALSE);
    *token = machine.Handles().Add(std::make_shared<TokenHandle>(machine.Administrator()));
    return TRUE;
}

BOOL WINAPI EmulatedGetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID buffer, DWORD length,
                                        PDWORD needed)
{
    EmulatedMachine& machine = Machine();
    if (machine.InjectedFailure("GetTokenInformation", ERROR_ACCESS_DENIED))
        return FALSE;
    auto* object = machine.Handles().Get<TokenHandle>(token);
    if (object == nullptr)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (kind != TokenGroups || needed == nullptr)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    // Everyone, and Administrators or Users.
    const DWORD alias = object->administrator ? DOMAIN_ALIAS_RID_ADMINS : DOMAIN_ALIAS_RID_USERS;
    const TwoPartSid sids[2] = {
        {1, 1, SECURITY_WORLD_SID_AUTHORITY, {SECURITY_WORLD_RID, 0}},
        {1, 2, SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, alias}},
    };
    const DWORD count = 2;
    const size_t header = offsetof(TOKEN_GROUPS, Groups) + count * sizeof(SID_AND_ATTRIBUTES);
    *needed = static_cast<DWORD>(header + sizeof sids);
    if (buffer == nullptr || length < *needed)
        return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    auto* groups = static_cast<TOKEN_GROUPS*>(buffer);
    BYTE* place = static_cast<BYTE*>(buffer) + header;
    std::memcpy(place, sids, sizeof sids);
    groups->GroupCount = count;
    for (DWORD i = 0; i < count; ++i) {
        groups->Groups[i].Sid = place + i * sizeof(TwoPartSid);
        groups->Groups[i].Attributes = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;
    }
    g_sys.SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI EmulatedFreeLibrary(HMODULE module)
{
    DWORD error = 0;
    return Machine().Modules().Free(module, &error) ? TRUE : Fail(error, FALSE);
}

// Registry calls report their result as an error code and leave the last error alone.
LONG RegistryFault(const char* call, LONG usualError)
{
    DWORD error = 0;
    return Machine().Faults().Strike(call, static_cast<DWORD>(usualError), &error) ? static_cast<LONG>(error)
                                                                                  : ERROR_SUCCESS;
}

LONG WINAPI EmulatedRegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result)
{
    if (LONG fault = RegistryFault("RegOpenKeyExA", ERROR_FILE_NOT_FOUND)) {
        if (result)
            *result = nullptr;
        return fault;
    }
    return Machine().Registry().Open(key, subKey, result);
}

LONG WINAPI EmulatedRegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD length, LPDWORD, LPSTR, LPDWORD,
                                  PFILETIME)
{
    if (LONG fault = RegistryFault("RegEnumKeyExA", ERROR_NO_MORE_ITEMS))
        return fault;
    return Machine().Registry().EnumKey(key, index, name, length);
}

LONG WINAPI EmulatedRegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD length)
{
    if (LONG fault = RegistryFault("RegQueryValueExA", ERROR_FILE_NOT_FOUND))
        return fault;
    return Machine().Registry().QueryValue(key, name, type, data, length);
}

LONG WINAPI EmulatedRegCloseKey(HKEY key)
{
    return Machine().Registry().Close(key);
}

}  // namespace

void EmulatedFillTable(SystemTable* t)
{
    t->CreateFileA = EmulatedCreateFileA;
    t->ReadFile = EmulatedReadFile;
    t->WriteFile = EmulatedWriteFile;
    t->GetFileSize = EmulatedGetFileSize;
    t->CloseHandle = EmulatedCloseHandle;
    t->DeleteFileA = EmulatedDeleteFileA;
    t->MoveFileExA = EmulatedMoveFileExA;
    t->GetFileAttributesA = EmulatedGetFileAttributesA;
    t->Sleep = EmulatedSleep;
    t->GetTickCount = EmulatedGetTickCount;
    t->CreateMutexA = EmulatedCreateMutexA;
    t->OpenMutexA = EmulatedOpenMutexA;
    t->ReleaseMutex = EmulatedReleaseMutex;
    t->CreateEventA = EmulatedCreateEventA;
    t->SetEvent = EmulatedSetEvent;
    t->ResetEvent = EmulatedResetEvent;
    t->WaitForSingleObject = EmulatedWaitForSingleObject;
    t->GetVersionExA = EmulatedGetVersionExA;
    t->OpenProcessToken = EmulatedOpenProcessToken;
    t->GetTokenInformation = EmulatedGetTokenInformation;
    t->DeviceIoControl = EmulatedDeviceIoControl;
    t->GetLogicalDrives = EmulatedGetLogicalDrives;
    t->GetDriveTypeA = EmulatedGetDriveTypeA;
    t->InitializeSecurityDescriptor = EmulatedInitializeSecurityDescriptor;
    t->SetSecurityDescriptorDacl = EmulatedSetSecurityDescriptorDacl;
    t->GlobalAlloc = EmulatedGlobalAlloc;
    t->GlobalFree = EmulatedGlobalFree;
    t->LocalAlloc = EmulatedLocalAlloc;
    t->LocalFree = EmulatedLocalFree;
    t->LoadLibraryA = EmulatedLoadLibraryA;
    t->GetProcAddress = EmulatedGetProcAddress;
    t->FreeLibrary = EmulatedFreeLibrary;
    t->RegOpenKeyExA = EmulatedRegOpenKeyExA;
    t->RegEnumKeyExA = EmulatedRegEnumKeyExA;
    t->RegQueryValueExA = EmulatedRegQueryValueExA;
    t->RegCloseKey = EmulatedRegCloseKey;
    VendorUsbFillTable(t);
}
