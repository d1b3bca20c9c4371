// Lock files for named mutexes shared between processes (see the header for the scheme).
#include "platform/posix_named_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/posix_errors.h"

namespace {

// Longest escaped name kept whole; longer ones keep this many characters plus a hash, well within
// the 255-byte limit of a file name.
const size_t ESCAPED_NAME_LIMIT = 200;
const size_t ESCAPED_NAME_KEPT = 160;

bool IsPlainCharacter(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
}

uint64_t NameHash(const std::string& name)
{
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : name) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

bool MayCreateFilesIn(const char* directory)
{
    struct stat st;
    return directory != nullptr && directory[0] == '/' && stat(directory, &st) == 0 && S_ISDIR(st.st_mode) &&
           access(directory, W_OK | X_OK) == 0;
}

uint64_t MonotonicMicroseconds()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

void SleepMicroseconds(uint64_t microseconds)
{
    struct timespec pause;
    pause.tv_sec = static_cast<time_t>(microseconds / 1000000u);
    pause.tv_nsec = static_cast<long>(microseconds % 1000000u) * 1000L;
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

int LockWithRetry(int fd, int operation)
{
    int result;
    do {
        result = flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

// Opens a lock file, creating it when asked. The folder may be writable by everyone, so links are
// never followed and only regular files are used. A file we create gets mode 0666 explicitly,
// because the umask would otherwise take the other users' write access away. Opening first
// without O_CREAT also keeps systems that refuse O_CREAT on other users' files in sticky folders
// (protected_regular) working. Returns the descriptor or -errno.
int OpenLockFile(const std::string& path, bool create)
{
    const int common = O_CLOEXEC | O_NOFOLLOW | O_NOCTTY;
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = open(path.c_str(), O_RDWR | common);
        if (fd < 0 && errno == EACCES)
            fd = open(path.c_str(), O_RDONLY | common);
        if (fd >= 0) {
            struct stat st;
            if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
                close(fd);
                return -EACCES;
            }
            return fd;
        }
        if (errno != ENOENT || !create)
            return -errno;
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | common, 0666);
        if (fd >= 0) {
            fchmod(fd, 0666);
            return fd;
        }
        if (errno != EEXIST)
            return -errno;
        // Another process created it between our two opens: open theirs.
    }
    return -EAGAIN;
}

// Whether the open file is still the one the path names (a last holder may have removed it).
bool IsAtPath(int fd, const std::string& path)
{
    struct stat open, named;
    return fstat(fd, &open) == 0 && lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

// Only while holding the presence lock exclusively.
void RemoveFiles(const std::string& presencePath, const std::string& ownershipPath)
{
    unlink(ownershipPath.c_str());
    unlink(presencePath.c_str());
}

}  // namespace

std::string PosixChooseLockDirectory(const char* preferred, const char* temporary)
{
    if (MayCreateFilesIn(preferred))
        return preferred;
    if (MayCreateFilesIn(temporary))
        return temporary;
    return "/tmp";
}

const std::string& PosixLockDirectory(void)
{
    static const std::string directory = PosixChooseLockDirectory("/run/lock", getenv("TMPDIR"));
    return directory;
}

std::string PosixLockFilePath(const std::string& directory, const std::string& name, const char* suffix)
{
    std::string escaped;
    for (unsigned char c : name) {
        if (IsPlainCharacter(c)) {
            escaped += static_cast<char>(c);
        } else {
            char code[4];
            snprintf(code, sizeof code, "%%%02X", c);
            escaped += code;
        }
    }
    if (escaped.size() > ESCAPED_NAME_LIMIT) {
        size_t keep = ESCAPED_NAME_KEPT;
        // Never cut through a %XX code.
        size_t percent = escaped.rfind('%', keep - 1);
        if (percent != std::string::npos && percent + 3 > keep)
            keep = percent;
        char hash[24];
        snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(NameHash(name)));
        escaped = escaped.substr(0, keep) + hash;
    }
    return directory + "/qzv-" + escaped + suffix;
}

std::unique_ptr<PosixNamedLock> PosixNamedLock::Open(const char* name, Disposition disposition, bool* existed,
                                                     DWORD* error)
{
    const std::string& directory = PosixLockDirectory();
    std::string presencePath = PosixLockFilePath(directory, name, ".open");
    std::string ownershipPath = PosixLockFilePath(directory, name, ".lock");
    bool create = disposition == OPEN_OR_CREATE;
    // A last holder may remove the files between our open and our lock; then we start again.
    for (int attempt = 0; attempt < 16; ++attempt) {
        *existed = false;
        int presence = OpenLockFile(presencePath, create);
        if (presence < 0) {
            *error = PosixErrorFromErrno(-presence);
            return nullptr;
        }
        // An exclusive presence lock succeeds only when no other process has the name open.
        if (LockWithRetry(presence, LOCK_EX | LOCK_NB) == 0) {
            if (!create) {
                // Files of holders that are all gone: nobody can be using them.
                if (IsAtPath(presence, presencePath))
                    RemoveFiles(presencePath, ownershipPath);
                close(presence);
                *error = ERROR_FILE_NOT_FOUND;
                return nullptr;
            }
        } else if (errno == EWOULDBLOCK) {
            *existed = true;
        } else {
            *error = PosixErrorFromErrno(errno);
            close(presence);
            return nullptr;
        }
        // Holders keep a shared lock; another opener holds the exclusive one only for its check
        // above, a last holder while it removes the files.
        if (LockWithRetry(presence, LOCK_SH) != 0) {
            *error = PosixErrorFromErrno(errno);
            close(presence);
            return nullptr;
        }
        if (!IsAtPath(presence, presencePath)) {
            close(presence);
            continue;
        }
        // No file is removed while we hold the presence lock, so this is the one all holders use.
        int ownership = OpenLockFile(ownershipPath, true);
        if (ownership < 0) {
            *error = PosixErrorFromErrno(-ownership);
            close(presence);
            return nullptr;
        }
        *error = ERROR_SUCCESS;
        return std::unique_ptr<PosixNamedLock>(new PosixNamedLock(ownership, presence, presencePath, ownershipPath));
    }
    *error = ERROR_BUSY;
    return nullptr;
}

PosixNamedLock::~PosixNamedLock()
{
    // The last holder removes the files, as the last handle ends a kernel object. Holding the
    // presence lock exclusively keeps every other process from using them meanwhile.
    if (LockWithRetry(m_presence, LOCK_EX | LOCK_NB) == 0 && IsAtPath(m_presence, m_presencePath))
        RemoveFiles(m_presencePath, m_ownershipPath);
    close(m_ownership);
    close(m_presence);
}

bool PosixNamedLock::Acquire(DWORD milliseconds)
{
    if (milliseconds == INFINITE)
        return LockWithRetry(m_ownership, LOCK_EX) == 0;
    // flock has no timed form: poll, starting fast so that a short hold costs little.
    uint64_t deadline = MonotonicMicroseconds() + uint64_t(milliseconds) * 1000u;
    uint64_t pause = 1000;
    for (;;) {
        if (LockWithRetry(m_ownership, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK)
            return false;
        uint64_t now = MonotonicMicroseconds();
        if (now >= deadline)
            return false;
        SleepMicroseconds(std::min(pause, deadline - now));
        pause = std::min<uint64_t>(pause * 2, 16000);
    }
}

void PosixNamedLock::Release()
{
    LockWithRetry(m_ownership, LOCK_UN);
}
