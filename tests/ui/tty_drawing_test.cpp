// The terminal's text handling, key decoding and dialog drawing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scripted_dialog.h"
#include "ui/headless/headless_ui.h"
#include "ui/tty/dialog_render.h"
#include "ui/tty/key_input.h"
#include "ui/tty/text_width.h"

namespace {

TEST(TtyText, WidthsOfJapaneseAndBrokenText)
{
    EXPECT_EQ(5, DisplayWidth("QZV-5"));
    EXPECT_EQ(20, DisplayWidth("お待ちください・・・"));
    EXPECT_EQ(4, DisplayWidth("ＡＢ"));
    // Each byte of a broken sequence counts as one replacement character.
    EXPECT_EQ(3, DisplayWidth("\xE3\x81" "a"));
    size_t at = 0;
    EXPECT_EQ(0xFFFDu, static_cast<unsigned>(Utf8Decode("\xC0\x80", &at)));  // overlong
    EXPECT_EQ(1u, at);
}

TEST(TtyText, SanitisingKeepsLineFeedsAndRemovesEscapes)
{
    EXPECT_EQ("a?[2Jb\nc d", SanitizeForTerminal("a\x1b[2Jb\nc\td"));
    EXPECT_EQ("x?y", SanitizeForTerminal("x\xC2\x9By"));  // C1 control
    EXPECT_EQ("\xEF\xBF\xBDz", SanitizeForTerminal("\xFFz"));
}

TEST(TtyText, WrappingNeverSplitsAWideCharacterAndDropsTrailingEmptyLines)
{
    EXPECT_EQ((std::vector<std::string>{"ab", "", "cd"}), WrapText("ab\n\ncd\n\n", 10));
    EXPECT_EQ((std::vector<std::string>{"あい", "うab"}), WrapText("あいうab", 5));
    EXPECT_EQ((std::vector<std::string>{"aあ", "い"}), WrapText("aあい", 4));
    EXPECT_EQ((std::vector<std::string>{}), WrapText("", 10));
    EXPECT_EQ("あい", FitToWidth("あいう", 5));
}

TEST(TtyKeys, SequencesMnemonicsAndALoneEscape)
{
    std::string bytes = "s\tQ\x1b[Z\x1b[C\r \x03\x0c\x1b" "a";
    std::vector<Key> keys = DecodeKeys(&bytes, false);
    ASSERT_EQ(10u, keys.size());
    EXPECT_EQ(Key::LETTER, keys[0].kind);
    EXPECT_EQ('s', keys[0].letter);
    EXPECT_EQ(Key::NEXT, keys[1].kind);
    EXPECT_EQ('Q', keys[2].letter);
    EXPECT_EQ(Key::PREVIOUS, keys[3].kind);
    EXPECT_EQ(Key::NEXT, keys[4].kind);
    EXPECT_EQ(Key::ENTER, keys[5].kind);
    EXPECT_EQ(Key::SPACE, keys[6].kind);
    EXPECT_EQ(Key::CLOSE, keys[7].kind);
    EXPECT_EQ(Key::REDRAW, keys[8].kind);
    EXPECT_EQ(Key::LETTER, keys[9].kind);  // Alt+A
    EXPECT_EQ('a', keys[9].letter);
    EXPECT_TRUE(bytes.empty());

    // An ESC at the end may start a sequence: it waits until no more bytes come.
    bytes = "\x1b";
    EXPECT_TRUE(DecodeKeys(&bytes, false).empty());
    EXPECT_EQ("\x1b", bytes);
    bytes += "[";
    EXPECT_TRUE(DecodeKeys(&bytes, false).empty());
    bytes += "D";
    keys = DecodeKeys(&bytes, false);
    ASSERT_EQ(1u, keys.size());
    EXPECT_EQ(Key::PREVIOUS, keys[0].kind);
    bytes = "\x1b";
    keys = DecodeKeys(&bytes, true);
    ASSERT_EQ(1u, keys.size());
    EXPECT_EQ(Key::ESCAPE, keys[0].kind);
    bytes = "\x1b\x1b";
    keys = DecodeKeys(&bytes, true);
    EXPECT_EQ(2u, keys.size());
}

// The drawing of the dialog on top, taken from inside its modal loop.
std::vector<std::string> DrawnWhileOpen(int columns, bool styled, const std::function<void(ScriptedDialog&)>& prepare)
{
    HeadlessUi ui(TestResources());
    ScriptedDialog dialog(TEST_MAIN_DIALOG);
    std::vector<std::string> lines;
    dialog.onInit = [&](ScriptedDialog& self) {
        prepare(self);
        return TRUE;
    };
    ui.WhenIdle([&](HeadlessUi& u) {
        lines = RenderDialog(*u.Top(), columns, styled);
        u.Click(IDOK);
    });
    dialog.DoModal();
    return lines;
}

TEST(TtyDrawing, FrameCaptionTextButtonsAndMenu)
{
    std::vector<std::string> lines = DrawnWhileOpen(80, false, [](ScriptedDialog& self) {
        self.text.SetWindowText("一行目\n二行目");
        self.start.EnableWindow(FALSE);
        Menu* menu = self.GetSystemMenu(FALSE);
        menu->AppendMenu(MF_STRING, 0x10, "情報(&A)...");
    });
    ASSERT_EQ(9u, lines.size());
    EXPECT_EQ(0u, lines[0].find("┌─ テスト "));
    EXPECT_EQ("│ 一行目", lines[2].substr(0, lines[2].find("目") + 3));
    EXPECT_NE(std::string::npos, lines[3].find("二行目"));
    EXPECT_NE(std::string::npos, lines[5].find("[ 開始(S) ]  [ 終了(Q) ] │"));
    EXPECT_EQ(0u, lines[7].find("└"));
    // The footer offers the system menu without Move.
    EXPECT_EQ("  閉じる(C)  情報(A)...", lines[8]);
    // Every line of the frame is as wide as the first.
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(DisplayWidth(lines[0]), DisplayWidth(lines[i])) << lines[i];
}

TEST(TtyDrawing, StylesMarkFocusDisabledAndMnemonics)
{
    std::vector<std::string> lines = DrawnWhileOpen(80, true, [](ScriptedDialog& self) {
        self.start.EnableWindow(FALSE);
        self.text.SetWindowText("\x1b[31mred?");
    });
    ASSERT_EQ(8u, lines.size());
    std::string buttons = lines[4];
    EXPECT_NE(std::string::npos, buttons.find("\x1b[2m[ 開始(\x1b[4mS\x1b[24m) ]\x1b[0m"));
    EXPECT_NE(std::string::npos, buttons.find("\x1b[7m[ 終了(\x1b[4mQ\x1b[24m) ]\x1b[0m"));
    // Text from outside never carries its own escape sequences to the terminal.
    EXPECT_NE(std::string::npos, lines[2].find("?[31mred?"));
}

TEST(TtyDrawing, LongLinesWrapToANarrowTerminal)
{
    std::string long_line(100, 'x');
    std::vector<std::string> lines = DrawnWhileOpen(40, false, [&](ScriptedDialog& self) { self.text.SetWindowText(long_line); });
    for (const std::string& line : lines)
        EXPECT_LE(DisplayWidth(line), 40) << line;
    EXPECT_EQ(40, DisplayWidth(lines[0]));
}

}  // namespace
