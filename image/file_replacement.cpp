// The temporary file beside a file being replaced, and the rename that puts it in place.
#include "image/file_replacement.h"

#include <cstdio>
#include <cstring>

#include "image/path_text.h"
#include "platform/interrupt_cleanup.h"

namespace {

// Temporary names tried before giving up: "<name>.tmp", "<name>.1.tmp" ... "<name>.99.tmp".
const unsigned TEMPORARY_ATTEMPTS = 100;

// The name a temporary file takes in the target's folder when "<name>.tmp" would not fit.
const char SHORT_TEMPORARY_STEM[] = "qzv";

bool AlreadyExists(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// Whether folder + name + suffix fits the path buffer and one folder entry's name limit.
bool FitsLimits(size_t folderLength, size_t nameLength, size_t suffixLength)
{
    return folderLength + nameLength + suffixLength < REPLACED_FILE_PATH_SIZE &&
           nameLength + suffixLength <= REPLACED_FILE_NAME_MAX;
}

// The temporary name of an attempt: the target's own name, or the short stem when `useShort` is set
// or the own name would not fit; false if neither fits.
bool FormTemporaryName(FileReplacement* replacement, unsigned attempt, bool useShort)
{
    char suffix[16];
    if (attempt == 0)
        std::snprintf(suffix, sizeof suffix, ".tmp");
    else
        std::snprintf(suffix, sizeof suffix, ".%u.tmp", attempt);
    const char* name = ImageFileNamePart(replacement->target);
    size_t folderLength = static_cast<size_t>(name - replacement->target);
    size_t suffixLength = std::strlen(suffix);
    if (useShort || !FitsLimits(folderLength, std::strlen(name), suffixLength))
        name = SHORT_TEMPORARY_STEM;
    size_t nameLength = std::strlen(name);
    if (!FitsLimits(folderLength, nameLength, suffixLength))
        return false;
    std::memcpy(replacement->temporary, replacement->target, folderLength);
    std::memcpy(replacement->temporary + folderLength, name, nameLength);
    std::memcpy(replacement->temporary + folderLength + nameLength, suffix, suffixLength + 1);
    return true;
}

// A new temporary file beside the target; never opens an existing file.
HANDLE CreateTemporary(FileReplacement* replacement)
{
    bool useShort = false;
    for (unsigned attempt = 0; attempt < TEMPORARY_ATTEMPTS; ++attempt) {
        if (!FormTemporaryName(replacement, attempt, useShort))
            break;
        // An interruption between creating the file and listing it would leave it behind.
        InterruptCleanupHold();
        HANDLE file = g_sys.CreateFileA(replacement->temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD error = g_sys.GetLastError();
        if (file != INVALID_HANDLE_VALUE)
            replacement->cleanup = InterruptCleanupAdd(replacement->temporary);
        InterruptCleanupRelease();
        if (file != INVALID_HANDLE_VALUE)
            return file;
        // A file system with a shorter name limit than ours: the short name once more.
        if (error == ERROR_FILENAME_EXCED_RANGE && !useShort) {
            useShort = true;
            --attempt;
            continue;
        }
        if (!AlreadyExists(error))
            break;
    }
    replacement->temporary[0] = '\0';
    return INVALID_HANDLE_VALUE;
}

// An existing target that cannot be replaced (a directory, a read-only file, a device or a pipe) is
// refused before any work, as creating it would have been.
bool IsReplaceable(const char* target)
{
    DWORD attributes = g_sys.GetFileAttributesA(target);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE)) == 0)
        return true;
    g_sys.SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

}  // namespace

HANDLE FileReplacementBegin(FileReplacement* replacement, const char* path)
{
    replacement->temporary[0] = '\0';
    replacement->cleanup = -1;
    if (!path) {
        replacement->target[0] = '\0';
        g_sys.SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!ReplacedFileTarget(path, replacement->target, sizeof replacement->target) ||
        !IsReplaceable(replacement->target))
        return INVALID_HANDLE_VALUE;
    return CreateTemporary(replacement);
}

BOOL FileReplacementCommit(FileReplacement* replacement)
{
    // What the new file could not take over of the old one does not stop the replacement.
    ReplacedFileKeepIdentity(replacement->target, replacement->temporary);
    InterruptCleanupHold();
    BOOL renamed = g_sys.MoveFileExA(replacement->temporary, replacement->target, MOVEFILE_REPLACE_EXISTING);
    DWORD error = g_sys.GetLastError();
    if (renamed) {
        InterruptCleanupRemove(replacement->cleanup);
        replacement->cleanup = -1;
    }
    InterruptCleanupRelease();
    if (renamed)
        return TRUE;
    FileReplacementAbandon(replacement);
    g_sys.SetLastError(error);
    return FALSE;
}

void FileReplacementAbandon(FileReplacement* replacement)
{
    if (replacement->temporary[0])
        g_sys.DeleteFileA(replacement->temporary);
    // Off the list only once it is gone: an interruption in between removes it all the same.
    InterruptCleanupRemove(replacement->cleanup);
    replacement->cleanup = -1;
}
