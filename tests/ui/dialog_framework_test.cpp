// The dialog framework on the headless backend: the modal loop, posted messages, focus and the
// dialog manager's keys, the system menu, timers, device-change notices and nested dialogs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scripted_dialog.h"
#include "ui/headless/headless_ui.h"
#include "ui/paint_dc.h"
#include "ui/win_app.h"

namespace {

const UINT WM_TEST_STEP = WM_USER + 1;

TEST(DialogFramework, WithoutABackendOrTemplateNothingIsShown)
{
    ScriptedDialog dialog(TEST_MAIN_DIALOG);
    EXPECT_EQ(-1, dialog.DoModal());
    dialog.text.SetWindowText("ignored");  // not bound, not open: does nothing
    EXPECT_EQ("", dialog.text.GetWindowText());
    EXPECT_EQ("", UiLoadString(1));

    HeadlessUi ui(TestResources());
    ScriptedDialog unknown(999);
    EXPECT_EQ(-1, unknown.DoModal());
    EXPECT_FALSE(ui.Stalled());
    EXPECT_EQ("一", UiLoadString(1));
    EXPECT_EQ("", UiLoadString(3));
    EXPECT_NE(nullptr, UiLoadIcon(TEST_ICON));
    EXPECT_EQ(nullptr, UiLoadIcon(TEST_ICON + 1));
}

TEST(DialogFramework, PostedMessagesArriveInOrderAfterTheHandlerThatPostedThem)
{
    HeadlessUi ui(TestResources());
    ScriptedDialog dialog(TEST_MAIN_DIALOG);
    std::vector<WPARAM> steps;
    dialog.onInit = [&](ScriptedDialog& self) {
        self.PostMessage(WM_TEST_STEP, 1);
        self.PostMessage(WM_TEST_STEP, 2);
        self.text.SetWindowText("init done");
        return TRUE;
    };
    dialog.onMessage = [&](ScriptedDialog& self, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        if (message != WM_TEST_STEP)
            return false;
        steps.push_back(wParam);
        self.text.SetWindowText("step " + std::to_string(wParam));
        if (wParam == 2)
            self.PostMessage(WM_TEST_STEP, 3);
        return true;
    };
    ui.WhenIdle([&](HeadlessUi& u) {
        EXPECT_EQ((std::vector<std::string>{"init done", "step 1", "step 2", "step 3"}), u.TextHistory(TEST_TEXT));
        EXPECT_EQ("テスト", u.Caption());
        EXPECT_TRUE(u.Click(IDOK));
    });
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ((std::vector<WPARAM>{1, 2, 3}), steps);
    EXPECT_FALSE(ui.Stalled());
    // The window is gone: its controls do nothing any more, and WM_DESTROY was the last message.
    EXPECT_EQ(static_cast<UINT>(WM_DESTROY), dialog.received.back());
    EXPECT_EQ("", dialog.text.GetWindowText());
    EXPECT_FALSE(dialog.PostMessage(WM_TEST_STEP, 9));
}

TEST(DialogFramework, FocusSkipsDisabledControlsAndDisabledButtonsTakeNoClicks)
{
    HeadlessUi ui(TestResources());
    ScriptedDialog dialog(TEST_MAIN_DIALOG);
    int starts = 0;
    dialog.onInit = [](ScriptedDialog& self) {
        EXPECT_FALSE(self.start.EnableWindow(FALSE));  // it was enabled
        EXPECT_TRUE(self.start.EnableWindow(FALSE));   // now it was disabled
        return TRUE;
    };
    dialog.onMessage = [&](ScriptedDialog& self, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        if (message == WM_COMMAND && LOWORD(wParam) == TEST_START) {
            ++starts;
            self.quit.EnableWindow(FALSE);
            return true;
        }
        return false;
    };
    ui.WhenIdle([&](HeadlessUi& u) {
          EXPECT_EQ(IDOK, u.Focus());
          EXPECT_FALSE(u.IsEnabled(TEST_START));
          EXPECT_FALSE(u.Click(TEST_START));
          EXPECT_FALSE(u.Click(TEST_TEXT));  // not a button
          dialog.start.EnableWindow(TRUE);
          EXPECT_TRUE(u.Click(TEST_START));
      })
        .WhenIdle([&](HeadlessUi& u) {
            EXPECT_EQ(1, starts);
            // Disabling the focused button leaves no focus; Enter then finds the default button
            // disabled and does nothing.
            EXPECT_EQ(0, u.Focus());
            u.PressEnter();
        })
        .WhenIdle([&](HeadlessUi& u) {
            EXPECT_EQ(1u, u.OpenDialogs());
            dialog.quit.EnableWindow(TRUE);
            dialog.quit.SetFocus();
            EXPECT_EQ(IDOK, u.Focus());
            u.PressEnter();
        });
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ(0u, ui.StepsLeft());
}

TEST(DialogFramework, EscapeAndCloseRequestsAreTheCancelCommand)
{
    HeadlessUi ui(TestResources());
    {
        ScriptedDialog dialog(TEST_MAIN_DIALOG);
        dialog.ignoreCancel = true;
        int cancels = 0;
        dialog.onMessage = [&](ScriptedDialog&, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
            cancels += message == WM_COMMAND && LOWORD(wParam) == IDCANCEL;
            return false;
        };
        ui.WhenIdle([](HeadlessUi& u) { u.PressEscape(); })
            .WhenIdle([](HeadlessUi& u) { u.RequestClose(); })
            .WhenIdle([](HeadlessUi& u) { EXPECT_TRUE(u.ChooseSystemCommand(SC_CLOSE)); })
            .WhenIdle([&](HeadlessUi& u) {
                EXPECT_EQ(3, cancels);
                EXPECT_EQ(1u, u.OpenDialogs());
                u.Click(IDOK);
            });
        EXPECT_EQ(IDOK, dialog.DoModal());
    }
    {
        ScriptedDialog dialog(TEST_MAIN_DIALOG);
        ui.WhenIdle([](HeadlessUi& u) { u.RequestClose(); });
        EXPECT_EQ(IDCANCEL, dialog.DoModal());
    }
    {
        // A disabled Cancel button keeps the close request from becoming a command.
        ScriptedDialog dialog(TEST_CANCEL_DIALOG);
        ui.WhenIdle([](HeadlessUi& u) { u.RequestClose(); }).WhenIdle([](HeadlessUi& u) {
            EXPECT_EQ(1u, u.OpenDialogs());
            u.PressEscape();
        });
        EXPECT_EQ(IDCANCEL, dialog.DoModal());
    }
    EXPECT_FALSE(ui.Stalled());
}

TEST(DialogFramework, SystemMenuEntriesAndDefaultHandling)
{
    HeadlessUi ui(TestResources());
    ScriptedDialog dialog(TEST_MAIN_DIALOG);
    std::vector<WPARAM> commands;
    dialog.onInit = [](ScriptedDialog& self) {
        Menu* menu = self.GetSystemMenu(FALSE);
        EXPECT_NE(nullptr, menu);
        menu->AppendMenu(MF_SEPARATOR);
        menu->AppendMenu(MF_STRING, 0x10, "情報(&A)...");
        EXPECT_TRUE(menu->DeleteMenu(SC_CLOSE, MF_BYCOMMAND));
        EXPECT_FALSE(menu->DeleteMenu(SC_CLOSE, MF_BYCOMMAND));
        return TRUE;
    };
    dialog.onMessage = [&](ScriptedDialog& self, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        if (message != WM_SYSCOMMAND)
            return false;
        commands.push_back(wParam);
        if ((wParam & 0xFFF0) != 0x10)
            self.PassToDefault();
        return true;
    };
    ui.WhenIdle([&](HeadlessUi& u) {
        EXPECT_EQ((std::vector<std::string>{"移動(&M)", "-", "-", "情報(&A)..."}), u.SystemMenuTexts());
        EXPECT_FALSE(u.ChooseSystemCommand(SC_CLOSE));
        EXPECT_TRUE(u.ChooseSystemCommand(0x10));
        EXPECT_TRUE(u.ChooseSystemCommand(SC_MOVE));
        EXPECT_EQ(0x10u, u.Top()->SystemItemWithMnemonic('a'));
        EXPECT_EQ(IDOK, u.Top()->ButtonWithMnemonic('q'));
    });
    ui.WhenIdle([&](HeadlessUi& u) {
        EXPECT_EQ((std::vector<WPARAM>{0x10, SC_MOVE}), commands);
        EXPECT_NE(nullptr, dialog.GetSystemMenu(TRUE));
        EXPECT_TRUE(u.HasSystemCommand(SC_CLOSE));
        u.ChooseSystemCommand(SC_CLOSE);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
}

TEST(DialogFramework, TimersFireOnVirtualTimeAndStopWithKillTimerOrTheWindow)
{
    HeadlessUi ui(TestResources());
    ScriptedDialog dialog(TEST_PROGRESS_DIALOG);
    int ticks = 0;
    dialog.onInit = [](ScriptedDialog& self) {
        EXPECT_EQ(1u, self.SetTimer(1, 100));
        return TRUE;
    };
    dialog.onMessage = [&](ScriptedDialog& self, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        if (message != WM_TIMER)
            return false;
        EXPECT_EQ(1u, wParam);
        if (++ticks == 15) {
            EXPECT_TRUE(self.KillTimer(1));
        }
        return true;
    };
    ui.WhenIdle([&](HeadlessUi& u) {
          EXPECT_EQ(0, ticks);
          u.AdvanceTime(1050);
      })
        .WhenIdle([&](HeadlessUi& u) {
            EXPECT_EQ(10, ticks);
            EXPECT_EQ(1050u, u.Now());
            u.AdvanceTime(5000);
        })
        .WhenIdle([&](HeadlessUi&) {
            EXPECT_EQ(15, ticks);
            EXPECT_FALSE(dialog.KillTimer(1));
            dialog.SetTimer(2, 10);
            dialog.EndDialog(7);
        });
    EXPECT_EQ(7, dialog.DoModal());
    // The second timer went with its window.
    ScriptedDialog next(TEST_PROGRESS_DIALOG);
    ui.WhenIdle([](HeadlessUi& u) { u.AdvanceTime(100); }).WhenIdle([](HeadlessUi& u) { u.Click(IDOK); });
    next.onInit = [](ScriptedDialog& self) {
        self.EndDialog(3);
        return TRUE;
    };
    EXPECT_EQ(3, next.DoModal());
    EXPECT_EQ(15, ticks);
}

TEST(DialogFramework, ProgressBarKeepsItsPositionInRange)
{
    HeadlessUi ui(TestResources());
    ScriptedDialog dialog(TEST_PROGRESS_DIALOG);
    dialog.onInit = [](ScriptedDialog& self) {
        self.bar.SetRange32(0, 100);
        EXPECT_EQ(0, self.bar.SetPos(40));
        EXPECT_EQ(40, self.bar.SetPos(101));
        EXPECT_EQ(100, self.bar.GetPos());
        self.bar.SetPos(-5);
        EXPECT_EQ(0, self.bar.GetPos());
        self.EndDialog(0);
        return TRUE;
    };
    EXPECT_EQ(0, dialog.DoModal());
}

TEST(DialogFramework, NestedDialogKeepsTheQueueAndDeviceNoticesReachEveryDialog)
{
    HeadlessUi ui(TestResources());
    ScriptedDialog lower(TEST_MAIN_DIALOG);
    ScriptedDialog upper(TEST_PROGRESS_DIALOG);
    std::vector<std::string> seen;
    lower.onMessage = [&](ScriptedDialog& self, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        if (message == WM_COMMAND && LOWORD(wParam) == TEST_START) {
            // Posted to this dialog, then a nested dialog runs: the nested loop delivers it.
            self.PostMessage(WM_TEST_STEP, 1);
            seen.push_back("upper ended " + std::to_string(upper.DoModal()));
            return true;
        }
        if (message == WM_TEST_STEP) {
            self.text.SetWindowText("stepped under the upper dialog");
            return true;
        }
        if (message == WM_DEVICECHANGE) {
            seen.push_back("lower " + std::to_string(wParam));
            return true;
        }
        return false;
    };
    upper.onMessage = [&](ScriptedDialog& self, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        if (message == WM_DEVICECHANGE) {
            seen.push_back("upper " + std::to_string(wParam));
            self.EndDialog(0);
            return true;
        }
        return false;
    };
    ui.WhenIdle([](HeadlessUi& u) { u.Click(TEST_START); })
        .WhenIdle([&](HeadlessUi& u) {
            EXPECT_EQ(TEST_PROGRESS_DIALOG, static_cast<int>(u.TopTemplate()));
            EXPECT_EQ(2u, u.OpenDialogs());
            EXPECT_EQ("stepped under the upper dialog", lower.text.GetWindowText());
            // A click meant for the dialog below does not reach it while the upper one is on top.
            EXPECT_FALSE(u.Click(TEST_START));
            u.DeviceChange(DBT_DEVNODES_CHANGED);
        })
        .WhenIdle([](HeadlessUi& u) {
            EXPECT_EQ(TEST_MAIN_DIALOG, static_cast<int>(u.TopTemplate()));
            u.Click(IDOK);
        });
    EXPECT_EQ(IDOK, lower.DoModal());
    EXPECT_EQ((std::vector<std::string>{"lower 7", "upper 7", "upper ended 0"}), seen);
}

TEST(DialogFramework, AProgramThatWaitsWithNothingScriptedIsEndedAsStalled)
{
    HeadlessUi ui(TestResources());
    ScriptedDialog lower(TEST_MAIN_DIALOG);
    ScriptedDialog upper(TEST_PROGRESS_DIALOG);
    INT_PTR upperResult = 0;
    lower.onInit = [&](ScriptedDialog& self) {
        self.PostMessage(WM_TEST_STEP);
        return TRUE;
    };
    lower.onMessage = [&](ScriptedDialog&, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message == WM_TEST_STEP)
            upperResult = upper.DoModal();
        return message == WM_TEST_STEP;
    };
    EXPECT_EQ(-1, lower.DoModal());
    EXPECT_EQ(-1, upperResult);
    EXPECT_TRUE(ui.Stalled());
}

TEST(DialogFramework, IconsPaintingAndTheApplicationObject)
{
    HeadlessUi ui(TestResources());
    ScriptedDialog dialog(TEST_MAIN_DIALOG);
    HICON icon = UiLoadIcon(TEST_ICON);
    dialog.onInit = [&](ScriptedDialog& self) {
        EXPECT_EQ(0, self.SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)));
        EXPECT_EQ(reinterpret_cast<LRESULT>(icon), self.SendMessage(WM_SETICON, ICON_BIG, 0));
        EXPECT_FALSE(self.Handle()->DrawIcon(nullptr, 0, 0, icon));
        {
            PaintDC dc(self);
            EXPECT_TRUE(dc.DrawIcon(3, 4, icon));
        }
        const std::vector<ModelDrawnIcon>& drawn = ui.Top()->DrawnIcons();
        EXPECT_EQ(1u, drawn.size());
        if (!drawn.empty()) {
            EXPECT_EQ(3, drawn[0].x);
            EXPECT_EQ(4, drawn[0].y);
        }
        RECT client;
        self.GetClientRect(&client);
        EXPECT_EQ(468, client.right);
        EXPECT_EQ(228, client.bottom);
        self.EndDialog(0);
        return TRUE;
    };
    dialog.DoModal();
    EXPECT_EQ(32, UiGetSystemMetrics(SM_CXICON));

    struct RecordingApp : WinApp {
        std::vector<std::string> commandLines;
        BOOL InitInstance() override
        {
            commandLines.push_back(m_lpCmdLine);
            EXPECT_EQ(this, UiGetApp());
            return FALSE;
        }
        int ExitInstance() override { return 5; }
    } app;
    EXPECT_EQ(5, UiRunApplication(app, "-c x"));
    EXPECT_EQ(5, UiRunApplication(app, nullptr));
    EXPECT_EQ((std::vector<std::string>{"-c x", ""}), app.commandLines);
}

}  // namespace
