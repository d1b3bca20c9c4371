// Following an output path through its symbolic links, and carrying the replaced file's permission
// bits and owner over to the file that replaces it.
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/posix_errors.h"
#include "platform/replaced_file.h"

namespace {

// As many links as the kernel itself follows before it reports a loop.
const int LINKS_FOLLOWED_MAX = 40;

}  // namespace

BOOL ReplacedFileTarget(const char* path, char* target, size_t size)
{
    size_t length = std::strlen(path);
    if (length >= size) {
        g_sys.SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    std::memcpy(target, path, length + 1);
    for (int followed = 0; followed <= LINKS_FOLLOWED_MAX; ++followed) {
        struct stat st;
        // Whatever is not a link (or cannot be looked at) is the target; opening it reports the rest.
        if (lstat(target, &st) != 0 || !S_ISLNK(st.st_mode))
            return TRUE;
        char link[REPLACED_FILE_PATH_SIZE];
        ssize_t linkLength = readlink(target, link, sizeof link);
        if (linkLength < 0) {
            g_sys.SetLastError(PosixErrorFromErrno(errno));
            return FALSE;
        }
        // A relative link names a path from the folder that holds the link.
        const char* slash = std::strrchr(target, '/');
        size_t folder = link[0] == '/' || !slash ? 0 : static_cast<size_t>(slash - target) + 1;
        if (static_cast<size_t>(linkLength) >= sizeof link || folder + static_cast<size_t>(linkLength) >= size) {
            g_sys.SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return FALSE;
        }
        std::memcpy(target + folder, link, static_cast<size_t>(linkLength));
        target[folder + static_cast<size_t>(linkLength)] = '\0';
    }
    g_sys.SetLastError(ERROR_CANT_RESOLVE_FILENAME);
    return FALSE;
}

bool ReplacedFileKeepIdentity(const char* replaced, const char* replacement)
{
    struct stat st;
    if (stat(replaced, &st) != 0 || !S_ISREG(st.st_mode))
        return true;
    bool kept = geteuid() != 0 || chown(replacement, st.st_uid, st.st_gid) == 0;
    // After the owner: changing the owner clears the set-user-ID and set-group-ID bits.
    return chmod(replacement, st.st_mode & 07777) == 0 && kept;
}
