// The Windows demo as a user sees it (under Wine with Xvfb in CI): the updater on its emulated
// machine with the sample image, driven from this process: Start, the progress dialog while the unit
// restarts, 4012, Quit, and the second probe with the unit's new revision. Pictures of the dialogs
// go to $QZV_ARTIFACTS when that is set.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "app/res/resource.h"
#include "ui_automation.h"

namespace {

using namespace ui_automation;

const wchar_t* const MAIN_CAPTION = L"QZV-57x ファームウェア更新";
const wchar_t* const PROGRESS_CAPTION = L"更新中・・・";
const wchar_t* const READY_BEFORE = L"現在の ファームウェア バージョン: 1.99\n更新   ファームウェア バージョン: 2.10\n";
const wchar_t* const READY_AFTER = L"現在の ファームウェア バージョン: 2.10\n更新   ファームウェア バージョン: 2.10\n";
const wchar_t* const FINISHED = L"ファームウェアの更新が終了しました。\n";

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

class DemoDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ifstream sample(QZV_SOURCE_DIR "/examples/sample-new.mot", std::ios::binary);
        ASSERT_TRUE(sample.good());
        std::ofstream("sample-new.mot", std::ios::binary)
            << std::string(std::istreambuf_iterator<char>(sample), std::istreambuf_iterator<char>());

        ASSERT_TRUE(StartProgram(L"qzvupdate-demo.exe", L"--restart-ms=3000 sample-new.mot", &m_process))
            << "CreateProcess error " << GetLastError();
    }

    void TearDown() override { StopProgram(&m_process); }

    // The main dialog of this run once its message area begins with `prefix`.
    HWND MainDialogShowing(const wchar_t* prefix)
    {
        HWND found = nullptr;
        WaitUntil(
            [&] {
                found = FindDialog(m_process.dwProcessId, MAIN_CAPTION);
                return found && StartsWith(Text(found, IDC_MESSAGE_TEXT), prefix);
            },
            20000);
        return found && StartsWith(Text(found, IDC_MESSAGE_TEXT), prefix) ? found : nullptr;
    }

    HWND FocusOf(HWND dialog)
    {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
        return info.hwndFocus;
    }

    void Picture(HWND window, const wchar_t* name)
    {
        if (const char* artifacts = std::getenv("QZV_ARTIFACTS")) {
            CreateDirectoryW(Wide(artifacts).c_str(), nullptr);
            EXPECT_TRUE(SaveScreenshot(window, Wide(artifacts) + L"\\" + name));
        }
    }

    PROCESS_INFORMATION m_process{};
};

TEST_F(DemoDialogs, StartUpdatesTheUnitAndTheSecondProbeShowsItsNewRevision)
{
    HWND main = MainDialogShowing(READY_BEFORE);
    ASSERT_NE(nullptr, main) << "no ready main dialog";
    EXPECT_TRUE(IsEnabled(main, IDC_START_BUTTON));
    Picture(main, L"qzvupdate-demo-main.bmp");

    ASSERT_TRUE(Click(main, IDC_START_BUTTON));
    HWND progress = WaitForDialog(m_process.dwProcessId, PROGRESS_CAPTION, 10000);
    ASSERT_NE(nullptr, progress) << "the progress dialog did not appear";
    EXPECT_EQ(main, GetWindow(progress, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(main));
    // The activity bar moves while the unit restarts.
    HWND bar = GetDlgItem(progress, IDC_PROGRESS_BAR);
    LRESULT first = SendMessageW(bar, PBM_GETPOS, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return SendMessageW(bar, PBM_GETPOS, 0, 0) > first; }, 2000));
    Picture(progress, L"qzvupdate-demo-progress.bmp");

    main = MainDialogShowing(FINISHED);
    ASSERT_NE(nullptr, main) << Utf8(Text(FindDialog(m_process.dwProcessId, MAIN_CAPTION), IDC_MESSAGE_TEXT));
    EXPECT_FALSE(IsWindow(progress));
    EXPECT_FALSE(IsEnabled(main, IDC_START_BUTTON));
    EXPECT_TRUE(IsEnabled(main, IDOK));
    EXPECT_EQ(GetDlgItem(main, IDOK), FocusOf(main));
    Picture(main, L"qzvupdate-demo-finished.bmp");

    // Quit; the demo switches the unit off and on and probes it again.
    ASSERT_TRUE(Click(main, IDOK));
    HWND again = MainDialogShowing(READY_AFTER);
    ASSERT_NE(nullptr, again) << "no second probe";
    Picture(again, L"qzvupdate-demo-second-probe.bmp");
    ASSERT_TRUE(Click(again, IDOK));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_process.hProcess, 10000)) << "Quit did not end the demo";
    DWORD code = 1;
    GetExitCodeProcess(m_process.hProcess, &code);
    EXPECT_EQ(0u, code);
}

}  // namespace
