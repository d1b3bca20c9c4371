// The Windows program as a user sees it: started in convert-only mode on the sample file, driven from
// this process like a user would (under Wine with Xvfb in CI). A picture of the dialog goes to
// $QZV_ARTIFACTS when that is set.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "app/res/resource.h"
#include "qzv_version.h"
#include "ui_automation.h"

namespace {

using namespace ui_automation;

const wchar_t* const MAIN_CAPTION = L"QZV-57x ファームウェア更新";
const wchar_t* const ABOUT_CAPTION = L"バージョン情報";
const char* const FINISHED_TEXT =
    ".mot から .bin への変換が終了しました。\n    入力ファイル: sample.mot\n    出力ファイル: sample.bin\n";

class ConvertOnlyDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ifstream sample(QZV_SOURCE_DIR "/examples/sample-new.mot", std::ios::binary);
        ASSERT_TRUE(sample.good());
        std::ofstream("sample.mot", std::ios::binary)
            << std::string(std::istreambuf_iterator<char>(sample), std::istreambuf_iterator<char>());
        DeleteFileW(L"sample.bin");

        ASSERT_TRUE(StartProgram(L"qzvupdate.exe", L"/c sample.mot", &m_process))
            << "CreateProcess error " << GetLastError();
        m_dialog = WaitForDialog(m_process.dwProcessId, MAIN_CAPTION, 15000);
        ASSERT_NE(nullptr, m_dialog) << "the main dialog did not appear";
    }

    void TearDown() override { StopProgram(&m_process); }

    bool TextBecomes(int id, const std::wstring& wanted)
    {
        return WaitUntil([&] { return Text(m_dialog, id) == wanted; }, 10000);
    }

    PROCESS_INFORMATION m_process{};
    HWND m_dialog = nullptr;
};

TEST_F(ConvertOnlyDialog, ShowsTheFinishedConversionAndEndsOnlyThroughQuit)
{
    ASSERT_TRUE(TextBecomes(IDC_MESSAGE_TEXT, Wide(FINISHED_TEXT))) << Utf8(Text(m_dialog, IDC_MESSAGE_TEXT));
    EXPECT_FALSE(IsEnabled(m_dialog, IDC_START_BUTTON));
    EXPECT_TRUE(IsEnabled(m_dialog, IDOK));
    EXPECT_EQ(L"開始(&S)", Text(m_dialog, IDC_START_BUTTON));
    EXPECT_EQ(L"終了(&Q)", Text(m_dialog, IDOK));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"sample.bin")) << "no output file";

    // A close request and a click on the disabled Start button change nothing.
    PostMessageW(m_dialog, WM_CLOSE, 0, 0);
    Click(m_dialog, IDC_START_BUTTON);
    ASSERT_TRUE(Settle(m_dialog));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_process.hProcess, 300));
    EXPECT_EQ(Wide(FINISHED_TEXT), Text(m_dialog, IDC_MESSAGE_TEXT));

    if (const char* artifacts = std::getenv("QZV_ARTIFACTS")) {
        CreateDirectoryW(Wide(artifacts).c_str(), nullptr);
        EXPECT_TRUE(SaveScreenshot(m_dialog, Wide(artifacts) + L"\\qzvupdate-convert-only.bmp"));
    }

    ASSERT_TRUE(Click(m_dialog, IDOK));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_process.hProcess, 10000)) << "Quit did not end the program";
    DWORD code = 1;
    GetExitCodeProcess(m_process.hProcess, &code);
    EXPECT_EQ(0u, code);
}

TEST_F(ConvertOnlyDialog, AboutFromTheSystemMenu)
{
    ASSERT_TRUE(TextBecomes(IDC_MESSAGE_TEXT, Wide(FINISHED_TEXT)));
    ASSERT_TRUE(SystemCommand(m_dialog, IDM_ABOUTBOX));
    HWND about = WaitForDialog(m_process.dwProcessId, ABOUT_CAPTION, 10000);
    ASSERT_NE(nullptr, about) << "the About dialog did not appear";
    EXPECT_EQ(Wide("QZV-57x Firmware Updater  " QZV_VERSION), Text(about, IDC_VERSION_LINE));
    EXPECT_EQ(L"Copyright (C) 2026 QZV-57 Updater Project", Text(about, IDC_LEGAL_LINE));
    // The main dialog is its owner and takes no input meanwhile.
    EXPECT_EQ(m_dialog, GetWindow(about, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(m_dialog));
    if (const char* artifacts = std::getenv("QZV_ARTIFACTS")) {
        EXPECT_TRUE(SaveScreenshot(about, Wide(artifacts) + L"\\qzvupdate-about.bmp"));
    }

    ASSERT_TRUE(Click(about, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }, 10000));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(m_dialog) != FALSE; }, 10000));
    ASSERT_TRUE(Click(m_dialog, IDOK));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_process.hProcess, 10000));
}

}  // namespace
