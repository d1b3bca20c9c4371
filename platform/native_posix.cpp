// The POSIX table: files, time and kernel objects are real; GetVersionExA reports the Linux platform
// id. Kernel objects live in this process; named ones are shared by name within it.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/system_table.h"

namespace {

thread_local DWORD t_lastError = 0;

DWORD WINAPI PosixGetLastError(void) { return t_lastError; }
void WINAPI PosixSetLastError(DWORD code) { t_lastError = code; }

DWORD ErrorFromErrno(int err)
{
    switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC: return ERROR_DISK_FULL;
    case EBUSY: return ERROR_BUSY;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    default: return ERROR_GEN_FAILURE;
    }
}

BOOL FailWithErrno()
{
    t_lastError = ErrorFromErrno(errno);
    return FALSE;
}

// Every handle points at one of these.
struct PosixObject {
    enum Kind { FILE_OBJECT, MUTEX_OBJECT, EVENT_OBJECT } kind;
    explicit PosixObject(Kind k) : kind(k) {}
    virtual ~PosixObject() = default;
};

struct FileObject : PosixObject {
    int fd;
    explicit FileObject(int f) : PosixObject(FILE_OBJECT), fd(f) {}
};

// The shared state of a mutex or event; handles hold references, names map to it while open.
struct WaitableState {
    std::mutex lock;
    std::condition_variable changed;
    // Mutex: owner thread and recursion count. Event: signalled flag and reset mode.
    std::thread::id owner;
    unsigned recursion = 0;
    bool signalled = false;
    bool manualReset = false;
};

struct WaitableObject : PosixObject {
    std::shared_ptr<WaitableState> state;
    std::string name;
    WaitableObject(Kind k, std::shared_ptr<WaitableState> s, std::string n)
        : PosixObject(k), state(std::move(s)), name(std::move(n)) {}
};

std::mutex g_namesLock;
std::map<std::string, std::weak_ptr<WaitableState>> g_names[2];  // [0] mutexes, [1] events

// Finds the named object or creates it; `existed` tells which.
std::shared_ptr<WaitableState> NamedState(int space, const char* name, bool create, bool* existed)
{
    std::lock_guard<std::mutex> guard(g_namesLock);
    auto& names = g_names[space];
    auto found = names.find(name);
    if (found != names.end()) {
        if (auto state = found->second.lock()) {
            *existed = true;
            return state;
        }
    }
    *existed = false;
    if (!create)
        return nullptr;
    auto state = std::make_shared<WaitableState>();
    names[name] = state;
    return state;
}

PosixObject* AsObject(HANDLE h, PosixObject::Kind kind)
{
    if (h == nullptr || h == INVALID_HANDLE_VALUE)
        return nullptr;
    auto* object = static_cast<PosixObject*>(h);
    return object->kind == kind ? object : nullptr;
}

HANDLE WINAPI PosixCreateFileA(LPCSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD,
                               HANDLE)
{
    if (path == nullptr) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    int flags = O_CLOEXEC;
    bool reads = (access & GENERIC_READ) != 0, writes = (access & GENERIC_WRITE) != 0;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    case OPEN_EXISTING: break;
    default: t_lastError = ERROR_INVALID_PARAMETER; return INVALID_HANDLE_VALUE;
    }
    int fd = open(path, flags, 0666);
    if (fd < 0) {
        FailWithErrno();
        return INVALID_HANDLE_VALUE;
    }
    // A directory opens for reading on POSIX; Windows refuses it, and so do we.
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        t_lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    t_lastError = 0;
    return new FileObject(fd);
}

