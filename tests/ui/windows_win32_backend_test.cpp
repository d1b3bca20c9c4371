// The Win32 backend on real dialogs (under Wine with a display in CI): the dialog procedure, Unicode
// texts, the system menu, timers, posted and broadcast messages, the progress bar, and the guard
// against clicks on disabled buttons. The dialogs drive themselves from their handlers.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scripted_dialog.h"
#include "ui/win32/win32_ui.h"

namespace {

const UINT WM_TEST_STEP = WM_USER + 1;

class Win32Backend : public ::testing::Test {
protected:
    Win32Ui ui{GetModuleHandleW(nullptr)};
};

TEST_F(Win32Backend, ResourcesComeFromTheModule)
{
    EXPECT_EQ("一", UiLoadString(1));
    EXPECT_EQ("", UiLoadString(3));
    EXPECT_NE(nullptr, UiLoadIcon(TEST_ICON));
    EXPECT_EQ(nullptr, UiLoadIcon(TEST_ICON + 1));
    EXPECT_GT(UiGetSystemMetrics(SM_CXICON), 0);
    ScriptedDialog missing(999);
    EXPECT_EQ(-1, missing.DoModal());
}

TEST_F(Win32Backend, TextsMenusFocusAndTheDisabledButtonGuard)
{
    ui.EnableControlLook();
    ScriptedDialog dialog(TEST_MAIN_DIALOG);
    std::vector<std::string> seen;
    int starts = 0;
    dialog.onInit = [&](ScriptedDialog& self) {
        EXPECT_EQ("待機中", self.text.GetWindowText());
        self.text.SetWindowText("一行目\n二行目");
        EXPECT_EQ("一行目\n二行目", self.text.GetWindowText());
        EXPECT_FALSE(self.start.EnableWindow(FALSE));
        EXPECT_FALSE(self.start.IsWindowEnabled());
        Menu* menu = self.GetSystemMenu(FALSE);
        EXPECT_NE(nullptr, menu);
        if (menu) {
            int before = menu->GetMenuItemCount();
            menu->AppendMenu(MF_SEPARATOR);
            menu->AppendMenu(MF_STRING, 0x10, "情報(&A)...");
            EXPECT_TRUE(menu->DeleteMenu(SC_CLOSE, MF_BYCOMMAND));
            EXPECT_EQ(before + 1, menu->GetMenuItemCount());
        }
        self.PostMessage(WM_TEST_STEP, 1);
        return TRUE;
    };
    dialog.onMessage = [&](ScriptedDialog& self, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        if (message == WM_COMMAND && LOWORD(wParam) == TEST_START) {
            ++starts;
            return true;
        }
        if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == 0x10) {
            seen.push_back("about");
            self.PostMessage(WM_TEST_STEP, 2);
            return true;
        }
        if (message != WM_TEST_STEP)
            return false;
        seen.push_back("step " + std::to_string(wParam));
        if (wParam == 1) {
            HWND window = FindWindowW(L"#32770", L"テスト");
            EXPECT_NE(nullptr, window);
            self.quit.SetFocus();
            EXPECT_EQ(GetDlgItem(window, IDOK), GetFocus());
            // A click that reaches the disabled button must not become its command.
            PostMessageW(GetDlgItem(window, TEST_START), BM_CLICK, 0, 0);
            self.PostMessage(WM_SYSCOMMAND, 0x10);
        } else {
            self.EndDialog(42);
        }
        return true;
    };
    EXPECT_EQ(42, dialog.DoModal());
    EXPECT_EQ(0, starts);
    EXPECT_EQ((std::vector<std::string>{"step 1", "about", "step 2"}), seen);
    EXPECT_EQ(nullptr, dialog.Handle());
}

TEST_F(Win32Backend, TimersProgressBarAndDeviceNoticesOfANestedDialog)
{
    ui.EnableControlLook();
    ScriptedDialog lower(TEST_MAIN_DIALOG);
    ScriptedDialog upper(TEST_PROGRESS_DIALOG);
    std::vector<std::string> seen;
    int ticks = 0;
    lower.onInit = [&](ScriptedDialog& self) {
        self.PostMessage(WM_TEST_STEP);
        return TRUE;
    };
    lower.onMessage = [&](ScriptedDialog& self, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        if (message == WM_TEST_STEP) {
            seen.push_back("upper " + std::to_string(upper.DoModal()));
            self.EndDialog(IDOK);
            return true;
        }
        if (message == WM_DEVICECHANGE && wParam == DBT_DEVNODES_CHANGED) {
            seen.push_back("lower notice");
            return true;
        }
        return false;
    };
    upper.onInit = [&](ScriptedDialog& self) {
        self.bar.SetRange32(0, 100);
        EXPECT_EQ(0, self.bar.SetPos(50));
        EXPECT_EQ(50, self.bar.GetPos());
        EXPECT_EQ(1u, self.SetTimer(1, 20));
        return TRUE;
    };
    upper.onMessage = [&](ScriptedDialog& self, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        if (message == WM_TIMER && wParam == 1) {
            self.bar.SetPos(++ticks);
            if (ticks == 3) {
                EXPECT_TRUE(self.KillTimer(1));
                UiPostToAllDialogs(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
            }
            return true;
        }
        if (message == WM_DEVICECHANGE && wParam == DBT_DEVNODES_CHANGED) {
            seen.push_back("upper notice at " + std::to_string(self.bar.GetPos()));
            self.EndDialog(0);
            return true;
        }
        return false;
    };
    EXPECT_EQ(IDOK, lower.DoModal());
    EXPECT_EQ(3, ticks);
    // Both dialogs got the notice; the lower one through the nested modal loop.
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ("upper 0", seen.back());
    EXPECT_NE(seen.end(), std::find(seen.begin(), seen.end(), "lower notice"));
    EXPECT_NE(seen.end(), std::find(seen.begin(), seen.end(), "upper notice at 3"));
}

}  // namespace
