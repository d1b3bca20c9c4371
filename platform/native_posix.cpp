// The POSIX table: files, time and kernel objects are real; GetVersionExA reports the Linux platform
// id. Events and unnamed mutexes live in this process. Named mutexes are shared with other processes
// through lock files (platform/posix_named_lock.h); within the process, handles of one name share one
// object, owned recursively by one thread at a time. The process token answers from the effective
// user; files carry no version resource.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
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
    enum Kind { FILE_OBJECT, MUTEX_OBJECT, EVENT_OBJECT, TOKEN_OBJECT } kind;
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

// Length of the UTF-8 character at p: 2 to 4 for a well-formed sequence (no overlong form, no
// surrogate, nothing above U+10FFFF), else 1. Reads at most `available` bytes and never past a NUL,
// which is no continuation byte.
size_t Utf8SequenceLength(const unsigned char* p, size_t available)
{
    unsigned char lead = p[0];
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 1;
    }
    if (length > available)
        return 1;
    if (p[1] < low || p[1] > high)
        return 1;
    for (size_t i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 1;
    }
    return length;
}

// The case pairs of the scripts a file name plausibly holds, each lowered within its own length:
// Latin-1 capitals, Greek, Cyrillic and the full-width Latin capitals.
void Utf8LowerInPlace(unsigned char* p, size_t length)
{
    if (length == 2) {
        unsigned code = ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu);
        unsigned lower = code;
        if ((code >= 0xC0 && code <= 0xDE && code != 0xD7) || (code >= 0x391 && code <= 0x3AB && code != 0x3A2))
            lower = code + 0x20;
        else if (code >= 0x410 && code <= 0x42F)
            lower = code + 0x20;
        else if (code >= 0x400 && code <= 0x40F)
            lower = code + 0x50;
        if (lower != code) {
            p[0] = static_cast<unsigned char>(0xC0 | (lower >> 6));
            p[1] = static_cast<unsigned char>(0x80 | (lower & 0x3F));
        }
    } else if (length == 3 && p[0] == 0xEF && p[1] == 0xBC && p[2] >= 0xA1 && p[2] <= 0xBA) {
        // U+FF21..U+FF3A to U+FF41..U+FF5A.
        p[1] = 0xBD;
        p[2] = static_cast<unsigned char>(p[2] - 0x20);
    }
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
    // Only regular files are opened. A directory opens for reading on POSIX where Windows refuses
    // it; a pipe, a socket or a device would block the open or never end. They are refused before
    // the open where the path shows them (opening some devices has effects of its own), and after
    // it, which an open without waiting allows, for whatever the path named by then.
    struct stat st;
    if (stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
        t_lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    int fd = open(path, flags | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0) {
        FailWithErrno();
        return INVALID_HANDLE_VALUE;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        t_lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    t_lastError = 0;
    return new FileObject(fd);
}

// ReadFile and WriteFile: `move` reads or writes on the descriptor from byte `moved` on, resumed after
// EINTR, until all `length` bytes have moved, nothing more moves (end of file) or it fails. *done
// holds the bytes moved in every case.
template <typename Move>
BOOL MoveAll(HANDLE h, DWORD length, LPDWORD done, Move move)
{
    auto* file = static_cast<FileObject*>(AsObject(h, PosixObject::FILE_OBJECT));
    if (done)
        *done = 0;
    if (!file) {
        t_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    DWORD total = 0;
    BOOL moved = TRUE;
    while (total < length) {
        ssize_t n = move(file->fd, total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            moved = FailWithErrno();
        if (n <= 0)
            break;
        total += static_cast<DWORD>(n);
    }
    if (done)
        *done = total;
    return moved;
}

BOOL WINAPI PosixReadFile(HANDLE h, LPVOID buffer, DWORD length, LPDWORD done, LPOVERLAPPED)
{
    return MoveAll(h, length, done, [&](int fd, DWORD moved) {
        return read(fd, static_cast<char*>(buffer) + moved, length - moved);
    });
}

BOOL WINAPI PosixWriteFile(HANDLE h, LPCVOID buffer, DWORD length, LPDWORD done, LPOVERLAPPED)
{
    return MoveAll(h, length, done, [&](int fd, DWORD moved) {
        return write(fd, static_cast<const char*>(buffer) + moved, length - moved);
    });
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
    // A pipe, a socket or a device: what Windows reports for the devices its paths can name.
    if (!S_ISREG(st.st_mode))
        return FILE_ATTRIBUTE_DEVICE;
    return access(path, W_OK) == 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

// Text is UTF-8: a well-formed sequence is one character; any other byte is a character of its own.
LPSTR WINAPI PosixCharNextA(LPCSTR text)
{
    auto* p = reinterpret_cast<const unsigned char*>(text);
    if (*p == 0)
        return const_cast<LPSTR>(text);
    size_t length = Utf8SequenceLength(p, 4);
    return const_cast<LPSTR>(text + length);
}

DWORD WINAPI PosixCharLowerBuffA(LPSTR text, DWORD length)
{
    auto* p = reinterpret_cast<unsigned char*>(text);
    DWORD i = 0;
    while (i < length) {
        if (p[i] < 0x80) {
            if (p[i] >= 'A' && p[i] <= 'Z')
                p[i] = static_cast<unsigned char>(p[i] + ('a' - 'A'));
            ++i;
            continue;
        }
        size_t n = Utf8SequenceLength(p + i, length - i);
        Utf8LowerInPlace(p + i, n);
        i += static_cast<DWORD>(n);
    }
    return length;
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
    if (h == nullptr || h == INVALID_HANDLE_VALUE || (static_cast<PosixObject*>(h)->kind != PosixObject::MUTEX_OBJECT &&
                                                      static_cast<PosixObject*>(h)->kind != PosixObject::EVENT_OBJECT)) {
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

DWORD WINAPI PosixGetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size)
{
    // Only the program itself is a module here.
    if (module != nullptr || buffer == nullptr || size == 0) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    if (n < 0 || static_cast<size_t>(n) >= sizeof path) {
        t_lastError = n < 0 ? PosixErrorFromErrno(errno) : ERROR_FILENAME_EXCED_RANGE;
        return 0;
    }
    // As on Windows: a name that does not fit is cut, terminated, and the full size is returned.
    DWORD length = static_cast<DWORD>(n);
    if (length >= size) {
        std::memcpy(buffer, path, size - 1);
        buffer[size - 1] = '\0';
        t_lastError = ERROR_INSUFFICIENT_BUFFER;
        return size;
    }
    std::memcpy(buffer, path, length);
    buffer[length] = '\0';
    t_lastError = 0;
    return length;
}

DWORD WINAPI PosixGetFileVersionInfoSizeA(LPCSTR path, LPDWORD handle)
{
    if (handle)
        *handle = 0;
    struct stat st;
    t_lastError = path && stat(path, &st) == 0 ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    return 0;
}

BOOL WINAPI PosixGetFileVersionInfoA(LPCSTR path, DWORD, DWORD, LPVOID)
{
    struct stat st;
    t_lastError = path && stat(path, &st) == 0 ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    return FALSE;
}

BOOL WINAPI PosixVerQueryValueA(LPCVOID, LPCSTR, LPVOID* value, PUINT length)
{
    if (value)
        *value = nullptr;
    if (length)
        *length = 0;
    t_lastError = ERROR_RESOURCE_TYPE_NOT_FOUND;
    return FALSE;
}

HLOCAL WINAPI PosixLocalAlloc(UINT flags, SIZE_T bytes)
{
    void* block = (flags & LMEM_ZEROINIT) ? calloc(1, bytes ? bytes : 1) : malloc(bytes ? bytes : 1);
    if (!block)
        t_lastError = ERROR_NOT_ENOUGH_MEMORY;
    return block;
}

HLOCAL WINAPI PosixLocalFree(HLOCAL block)
{
    free(block);
    return nullptr;
}

// The pseudo-handle of the current process, as on Windows.
HANDLE WINAPI PosixGetCurrentProcess(void)
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

// A security identifier in the Windows layout: revision, count, authority, then the sub-authorities.
struct PosixSid {
    BYTE revision;
    BYTE subAuthorityCount;
    BYTE authority[6];
    DWORD subAuthority[8];
};

size_t SidLength(const PosixSid* sid)
{
    return offsetof(PosixSid, subAuthority) + sizeof(DWORD) * sid->subAuthorityCount;
}

PosixSid MakeSid(const BYTE (&authority)[6], BYTE count, DWORD rid0, DWORD rid1)
{
    PosixSid sid{};
    sid.revision = 1;
    sid.subAuthorityCount = count;
    std::memcpy(sid.authority, authority, 6);
    sid.subAuthority[0] = rid0;
    sid.subAuthority[1] = rid1;
    return sid;
}

// The token knows its effective user, taken when it was opened.
struct TokenObject : PosixObject {
    bool root;
    explicit TokenObject(bool r) : PosixObject(TOKEN_OBJECT), root(r) {}
};

BOOL WINAPI PosixOpenProcessToken(HANDLE process, DWORD, PHANDLE token)
{
    if (token == nullptr || process != PosixGetCurrentProcess()) {
        t_lastError = token == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE;
        return FALSE;
    }
    *token = new TokenObject(geteuid() == 0);
    t_lastError = 0;
    return TRUE;
}

BOOL WINAPI PosixGetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID buffer, DWORD length,
                                     PDWORD needed)
{
    auto* object = static_cast<TokenObject*>(AsObject(token, PosixObject::TOKEN_OBJECT));
    if (!object || needed == nullptr) {
        t_lastError = object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (kind != TokenGroups) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    const BYTE world[6] = SECURITY_WORLD_SID_AUTHORITY;
    const BYTE nt[6] = SECURITY_NT_AUTHORITY;
    const PosixSid sids[2] = {
        MakeSid(world, 1, SECURITY_WORLD_RID, 0),
        MakeSid(nt, 2, SECURITY_BUILTIN_DOMAIN_RID, object->root ? DOMAIN_ALIAS_RID_ADMINS : DOMAIN_ALIAS_RID_USERS),
    };
    const DWORD count = 2;
    size_t header = offsetof(TOKEN_GROUPS, Groups) + count * sizeof(SID_AND_ATTRIBUTES);
    size_t total = header;
    for (const PosixSid& sid : sids)
        total += SidLength(&sid);
    *needed = static_cast<DWORD>(total);
    if (buffer == nullptr || length < total) {
        t_lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    auto* groups = static_cast<TOKEN_GROUPS*>(buffer);
    groups->GroupCount = count;
    BYTE* place = static_cast<BYTE*>(buffer) + header;
    for (DWORD i = 0; i < count; ++i) {
        std::memcpy(place, &sids[i], SidLength(&sids[i]));
        groups->Groups[i].Sid = place;
        groups->Groups[i].Attributes = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;
        place += SidLength(&sids[i]);
    }
    t_lastError = 0;
    return TRUE;
}

BOOL WINAPI PosixAllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD rid0, DWORD rid1,
                                          DWORD rid2, DWORD rid3, DWORD rid4, DWORD rid5, DWORD rid6, DWORD rid7,
                                          PSID* sid)
{
    if (authority == nullptr || sid == nullptr || count == 0 || count > 8) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    auto* made = static_cast<PosixSid*>(calloc(1, sizeof(PosixSid)));
    if (!made) {
        t_lastError = ERROR_NOT_ENOUGH_MEMORY;
        return FALSE;
    }
    const DWORD rids[8] = {rid0, rid1, rid2, rid3, rid4, rid5, rid6, rid7};
    made->revision = 1;
    made->subAuthorityCount = count;
    std::memcpy(made->authority, authority->Value, 6);
    std::memcpy(made->subAuthority, rids, sizeof(DWORD) * count);
    *sid = made;
    return TRUE;
}

BOOL WINAPI PosixEqualSid(PSID first, PSID second)
{
    if (first == nullptr || second == nullptr) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    // Only the revision, count, authority and the counted sub-authorities are compared.
    PosixSid a{}, b{};
    std::memcpy(&a, first, offsetof(PosixSid, subAuthority));
    std::memcpy(&b, second, offsetof(PosixSid, subAuthority));
    if (a.subAuthorityCount > 8 || a.subAuthorityCount != b.subAuthorityCount)
        return FALSE;
    size_t length = SidLength(&a);
    return std::memcmp(first, second, length) == 0 ? TRUE : FALSE;
}

PVOID WINAPI PosixFreeSid(PSID sid)
{
    free(sid);
    return nullptr;
}

BOOL WINAPI PosixFreeLibrary(HMODULE)
{
    t_lastError = ERROR_INVALID_HANDLE;
    return FALSE;
}

// No registry exists here: no key opens, and no handle names one.
LONG WINAPI PosixRegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, PHKEY result)
{
    if (result)
        *result = nullptr;
    return ERROR_FILE_NOT_FOUND;
}

LONG WINAPI PosixRegEnumKeyExA(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPSTR, LPDWORD, PFILETIME)
{
    return ERROR_INVALID_HANDLE;
}

LONG WINAPI PosixRegQueryValueExA(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)
{
    return ERROR_INVALID_HANDLE;
}

LONG WINAPI PosixRegCloseKey(HKEY)
{
    return ERROR_INVALID_HANDLE;
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
    t->CharNextA = PosixCharNextA;
    t->CharLowerBuffA = PosixCharLowerBuffA;
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
    t->GetModuleFileNameA = PosixGetModuleFileNameA;
    t->GetFileVersionInfoSizeA = PosixGetFileVersionInfoSizeA;
    t->GetFileVersionInfoA = PosixGetFileVersionInfoA;
    t->VerQueryValueA = PosixVerQueryValueA;
    t->LocalAlloc = PosixLocalAlloc;
    t->LocalFree = PosixLocalFree;
    t->GetCurrentProcess = PosixGetCurrentProcess;
    t->OpenProcessToken = PosixOpenProcessToken;
    t->GetTokenInformation = PosixGetTokenInformation;
    t->AllocateAndInitializeSid = PosixAllocateAndInitializeSid;
    t->EqualSid = PosixEqualSid;
    t->FreeSid = PosixFreeSid;
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
    t->FreeLibrary = PosixFreeLibrary;
    t->RegOpenKeyExA = PosixRegOpenKeyExA;
    t->RegEnumKeyExA = PosixRegEnumKeyExA;
    t->RegQueryValueExA = PosixRegQueryValueExA;
    t->RegCloseKey = PosixRegCloseKey;
}
