// Drawing only what changed: the differences between two frames, and a running progress bar in an
// interactive terminal session (through pipes).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "scripted_dialog.h"
#include "ui/tty/screen_update.h"
#include "ui/tty/tty_ui.h"

namespace {

using Lines = std::vector<std::string>;

TEST(TtyScreenUpdate, OnlyRowsThatChangedAreWrittenAndRowsNoLongerShownAreCleared)
{
    const Lines shown = {"frame", "text", "[==  ]", "buttons"};
    EXPECT_EQ("", ScreenUpdate(shown, shown, false));
    EXPECT_EQ("\x1b[3;1H\x1b[2K[=== ]", ScreenUpdate(shown, {"frame", "text", "[=== ]", "buttons"}, false));
    EXPECT_EQ("\x1b[2;1H\x1b[2Kother\x1b[3;1H\x1b[J", ScreenUpdate(shown, {"frame", "other"}, false));
    EXPECT_EQ("\x1b[5;1H\x1b[2Kmore", ScreenUpdate(shown, {"frame", "text", "[==  ]", "buttons", "more"}, false));
    EXPECT_EQ("\x1b[H\x1b[2Jframe\ntext\n", ScreenUpdate(shown, {"frame", "text"}, true));
    EXPECT_EQ("\x1b[H\x1b[2J", ScreenUpdate({}, {}, true));
}

TEST(TtyScreenUpdate, ARunningProgressBarRewritesItsOwnRowOnly)
{
    int in[2], out[2], err[2];
    ASSERT_EQ(0, pipe(in));
    ASSERT_EQ(0, pipe2(out, O_NONBLOCK));
    ASSERT_EQ(0, pipe2(err, O_NONBLOCK));
    {
        TtyUi ui(TestResources(), TtyUi::INTERACTIVE, in[0], out[1], err[1]);
        ui.IgnoreHostDevices();
        ScriptedDialog dialog(TEST_PROGRESS_DIALOG);
        int ticks = 0;
        dialog.onInit = [](ScriptedDialog& self) {
            self.bar.SetRange32(0, 10);
            self.SetTimer(1, 1);
            return TRUE;
        };
        dialog.onMessage = [&](ScriptedDialog& self, UINT message, WPARAM, LPARAM, LRESULT*) {
            if (message != WM_TIMER)
                return false;
            self.bar.SetPos(++ticks);
            if (ticks == 10)
                self.EndDialog(1);
            return true;
        };
        EXPECT_EQ(1, dialog.DoModal());
    }
    std::string written;
    char bytes[4096];
    ssize_t got;
    while ((got = read(out[0], bytes, sizeof bytes)) > 0)
        written.append(bytes, static_cast<size_t>(got));
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
        close(fd);

    size_t clears = 0;
    for (size_t at = written.find("\x1b[2J"); at != std::string::npos; at = written.find("\x1b[2J", at + 1))
        ++clears;
    EXPECT_EQ(1u, clears) << "the screen is cleared for the first frame only";
    std::set<std::string> rows;
    const std::regex rowStart("\x1b\\[([0-9]+);1H");
    for (std::sregex_iterator it(written.begin(), written.end(), rowStart), end; it != end; ++it)
        rows.insert((*it)[1]);
    EXPECT_EQ(1u, rows.size()) << "every later frame rewrites the bar's row alone";
}

}  // namespace
