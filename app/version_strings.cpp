// Reading version-information strings through the system seam.
#include "app/version_strings.h"

#include <cstdio>
#include <cstring>

#include "app/res/version_values.h"
#include "app/text_cut.h"
#include "platform/system_table.h"

const char* const VersionKeyNames[] = {
    "Comments",      "CompanyName",    "FileDescription", "FileVersion", "InternalName",   "LegalCopyright",
    "LegalTrademarks", "OriginalFilename", "PrivateBuild", "ProductName", "ProductVersion", "SpecialBuild",
    nullptr,
};

const int VersionFallbackCodePages[] = {0, 932, 949, 950, 1200, 1250, 1251, 1252, 1253, 1254, 1255, 1256, -1};

const int VersionFallbackLanguages[] = {
    0x0401, 0x0402, 0x0403, 0x0404, 0x0405, 0x0406, 0x0407, 0x0408, 0x0409, 0x040A, 0x040B,
    0x040C, 0x040D, 0x040E, 0x040F, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416,
    0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421,
    0x0804, 0x0807, 0x0809, 0x080A, 0x080C, 0x0810, 0x0813, 0x0814, 0x0816, 0x081A, 0x0C0C,
    0x100C, -1,
};

namespace {

const char* const TRANSLATION_BLOCK = "\\VarFileInfo\\Translation";

// The program's file name may be up to 260 characters and its terminator.
const DWORD MODULE_NAME_SIZE = MAX_PATH + 1;

int QueryOneTable(LPCVOID block, unsigned language, unsigned codePage, const char* key, char* destination)
{
    char name[VERSION_STRING_SIZE];
    int formed = std::snprintf(name, sizeof name, "\\StringFileInfo\\%04x%04x\\%s", language, codePage, key);
    if (formed < 0 || static_cast<size_t>(formed) >= sizeof name)
        return 0;
    LPVOID value = nullptr;
    UINT length = 0;
    if (!g_sys.VerQueryValueA(block, name, &value, &length) || value == nullptr)
        return 0;
    TextCopyCut(destination, static_cast<const char*>(value), length, VERSION_STRING_SIZE - 1);
    return 1;
}

void Clear(VersionStrings* strings)
{
    for (char* field : strings->text)
        field[0] = '\0';
}

}  // namespace

DWORD ReadVersionStrings(HMODULE module, VersionStrings* strings)
{
    Clear(strings);
    char path[MODULE_NAME_SIZE];
    if (g_sys.GetModuleFileNameA(module, path, MODULE_NAME_SIZE) == 0)
        return 0;
    path[MODULE_NAME_SIZE - 1] = '\0';
    const VersionTranslation* first = nullptr;
    HLOCAL block = LoadVersionBlock(path, &first);
    if (!block)
        return 0;
    const VersionTranslation translation = *first;
    DWORD found = 0;
    for (int key = 0; VersionKeyNames[key]; ++key)
        found += static_cast<DWORD>(QueryVersionString(block, translation, VersionKeyNames[key], strings->text[key]));
    g_sys.LocalFree(block);
    return found;
}

HLOCAL LoadVersionBlock(const char* path, const VersionTranslation** translation)
{
    DWORD handle = 0;
    DWORD size = g_sys.GetFileVersionInfoSizeA(path, &handle);
    if (size == 0)
        return nullptr;
    HLOCAL block = g_sys.LocalAlloc(LMEM_FIXED, size);
    if (!block)
        return nullptr;
    LPVOID entry = nullptr;
    UINT length = 0;
    // A translation value too short for one entry is treated like a missing one.
    if (!g_sys.GetFileVersionInfoA(path, handle, size, block) ||
        !g_sys.VerQueryValueA(block, TRANSLATION_BLOCK, &entry, &length) || entry == nullptr ||
        length < sizeof(VersionTranslation)) {
        g_sys.LocalFree(block);
        return nullptr;
    }
    *translation = static_cast<const VersionTranslation*>(entry);
    return block;
}

int QueryVersionString(LPCVOID block, VersionTranslation translation, const char* key, char* destination)
{
    if (block == nullptr || destination == nullptr || key == nullptr) {
        g_sys.SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (QueryOneTable(block, translation.language, translation.codePage, key, destination))
        return 1;
    for (const int* codePage = VersionFallbackCodePages; *codePage >= 0; ++codePage)
        for (const int* language = VersionFallbackLanguages; *language >= 0; ++language)
            if (QueryOneTable(block, static_cast<unsigned>(*language), static_cast<unsigned>(*codePage), key,
                              destination))
                return 1;
    destination[0] = '\0';
    return 0;
}

void VersionStringsCompiledIn(VersionStrings* strings)
{
    const char* const values[VERSION_KEY_COUNT] = {
        QZV_EN_COMMENTS,         QZV_EN_COMPANY_NAME,      QZV_EN_FILE_DESCRIPTION, QZV_EN_FILE_VERSION,
        QZV_EN_INTERNAL_NAME,    QZV_EN_LEGAL_COPYRIGHT,   QZV_EN_LEGAL_TRADEMARKS, QZV_EN_ORIGINAL_FILENAME,
        QZV_EN_PRIVATE_BUILD,    QZV_EN_PRODUCT_NAME,      QZV_EN_PRODUCT_VERSION,  QZV_EN_SPECIAL_BUILD,
    };
    for (int key = 0; key < VERSION_KEY_COUNT; ++key)
        TextCopyCut(strings->text[key], values[key], std::strlen(values[key]), VERSION_STRING_SIZE - 1);
}

void ReadProgramVersionStrings(VersionStrings* strings)
{
#ifdef _WIN32
    ReadVersionStrings(nullptr, strings);
#else
    VersionStringsCompiledIn(strings);
#endif
}
