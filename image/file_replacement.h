// Writing a file beside the name it is to have and putting it in place only once it is complete, so
// that a failure leaves an existing file exactly as it was and no temporary file behind. Used for
// the conversion's output and for the files the technician's tool writes.
//
// The new content goes to a temporary file in the replaced file's folder: "<name>.tmp", or
// "<name>.1.tmp" ... "<name>.99.tmp" while those are taken. Where such a name would not fit the
// system's limits (a path of MAX_PATH on Windows, 255 bytes for one name on both systems) although
// the replaced name does, the temporary file is "qzv.tmp", "qzv.1.tmp" ... in the same folder.
// A symbolic link is written through to its target on POSIX (platform/replaced_file.h), and a
// program ended by SIGINT, SIGTERM or SIGHUP removes the temporary file first
// (platform/interrupt_cleanup.h).
#pragma once

#include "platform/replaced_file.h"

struct FileReplacement {
    char target[REPLACED_FILE_PATH_SIZE];     // the file to be replaced, links followed
    char temporary[REPLACED_FILE_PATH_SIZE];  // where the new content is written
    int cleanup;                              // the temporary file's place on the interrupt list
};

// Creates the temporary file for replacing `path` and returns it open for writing. Refuses, with
// INVALID_HANDLE_VALUE and the last error set, a `path` that names an existing directory, read-only
// file, device or pipe, or a loop of links, and fails when no temporary file can be created.
HANDLE FileReplacementBegin(FileReplacement* replacement, const char* path);

// Once the temporary file is closed: renames it over the target. On failure it is removed and the
// target stays as it was.
BOOL FileReplacementCommit(FileReplacement* replacement);

// Once the temporary file is closed: removes it, leaving the target as it was.
void FileReplacementAbandon(FileReplacement* replacement);
