// Lock files that carry a named mutex across processes on POSIX systems.
//
// Each name has two files in the lock folder (/run/lock, or the temporary folder when this process
// cannot create files there), both created with mode 0666 whatever the umask, so that every user's
// process can open them:
//   <name>.lock  ownership: held with flock(LOCK_EX) by the process that owns the mutex;
//   <name>.open  presence: held with flock(LOCK_SH) by every process that has the name open.
// flock locks go with the open file, so the kernel drops both when a process ends, however it ends:
// a mutex whose holder died is simply free again.
//
// A name "exists" while some process holds its presence lock, as a Windows kernel object exists
// while some process has a handle to it. The last holder to close removes both files, holding the
// presence lock exclusively while it does; an opener that finds its file removed under it starts
// again. Files left by processes that died are not in the way: they hold no lock, and the next
// open of the name uses (or, when it only looks for an existing name, removes) them.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "platform/win32_types.h"

// The folder for lock files: `preferred` when this process may create files in it, otherwise
// `temporary` (when it names an absolute folder we may write to), otherwise /tmp.
std::string PosixChooseLockDirectory(const char* preferred, const char* temporary);

// The folder all named locks of this process use: /run/lock, falling back to $TMPDIR or /tmp.
const std::string& PosixLockDirectory(void);

// The path of a name's lock file with the given suffix. Characters other than letters, digits,
// '.', '_' and '-' are written as %XX, so that distinct names give distinct files; names too long
// for one file name are shortened and given a hash of the whole name.
std::string PosixLockFilePath(const std::string& directory, const std::string& name, const char* suffix);

class PosixNamedLock {
public:
    enum Disposition { OPEN_IF_EXISTS, OPEN_OR_CREATE };

    // Opens the name's files (creating them for OPEN_OR_CREATE) and takes the presence lock.
    // `existed` says whether another process had the name open. Null on failure, with the Win32
    // error in *error (ERROR_FILE_NOT_FOUND when OPEN_IF_EXISTS finds no holder).
    static std::unique_ptr<PosixNamedLock> Open(const char* name, Disposition disposition, bool* existed,
                                                DWORD* error);
    ~PosixNamedLock();
    PosixNamedLock(const PosixNamedLock&) = delete;
    PosixNamedLock& operator=(const PosixNamedLock&) = delete;

    // Takes ownership, waiting at most `milliseconds` (INFINITE waits as long as it takes).
    // False when another process kept it for the whole time or the lock call failed.
    bool Acquire(DWORD milliseconds);
    void Release();

private:
    PosixNamedLock(int ownership, int presence, std::string presencePath, std::string ownershipPath)
        : m_ownership(ownership), m_presence(presence), m_presencePath(std::move(presencePath)),
          m_ownershipPath(std::move(ownershipPath))
    {
    }
    int m_ownership;
    int m_presence;
    std::string m_presencePath;
    std::string m_ownershipPath;
};