BOOL WINAPI PosixReadFile(HANDLE h, LPVOID buffer, DWORD length, LPDWORD done, LPOVERLAPPED)
{
    auto* file = static_cast<FileObject*>(AsObject(h, PosixObject::FILE_OBJECT));
    if (done)
        *done = 0;
    if (!file) {
        t_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    DWORD total = 0;
    while (total < length) {
        ssize_t n = read(file->fd, static_cast<char*>(buffer) + total, length - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return FailWithErrno();
        if (n == 0)
            break;
        total += static_cast<DWORD>(n);
    }
    if (done)
        *done = total;
    return TRUE;
}

BOOL WINAPI PosixWriteFile(HANDLE h, LPCVOID buffer, DWORD length, LPDWORD done, LPOVERLAPPED)
{
    auto* file = static_cast<FileObject*>(AsObject(h, PosixObject::FILE_OBJECT));
    if (done)
        *done = 0;
    if (!file) {
        t_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    DWORD total = 0;
    while (total < length) {
        ssize_t n = write(file->fd, static_cast<const char*>(buffer) + total, length - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (done)
                *done = total;
            return FailWithErrno();
        }
        total += static_cast<DWORD>(n);
    }
    if (done)
        *done = total;
    return TRUE;
}

DWORD WINAPI PosixGetFileSize(HANDLE h, LPDWORD high)
{
    auto* file = static_cast<FileObject*>(AsObject(h, PosixObject::FILE_OBJECT));
    struct stat st;
    if (!file || fstat(file->fd, &st) != 0) {
        t_lastError = file ? ErrorFromErrno(errno) : ERROR_INVALID_HANDLE;
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (high)
        *high = static_cast<DWORD>(size >> 32);
    t_lastError = 0;
    return static_cast<DWORD>(size);
}

BOOL WINAPI PosixCloseHandle(HANDLE h)
{
    if (h == nullptr || h == INVALID_HANDLE_VALUE) {
        t_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    auto* object = static_cast<PosixObject*>(h);
    BOOL ok = TRUE;
    if (object->kind == PosixObject::FILE_OBJECT && close(static_cast<FileObject*>(object)->fd) != 0)
        ok = FailWithErrno();
    delete object;
    return ok;
}

BOOL WINAPI PosixDeleteFileA(LPCSTR path)
{
    return unlink(path) == 0 ? TRUE : FailWithErrno();
}

BOOL WINAPI PosixMoveFileExA(LPCSTR from, LPCSTR to, DWORD flags)
{
    // Without MOVEFILE_REPLACE_EXISTING an existing target is an error, as on Windows.
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
        struct stat st;
        if (lstat(to, &st) == 0) {
            t_lastError = ERROR_ALREADY_EXISTS;
            return FALSE;
        }
    }
    return rename(from, to) == 0 ? TRUE : FailWithErrno();
}

DWORD WINAPI PosixGetFileAttributesA(LPCSTR path)
{
    struct stat st;
    if (stat(path, &st) != 0) {
        FailWithErrno();
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(st.st_mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    return access(path, W_OK) == 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

void WINAPI PosixSleep(DWORD ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

DWORD WINAPI PosixGetTickCount(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

HANDLE OpenOrCreateWaitable(PosixObject::Kind kind, LPCSTR name, bool create, bool manualReset, bool initial)
{
    int space = kind == PosixObject::MUTEX_OBJECT ? 0 : 1;
    bool existed = false;
    std::shared_ptr<WaitableState> state;
    if (name && *name) {
        state = NamedState(space, name, create, &existed);
        if (!state) {
            t_lastError = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
    } else if (create) {
        state = std::make_shared<WaitableState>();
    } else {
        t_lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (!existed && create) {
        std::lock_guard<std::mutex> guard(state->lock);
        state->manualReset = manualReset;
        state->signalled = initial;
        if (kind == PosixObject::MUTEX_OBJECT && initial) {
            state->owner = std::this_thread::get_id();
            state->recursion = 1;
        }
    }
    t_lastError = existed && create ? ERROR_ALREADY_EXISTS : 0;
    return new WaitableObject(kind, state, name ? name : "");
}

HANDLE WINAPI PosixCreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name)
{
    return OpenOrCreateWaitable(PosixObject::MUTEX_OBJECT, name, true, false, initialOwner != 0);
}

HANDLE WINAPI PosixOpenMutexA(DWORD, BOOL, LPCSTR name)
{
    return OpenOrCreateWaitable(PosixObject::MUTEX_OBJECT, name, false, false, false);
}

BOOL WINAPI PosixReleaseMutex(HANDLE h)
{
    auto* mutex = static_cast<WaitableObject*>(AsObject(h, PosixObject::MUTEX_OBJECT));
    if (!mutex) {
        t_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(mutex->state->lock);
    if (mutex->state->recursion == 0 || mutex->state->owner != std::this_thread::get_id()) {
        t_lastError = ERROR_NOT_OWNER;
        return FALSE;
    }
    if (--mutex->state->recursion == 0) {
        mutex->state->owner = std::thread::id();
        mutex->state->changed.notify_all();
    }
    return TRUE;
}

HANDLE WINAPI PosixCreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    return OpenOrCreateWaitable(PosixObject::EVENT_OBJECT, name, true, manualReset != 0, initialState != 0);
}

BOOL SetEventState(HANDLE h, bool signalled)
{
    auto* event = static_cast<WaitableObject*>(AsObject(h, PosixObject::EVENT_OBJECT));
    if (!event) {
        t_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(event->state->lock);
    event->state->signalled = signalled;
    if (signalled)
        event->state->changed.notify_all();
    return TRUE;
}

BOOL WINAPI PosixSetEvent(HANDLE h) { return SetEventState(h, true); }
BOOL WINAPI PosixResetEvent(HANDLE h) { return SetEventState(h, false); }

DWORD WINAPI PosixWaitForSingleObject(HANDLE h, DWORD ms)
{
    if (h == nullptr || h == INVALID_HANDLE_VALUE || static_cast<PosixObject*>(h)->kind == PosixObject::FILE_OBJECT) {
        t_lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    auto* object = static_cast<WaitableObject*>(h);
    WaitableState& state = *object->state;
    bool isMutex = object->kind == PosixObject::MUTEX_OBJECT;
    auto self = std::this_thread::get_id();
    auto ready = [&] {
        return isMutex ? (state.recursion == 0 || state.owner == self) : state.signalled;
    };
    std::unique_lock<std::mutex> guard(state.lock);
    if (ms == INFINITE)
        state.changed.wait(guard, ready);
    else if (!state.changed.wait_for(guard, std::chrono::milliseconds(ms), ready))
        return WAIT_TIMEOUT;
    if (isMutex) {
        state.owner = self;
        ++state.recursion;
    } else if (!state.manualReset) {
        state.signalled = false;
    }
    return WAIT_OBJECT_0;
}

BOOL WINAPI PosixGetVersionExA(LPOSVERSIONINFOA info)
{
    if (info == nullptr || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
        t_lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    std::memset(&info->dwMajorVersion, 0, sizeof(OSVERSIONINFOA) - sizeof(DWORD));
    info->dwPlatformId = VER_PLATFORM_LINUX;
    return TRUE;
}

// There is no storage stack of the Windows kind here: no device answers a control code and no
// drive letter exists.
BOOL WINAPI PosixDeviceIoControl(HANDLE h, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD returned, LPOVERLAPPED)
{
    if (returned)
        *returned = 0;
    t_lastError = AsObject(h, PosixObject::FILE_OBJECT) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE;
    return FALSE;
}

DWORD WINAPI PosixGetLogicalDrives(void)
{
    t_lastError = 0;
    return 0;
}

UINT WINAPI PosixGetDriveTypeA(LPCSTR) { return DRIVE_NO_ROOT_DIR; }

// Security descriptors are filled in as Windows fills them; kernel objects here ignore them, as every
// process of the user may open them anyway.
BOOL WINAPI PosixInitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision)
{
    if (descriptor == nullptr) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (revision != SECURITY_DESCRIPTOR_REVISION) {
        t_lastError = ERROR_UNKNOWN_REVISION;
        return FALSE;
    }
    std::memset(descriptor, 0, sizeof(SECURITY_DESCRIPTOR));
    static_cast<SECURITY_DESCRIPTOR*>(descriptor)->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL WINAPI PosixSetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl, BOOL defaulted)
{
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (sd == nullptr || sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
        t_lastError = ERROR_INVALID_SECURITY_DESCR;
        return FALSE;
    }
    sd->Control &= static_cast<WORD>(~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
    if (present) {
        sd->Control |= SE_DACL_PRESENT;
        if (defaulted)
            sd->Control |= SE_DACL_DEFAULTED;
        sd->Dacl = dacl;
    } else {
        sd->Dacl = nullptr;
    }
    return TRUE;
}

// Fixed memory blocks only: the handle is the block's address.
HGLOBAL WINAPI PosixGlobalAlloc(UINT flags, SIZE_T bytes)
{
    void* block = (flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (block == nullptr)
        t_lastError = ERROR_NOT_ENOUGH_MEMORY;
    return block;
}

HGLOBAL WINAPI PosixGlobalFree(HGLOBAL block)
{
    std::free(block);
    return nullptr;
}

// No device information set can be built here: the device-interface enumeration finds nothing.
HDEVINFO WINAPI PosixSetupDiGetClassDevsA(const GUID*, LPCSTR, HWND, DWORD)
{
    t_lastError = ERROR_NOT_SUPPORTED;
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI PosixSetupDiEnumDeviceInterfaces(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD, PSP_DEVICE_INTERFACE_DATA)
{
    t_lastError = ERROR_INVALID_HANDLE;
    return FALSE;
}

BOOL WINAPI PosixSetupDiGetDeviceInterfaceDetailA(HDEVINFO, PSP_DEVICE_INTERFACE_DATA, PSP_DEVICE_INTERFACE_DETAIL_DATA_A,
                                                  DWORD, LPDWORD, PSP_DEVINFO_DATA)
{
    t_lastError = ERROR_INVALID_HANDLE;
    return FALSE;
}

BOOL WINAPI PosixSetupDiDestroyDeviceInfoList(HDEVINFO)
{
    t_lastError = ERROR_INVALID_HANDLE;
    return FALSE;
}

// No Windows modules exist here.
HMODULE WINAPI PosixLoadLibraryA(LPCSTR)
{
    t_lastError = ERROR_MOD_NOT_FOUND;
    return nullptr;
}

FARPROC WINAPI PosixGetProcAddress(HMODULE module, LPCSTR)
{
    t_lastError = module ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_HANDLE;
    return nullptr;
}

}  // namespace

void SystemFillNativeTable(SystemTable* t)
{
    t->GetLastError = PosixGetLastError;
    t->SetLastError = PosixSetLastError;
    t->CreateFileA = PosixCreateFileA;
    t->ReadFile = PosixReadFile;
    t->WriteFile = PosixWriteFile;
    t->GetFileSize = PosixGetFileSize;
    t->CloseHandle = PosixCloseHandle;
    t->DeleteFileA = PosixDeleteFileA;
    t->MoveFileExA = PosixMoveFileExA;
    t->GetFileAttributesA = PosixGetFileAttributesA;
    t->Sleep = PosixSleep;
    t->GetTickCount = PosixGetTickCount;
    t->CreateMutexA = PosixCreateMutexA;
    t->OpenMutexA = PosixOpenMutexA;
    t->ReleaseMutex = PosixReleaseMutex;
    t->CreateEventA = PosixCreateEventA;
    t->SetEvent = PosixSetEvent;
    t->ResetEvent = PosixResetEvent;
    t->WaitForSingleObject = PosixWaitForSingleObject;
    t->GetVersionExA = PosixGetVersionExA;
    t->DeviceIoControl = PosixDeviceIoControl;
    t->GetLogicalDrives = PosixGetLogicalDrives;
    t->GetDriveTypeA = PosixGetDriveTypeA;
    t->InitializeSecurityDescriptor = PosixInitializeSecurityDescriptor;
    t->SetSecurityDescriptorDacl = PosixSetSecurityDescriptorDacl;
    t->GlobalAlloc = PosixGlobalAlloc;
    t->GlobalFree = PosixGlobalFree;
    t->SetupDiGetClassDevsA = PosixSetupDiGetClassDevsA;
    t->SetupDiEnumDeviceInterfaces = PosixSetupDiEnumDeviceInterfaces;
    t->SetupDiGetDeviceInterfaceDetailA = PosixSetupDiGetDeviceInterfaceDetailA;
    t->SetupDiDestroyDeviceInfoList = PosixSetupDiDestroyDeviceInfoList;
    t->LoadLibraryA = PosixLoadLibraryA;
    t->GetProcAddress = PosixGetProcAddress;
}
