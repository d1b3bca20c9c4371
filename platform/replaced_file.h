// What replacing a file by renaming a new one over it must keep on this system. On POSIX a path that
// is a symbolic link is written through to the link's target, so that the link stays a link, and
// the new file takes the replaced file's permission bits (and, when root replaces it, its owner).
// Windows keeps its own rules: the path is replaced as named and the new file has the access rights
// of its folder.
#pragma once

#include <cstddef>
#include <cstring>

#include "platform/system_table.h"

// Longest path a replacement handles, its NUL included: on POSIX the target of a link may be longer
// than any name the program forms itself.
#ifdef _WIN32
#define REPLACED_FILE_PATH_SIZE MAX_PATH
#else
#define REPLACED_FILE_PATH_SIZE 4096
#endif

// The longest name of one folder entry on both systems.
#define REPLACED_FILE_NAME_MAX 255

#ifdef _WIN32

inline BOOL ReplacedFileTarget(const char* path, char* target, size_t size)
{
    size_t length = std::strlen(path);
    if (length >= size) {
        g_sys.SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    std::memcpy(target, path, length + 1);
    return TRUE;
}

inline bool ReplacedFileKeepIdentity(const char*, const char*)
{
    return true;
}

#else

// The file that writing `path` replaces: `path` itself, or the final target of the symbolic links
// it names (also a target that does not exist yet). FALSE with the last error set for a loop of
// links (ERROR_CANT_RESOLVE_FILENAME) or a target longer than `size`.
BOOL ReplacedFileTarget(const char* path, char* target, size_t size);

// Gives `replacement` the permission bits of an existing regular file `replaced`, and its owner and
// group when this process runs as root. False when the file system would not take them (a FAT card
// has neither); nothing is needed when `replaced` does not exist.
bool ReplacedFileKeepIdentity(const char* replaced, const char* replacement);

#endif
