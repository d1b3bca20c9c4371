// The version strings (reading a version block through the seam, with the fallback lists) and the
// About dialog that shows them.
#include <cstring>
#include <map>

#include "app/about_dialog.h"
#include "app/version_strings.h"
#include "app_test_support.h"
#include "platform/system_table.h"
#include "qzv_version.h"

namespace {

// A version block of the test's making: the seam's version calls answer from these sub-blocks.
struct FakeVersionFile {
    std::map<std::string, std::string> values;
    std::vector<std::string> asked;
    VersionTranslation translation{0x0411, 0x04b0};
    UINT translationLength = sizeof(VersionTranslation);
    bool moduleFails = false;
    int allocations = 0;
};
FakeVersionFile* s_file = nullptr;
const char BLOCK_MARK[] = "version block";

DWORD WINAPI FakeModuleFileName(HMODULE, LPSTR buffer, DWORD size)
{
    if (s_file->moduleFails)
        return 0;
    std::snprintf(buffer, size, "%s", "prog.exe");
    return 8;
}

DWORD WINAPI FakeVersionInfoSize(LPCSTR path, LPDWORD handle)
{
    *handle = 0;
    return std::strcmp(path, "prog.exe") == 0 ? sizeof BLOCK_MARK : 0;
}

BOOL WINAPI FakeVersionInfo(LPCSTR, DWORD, DWORD length, LPVOID block)
{
    std::memcpy(block, BLOCK_MARK, length);
    return TRUE;
}

BOOL WINAPI FakeQueryValue(LPCVOID block, LPCSTR name, LPVOID* value, PUINT length)
{
    EXPECT_EQ(0, std::memcmp(block, BLOCK_MARK, sizeof BLOCK_MARK));
    if (std::strcmp(name, "\\VarFileInfo\\Translation") == 0) {
        *value = &s_file->translation;
        *length = s_file->translationLength;
        return TRUE;
    }
    s_file->asked.push_back(name);
    auto found = s_file->values.find(name);
    if (found == s_file->values.end())
        return FALSE;
    *value = const_cast<char*>(found->second.c_str());
    *length = static_cast<UINT>(found->second.size() + 1);
    return TRUE;
}

HLOCAL WINAPI CountingLocalAlloc(UINT flags, SIZE_T bytes)
{
    ++s_file->allocations;
    return SystemNativeTable().LocalAlloc(flags, bytes);
}

HLOCAL WINAPI CountingLocalFree(HLOCAL block)
{
    --s_file->allocations;
    return SystemNativeTable().LocalFree(block);
}

class VersionStringsTest : public ::testing::Test {
protected:
    VersionStringsTest()
    {
        s_file = &file;
        g_sys.GetModuleFileNameA = FakeModuleFileName;
        g_sys.GetFileVersionInfoSizeA = FakeVersionInfoSize;
        g_sys.GetFileVersionInfoA = FakeVersionInfo;
        g_sys.VerQueryValueA = FakeQueryValue;
        g_sys.LocalAlloc = CountingLocalAlloc;
        g_sys.LocalFree = CountingLocalFree;
    }
    ~VersionStringsTest() override
    {
        SystemTableReset();
        s_file = nullptr;
    }

