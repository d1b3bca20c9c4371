// The POSIX table: files, time and kernel objects are real; GetVersionExA reports the Linux platform
// id. Events and unnamed mutexes live in this process. Named mutexes are shared with other processes
// through lock files (platform/posix_named_lock.h); within the process, handles of one name share one
// object, owned recursively by one thread at a time.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/posix_errors.h"
#include "platform/posix_named_lock.h"
#include "platform/system_table.h"

namespace {

thread_local DWORD t_lastError = 0;

DWORD WINAPI PosixGetLastError(void) { return t_lastError; }
void WINAPI PosixSetLastError(DWORD code) { t_lastError = code; }

BOOL FailWithErrno()
{
    t_lastError = PosixErrorFromErrno(errno);
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
    // Mutex: `busy` while a thread owns it or is taking its lock file; `owner` is that thread and
    // `recursion` counts its waits. Event: signalled flag and reset mode.
    bool busy = false;
    std::thread::id owner;
    unsigned recursion = 0;
    bool signalled = false;
    bool manualReset = false;
    // Named mutexes: the lock files that extend ownership to other processes.
    std::unique_ptr<PosixNamedLock> file;
};

struct WaitableObject : PosixObject {
    std::shared_ptr<WaitableState> state;
    std::string name;
    WaitableObject(Kind k, std::shared_ptr<WaitableState> s, std::string n)
        : PosixObject(k), state(std::move(s)), name(std::move(n)) {}
};

std::mutex g_namesLock;
std::map<std::string, std::weak_ptr<WaitableState>> g_names[2];  // [0] mutexes, [1] events

// A forked child is a new process: it starts without the parent's named objects (sharing their
// lock files' open descriptions would let it release the parent's locks).
void ForkPrepare() { g_namesLock.lock(); }
void ForkParent() { g_namesLock.unlock(); }
void ForkChild()
{
    g_names[0].clear();
    g_names[1].clear();
    g_namesLock.unlock();
}

// Finds the named object or creates it; `existed` tells whether it was there already, in this
// process or (for mutexes) in another. Null with the last error set when it cannot be had.
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
    std::unique_ptr<PosixNamedLock> file;
    if (space == 0) {
        DWORD error = ERROR_SUCCESS;
        file = PosixNamedLock::Open(name, create ? PosixNamedLock::OPEN_OR_CREATE : PosixNamedLock::OPEN_IF_EXISTS,
                                    existed, &error);
        if (!file) {
            t_lastError = error;
            return nullptr;
        }
    } else if (!create) {
        t_lastError = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    auto state = std::make_shared<WaitableState>();
    state->file = std::move(file);
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
        t_lastError = file ? PosixErrorFromErrno(errno) : ERROR_INVALID_HANDLE;
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
        if (!state)
            return nullptr;
    } else if (create) {
        state = std::make_shared<WaitableState>();
    } else {
        t_lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (create && !existed) {
        std::lock_guard<std::mutex> guard(state->lock);
        state->manualReset = manualReset;
        state->signalled = initial;
        // Initial ownership of a mutex is taken only when nobody else can hold its lock file.
        if (kind == PosixObject::MUTEX_OBJECT && initial && (!state->file || state->file->Acquire(0))) {
            state->busy = true;
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
    WaitableState& state = *mutex->state;
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.recursion == 0 || state.owner != std::this_thread::get_id()) {
        t_lastError = ERROR_NOT_OWNER;
        return FALSE;
    }
    if (--state.recursion == 0) {
        if (state.file)
            state.file->Release();
        state.busy = false;
        state.owner = std::thread::id();
        state.changed.notify_all();
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

// A mutex is taken in two steps: first among the threads of this process, then, for a named one,
// its lock file against other processes, within what is left of the same time limit.
DWORD WaitForMutex(WaitableState& state, DWORD ms)
{
    auto self = std::this_thread::get_id();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock<std::mutex> guard(state.lock);
    if (state.recursion > 0 && state.owner == self) {
        ++state.recursion;
        return WAIT_OBJECT_0;
    }
    auto free = [&] { return !state.busy; };
    if (ms == INFINITE)
        state.changed.wait(guard, free);
    else if (!state.changed.wait_until(guard, deadline, free))
        return WAIT_TIMEOUT;
    state.busy = true;
    state.owner = self;
    if (state.file) {
        DWORD left = INFINITE;
        if (ms != INFINITE) {
            // Rounded up, so that the whole wait never ends before its time.
            auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            left = remaining.count() > 0 ? static_cast<DWORD>(remaining.count()) : 0;
        }
        guard.unlock();
        bool taken = state.file->Acquire(left);
        guard.lock();
        if (!taken) {
            state.busy = false;
            state.owner = std::thread::id();
            state.changed.notify_all();
            return WAIT_TIMEOUT;
        }
    }
    state.recursion = 1;
    return WAIT_OBJECT_0;
}

DWORD WINAPI PosixWaitForSingleObject(HANDLE h, DWORD ms)
{
    if (h == nullptr || h == INVALID_HANDLE_VALUE || static_cast<PosixObject*>(h)->kind == PosixObject::FILE_OBJECT) {
        t_lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    auto* object = static_cast<WaitableObject*>(h);
    WaitableState& state = *object->state;
    if (object->kind == PosixObject::MUTEX_OBJECT)
        return WaitForMutex(state, ms);
    std::unique_lock<std::mutex> guard(state.lock);
    auto ready = [&] { return state.signalled; };
    if (ms == INFINITE)
        state.changed.wait(guard, ready);
    else if (!state.changed.wait_for(guard, std::chrono::milliseconds(ms), ready))
        return WAIT_TIMEOUT;
    if (!state.manualReset)
        state.signalled = false;
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

}  // namespace

void SystemFillNativeTable(SystemTable* t)
{
    static const int forkHandlers = pthread_atfork(ForkPrepare, ForkParent, ForkChild);
    (void)forkHandlers;
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
}
