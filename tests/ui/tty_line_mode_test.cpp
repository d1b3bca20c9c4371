// The terminal backend in line mode, driven through pipes as a script drives the Linux program.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "scripted_dialog.h"
#include "support/child_process.h"
#include "ui/tty/tty_ui.h"

namespace {

const UINT WM_TEST_STEP = WM_USER + 1;

// Pipes for standard input, output and errors of one run.
class LineModeRun {
public:
    explicit LineModeRun(const std::string& input)
    {
        EXPECT_EQ(0, pipe(m_in));
        EXPECT_EQ(0, pipe2(m_out, O_NONBLOCK));
        EXPECT_EQ(0, pipe2(m_err, O_NONBLOCK));
        EXPECT_EQ(static_cast<ssize_t>(input.size()), write(m_in[1], input.data(), input.size()));
        close(m_in[1]);
    }
    ~LineModeRun()
    {
        for (int fd : {m_in[0], m_out[0], m_out[1], m_err[0], m_err[1]})
            close(fd);
    }
    int Input() const { return m_in[0]; }
    int Output() const { return m_out[1]; }
    int Errors() const { return m_err[1]; }
    std::string Printed() const { return Drain(m_out[0]); }
    std::string Complaints() const { return Drain(m_err[0]); }

private:
    static std::string Drain(int fd)
    {
        std::string text;
        char bytes[4096];
        ssize_t got;
        while ((got = read(fd, bytes, sizeof bytes)) > 0)
            text.append(bytes, static_cast<size_t>(got));
        return text;
    }
    int m_in[2], m_out[2], m_err[2];
};

TEST(TtyLineMode, PrintsEachNewTextAndTakesMnemonicsAndNamedCommands)
{
    LineModeRun run("x\nS\nabout\n  s  \nq\n");
    TtyUi ui(TestResources(), TtyUi::LINES, run.Input(), run.Output(), run.Errors());
    ui.NameSystemCommand("About", 0x10);
    ScriptedDialog dialog(TEST_MAIN_DIALOG);
    int starts = 0, abouts = 0;
    dialog.onInit = [](ScriptedDialog& self) {
        self.GetSystemMenu(FALSE)->AppendMenu(MF_STRING, 0x10, "情報(&A)");
        return TRUE;
    };
    dialog.onMessage = [&](ScriptedDialog& self, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        if (message == WM_COMMAND && LOWORD(wParam) == TEST_START) {
            self.text.SetWindowText("開始 " + std::to_string(++starts) + "\n二行目");
            // Disabled after the first press: the second "s" is refused.
            self.start.EnableWindow(FALSE);
            return true;
        }
        abouts += message == WM_SYSCOMMAND && wParam == 0x10;
        return message == WM_SYSCOMMAND;
    };
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ(1, starts);
    EXPECT_EQ(1, abouts);
    EXPECT_EQ("== テスト ==\n待機中\n開始 1\n二行目\n", run.Printed());
    EXPECT_EQ("unknown input: x\nnot available now: s\n", run.Complaints());
}

TEST(TtyLineMode, EndOfInputPressesAnEnabledOkOnceForEachDialog)
{
    LineModeRun run("");
    TtyUi ui(TestResources(), TtyUi::LINES, run.Input(), run.Output(), run.Errors());
    ScriptedDialog lower(TEST_MAIN_DIALOG);
    ScriptedDialog upper(TEST_PROGRESS_DIALOG);
    std::vector<std::string> events;
    lower.onInit = [](ScriptedDialog& self) {
        self.PostMessage(WM_TEST_STEP);
        return TRUE;
    };
    lower.onMessage = [&](ScriptedDialog&, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message != WM_TEST_STEP)
            return false;
        events.push_back("upper " + std::to_string(upper.DoModal()));
        return true;
    };
    // The upper dialog has no OK: it waits, for its timer, however long the input has been closed.
    upper.onInit = [](ScriptedDialog& self) {
        self.SetTimer(1, 20);
        return TRUE;
    };
    upper.onMessage = [&](ScriptedDialog& self, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message != WM_TIMER)
            return false;
        events.push_back("timer");
        self.EndDialog(9);
        return true;
    };
    EXPECT_EQ(IDOK, lower.DoModal());
    EXPECT_EQ((std::vector<std::string>{"timer", "upper 9"}), events);
    EXPECT_EQ("== テスト ==\n待機中\n== 進行 ==\n更新しています\n", run.Printed());
}

TEST(TtyLineMode, AnInputDescriptorThatIsNotOpenIsTheEndOfInput)
{
    // In a process of its own: a wait that kept spinning on it is ended by SIGALRM and fails.
    ChildProcess run([](ChildProcess&) {
        alarm(20);
        LineModeRun pipes("");
        int notOpen = dup(pipes.Input());
        close(notOpen);
        TtyUi ui(TestResources(), TtyUi::LINES, notOpen, pipes.Output(), pipes.Errors());
        ui.IgnoreHostDevices();
        ScriptedDialog dialog(TEST_MAIN_DIALOG);
        return dialog.DoModal() == IDOK;
    });
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(0, run.Finish());
}

TEST(TtyLineMode, EscapeAndCloseAreTheDialogsToIgnore)
{
    LineModeRun run("esc\nclose\n");
    TtyUi ui(TestResources(), TtyUi::LINES, run.Input(), run.Output(), run.Errors());
    ScriptedDialog dialog(TEST_MAIN_DIALOG);
    dialog.ignoreCancel = true;
    int cancels = 0;
    dialog.onMessage = [&](ScriptedDialog&, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        cancels += message == WM_COMMAND && LOWORD(wParam) == IDCANCEL;
        return false;
    };
    // Both are cancel commands that the dialog ignores; the end of input then quits.
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ(2, cancels);
    EXPECT_EQ("", run.Complaints());
}

}  // namespace
