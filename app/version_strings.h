// The program's own version-information strings: reading them from a file's version resource (with
// fallbacks for a first translation that names a missing table), and the values compiled into the
// Linux program, whose file carries no version resource.
#pragma once

#include "platform/win32_security_types.h"
#include "platform/win32_types.h"

enum VersionKey {
    VERSION_COMMENTS,
    VERSION_COMPANY_NAME,
    VERSION_FILE_DESCRIPTION,
    VERSION_FILE_VERSION,
    VERSION_INTERNAL_NAME,
    VERSION_LEGAL_COPYRIGHT,
    VERSION_LEGAL_TRADEMARKS,
    VERSION_ORIGINAL_FILENAME,
    VERSION_PRIVATE_BUILD,
    VERSION_PRODUCT_NAME,
    VERSION_PRODUCT_VERSION,
    VERSION_SPECIAL_BUILD,
    VERSION_KEY_COUNT
};

// Each field holds at most 255 bytes of the ANSI code page and its terminator.
enum { VERSION_STRING_SIZE = 256 };

struct VersionStrings {
    char text[VERSION_KEY_COUNT][VERSION_STRING_SIZE];
};

// The key names in field order, ended by a null entry.
extern const char* const VersionKeyNames[];

// One entry of "\VarFileInfo\Translation".
struct VersionTranslation {
    WORD language;
    WORD codePage;
};

// Fills `strings` from the version resource of `module`'s file (null: the program's own); a key that
// is not found gives an empty field, and so does every key when the resource cannot be read. Returns
// the number of keys found.
DWORD ReadVersionStrings(HMODULE module, VersionStrings* strings);

// The file's version-information block (LocalAlloc; the caller frees it with LocalFree) and the
// address of its first translation entry, or null.
HLOCAL LoadVersionBlock(const char* path, const VersionTranslation** translation);

// Copies the value of `key` into destination (VERSION_STRING_SIZE bytes), cut at a character
// boundary. The table named by `translation` is tried first, then every pair of the fallback code
// pages (outer) and languages (inner). 1 when found; 0 when not (destination emptied), or when block or
// destination is null (last error ERROR_INVALID_PARAMETER).
int QueryVersionString(LPCVOID block, VersionTranslation translation, const char* key, char* destination);

// The fallback lists, each ended by a negative sentinel.
extern const int VersionFallbackCodePages[];
extern const int VersionFallbackLanguages[];

// The values of the program's version resource, in its first translation (English).
void VersionStringsCompiledIn(VersionStrings* strings);

// The program's own strings: from its version resource on Windows, compiled in on Linux.
void ReadProgramVersionStrings(VersionStrings* strings);