    FakeVersionFile file;
    char destination[VERSION_STRING_SIZE];
};

TEST_F(VersionStringsTest, TheFirstTranslationIsAskedFirst)
{
    file.values["\\StringFileInfo\\041104b0\\FileVersion"] = "1.2.3.4";
    EXPECT_EQ(1, QueryVersionString(BLOCK_MARK, file.translation, "FileVersion", destination));
    EXPECT_STREQ("1.2.3.4", destination);
    EXPECT_EQ(1u, file.asked.size());
}

TEST_F(VersionStringsTest, AMissingTableIsFoundByTheFallbackListsCodePageOutside)
{
    file.values["\\StringFileInfo\\040904b0\\FileVersion"] = "found";
    VersionTranslation missing{0x0407, 0x04e4};
    EXPECT_EQ(1, QueryVersionString(BLOCK_MARK, missing, "FileVersion", destination));
    EXPECT_STREQ("found", destination);
    // The named table, then code page 0 with all 45 languages, 932, 949, 950, then 1200 with the
    // languages up to 0x0409.
    ASSERT_EQ(1u + 4 * 45 + 9, file.asked.size());
    EXPECT_EQ("\\StringFileInfo\\040704e4\\FileVersion", file.asked[0]);
    EXPECT_EQ("\\StringFileInfo\\04010000\\FileVersion", file.asked[1]);
    EXPECT_EQ("\\StringFileInfo\\04210000\\FileVersion", file.asked[33]);
    EXPECT_EQ("\\StringFileInfo\\08040000\\FileVersion", file.asked[34]);
    EXPECT_EQ("\\StringFileInfo\\100c0000\\FileVersion", file.asked[45]);
    EXPECT_EQ("\\StringFileInfo\\040103a4\\FileVersion", file.asked[46]);
    EXPECT_EQ("\\StringFileInfo\\040904b0\\FileVersion", file.asked.back());
}

TEST_F(VersionStringsTest, NothingFoundEmptiesTheDestination)
{
    std::strcpy(destination, "stale");
    EXPECT_EQ(0, QueryVersionString(BLOCK_MARK, file.translation, "Comments", destination));
    EXPECT_STREQ("", destination);
    EXPECT_EQ(1u + 12 * 45, file.asked.size());
    EXPECT_EQ("\\StringFileInfo\\100c04e8\\Comments", file.asked.back());

    g_sys.SetLastError(0);
    EXPECT_EQ(0, QueryVersionString(nullptr, file.translation, "Comments", destination));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), g_sys.GetLastError());
    g_sys.SetLastError(0);
    EXPECT_EQ(0, QueryVersionString(BLOCK_MARK, file.translation, "Comments", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), g_sys.GetLastError());
}

TEST_F(VersionStringsTest, ReadingTheFileGivesEveryKeyFoundAndEmptyFieldsForTheRest)
{
    for (int key = 0; VersionKeyNames[key]; ++key)
        if (std::strcmp(VersionKeyNames[key], "SpecialBuild") != 0)
            file.values[std::string("\\StringFileInfo\\041104b0\\") + VersionKeyNames[key]] = VersionKeyNames[key] + std::string("!");
    VersionStrings strings;
    std::memset(&strings, 'x', sizeof strings);
    EXPECT_EQ(11u, ReadVersionStrings(nullptr, &strings));
    EXPECT_STREQ("InternalName!", strings.text[VERSION_INTERNAL_NAME]);
    EXPECT_STREQ("Comments!", strings.text[VERSION_COMMENTS]);
    EXPECT_STREQ("ProductVersion!", strings.text[VERSION_PRODUCT_VERSION]);
    EXPECT_STREQ("", strings.text[VERSION_SPECIAL_BUILD]);
    EXPECT_EQ(0, file.allocations);
}

TEST_F(VersionStringsTest, AnUnreadableFileLeavesEveryFieldEmpty)
{
    VersionStrings strings;
    for (auto breakIt : {+[](FakeVersionFile& f) { f.moduleFails = true; },
                         +[](FakeVersionFile& f) { f.translationLength = 2; }}) {
        FakeVersionFile fresh;
        file = fresh;
        file.values["\\StringFileInfo\\041104b0\\InternalName"] = "prog";
        breakIt(file);
        std::memset(&strings, 'x', sizeof strings);
        EXPECT_EQ(0u, ReadVersionStrings(nullptr, &strings));
        for (const char* field : strings.text)
            EXPECT_STREQ("", field);
        EXPECT_EQ(0, file.allocations);
    }
}

TEST_F(VersionStringsTest, LongValuesAreCutAtACharacterBoundary)
{
    // "a" and a hundred three-byte characters: 301 bytes, cut to 1 + 84 * 3 = 253.
    std::string value = "a";
    for (int i = 0; i < 100; ++i)
        value += "\xE3\x81\x82";
    file.values["\\StringFileInfo\\041104b0\\Comments"] = value;
    EXPECT_EQ(1, QueryVersionString(BLOCK_MARK, file.translation, "Comments", destination));
#ifdef _WIN32
    EXPECT_EQ(255u, std::strlen(destination));  // every byte is a character in a single-byte code page
#else
    EXPECT_EQ(value.substr(0, 253), destination);
#endif
}

TEST(ProgramVersionStrings, AreTheSameOnEveryPlatform)
{
    VersionStrings strings;
    ReadProgramVersionStrings(&strings);
    EXPECT_STREQ("qzvupdate", strings.text[VERSION_INTERNAL_NAME]);
    EXPECT_STREQ("QZV-57x Firmware Updater", strings.text[VERSION_FILE_DESCRIPTION]);
    EXPECT_STREQ(QZV_VERSION, strings.text[VERSION_FILE_VERSION]);
    for (const char* field : strings.text)
        EXPECT_STRNE("", field);
}

class About : public UpdaterRun {};

TEST_F(About, FromTheSystemMenuItShowsTheVersionLineAndCopyright)
{
    WriteFile("about.mot", MotText({1, 2, 3}));
    ui.WhenIdle([](HeadlessUi& u) {
          std::vector<std::string> menu = u.SystemMenuTexts();
          EXPECT_EQ("バージョン情報(&A)...", menu.back());
          EXPECT_TRUE(u.ChooseSystemCommand(IDM_ABOUTBOX));
      })
        .WhenIdle([](HeadlessUi& u) {
            EXPECT_EQ(static_cast<UINT>(IDD_ABOUTBOX), u.TopTemplate());
            EXPECT_EQ("バージョン情報", u.Caption());
            EXPECT_EQ("QZV-57x Firmware Updater  " QZV_VERSION, u.Text(IDC_VERSION_LINE));
            EXPECT_EQ("Copyright (C) 2026 QZV-57 Updater Project", u.Text(IDC_LEGAL_LINE));
            EXPECT_EQ(IDOK, u.Focus());
            u.PressEscape();  // Esc ends the About dialog
        })
        .WhenIdle([](HeadlessUi& u) {
            EXPECT_EQ(static_cast<UINT>(IDD_UPDATER_DIALOG), u.TopTemplate());
            EXPECT_EQ(CONVERSION_FINISHED_TEXT("about.mot", "about.bin"), u.Text(IDC_MESSAGE_TEXT));
            // The system sets the low four bits of a command as it likes; they do not matter.
            u.Top()->PostMessage(WM_SYSCOMMAND, IDM_ABOUTBOX | 0x0003, 0);
        })
        .WhenIdle([](HeadlessUi& u) {
            EXPECT_EQ(static_cast<UINT>(IDD_ABOUTBOX), u.TopTemplate());
            u.Click(IDOK);
        })
        .WhenIdle([](HeadlessUi& u) { u.Click(IDOK); });
    EXPECT_EQ(0, UiRunApplication(app, "-c about.mot"));
    EXPECT_EQ(0u, ui.StepsLeft());
    EXPECT_FALSE(ui.Stalled());
}

TEST_F(About, AnEmptyDescriptionLeavesTheTwoBlanksAndALongLineIsCut)
{
    VersionStrings strings{};
    std::strcpy(strings.text[VERSION_FILE_VERSION], "9.9");
    std::strcpy(strings.text[VERSION_LEGAL_COPYRIGHT], "(C)");
    AboutDialog about;
    ui.WhenIdle([](HeadlessUi& u) {
        EXPECT_EQ("  9.9", u.Text(IDC_VERSION_LINE));
        EXPECT_EQ("(C)", u.Text(IDC_LEGAL_LINE));
        u.RequestClose();
    });
    EXPECT_EQ(IDCANCEL, about.ShowModal(&strings));

    std::memset(strings.text[VERSION_FILE_DESCRIPTION], 'd', 255);
    strings.text[VERSION_FILE_DESCRIPTION][255] = '\0';
    std::memset(strings.text[VERSION_FILE_VERSION], 'v', 255);
    strings.text[VERSION_FILE_VERSION][255] = '\0';
    ui.WhenIdle([](HeadlessUi& u) {
        EXPECT_EQ(std::string(255, 'd') + "  " + std::string(6, 'v'), u.Text(IDC_VERSION_LINE));
        u.Click(IDOK);
    });
    EXPECT_EQ(IDOK, about.ShowModal(&strings));
}

}  // namespace
