// The command line: its bounded copy, the parse into the record, and the file names formed from it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "image/command_line.h"
#include "platform/system_table.h"

namespace {

// A double-byte code page of the Shift-JIS kind, where any byte may follow a lead byte, so that a
// second byte can look like a separator, a dot or a backslash.
LPSTR WINAPI DoubleByteCharNext(LPCSTR text)
{
    auto* p = reinterpret_cast<const unsigned char*>(text);
    if (*p == 0)
        return const_cast<LPSTR>(text);
    bool lead = (p[0] >= 0x81 && p[0] <= 0x9F) || (p[0] >= 0xE0 && p[0] <= 0xFC);
    return const_cast<LPSTR>(text + (lead && p[1] ? 2 : 1));
}

class CommandLineTest : public ::testing::Test {
protected:
    void TearDown() override { SystemTableReset(); }

    // Copies text the way the application does and parses the copy.
    int Parse(const std::string& text)
    {
        ImageCopyCommandLine(m_copy, text.c_str());
        return ImageParseCommandLine(&m_record, m_copy);
    }

    void ExpectSwitches(int c, int r, int V, int W)
    {
        EXPECT_EQ(c, m_record.switchC);
        EXPECT_EQ(r, m_record.switchR);
        EXPECT_EQ(V, m_record.switchV);
        EXPECT_EQ(W, m_record.switchW);
    }

    char m_copy[IMAGE_COMMAND_LINE_SIZE];
    ImageCommandLine m_record;
};

TEST_F(CommandLineTest, CopyKeepsAtMost260BytesAndAlwaysTerminates)
{
    std::memset(m_copy, 'x', sizeof m_copy);
    ImageCopyCommandLine(m_copy, std::string(1000, 'a').c_str());
    EXPECT_EQ(std::string(260, 'a'), m_copy);

    ImageCopyCommandLine(m_copy, "fw.mot -c");
    EXPECT_STREQ("fw.mot -c", m_copy);
    ImageCopyCommandLine(m_copy, nullptr);
    EXPECT_STREQ("", m_copy);
}

TEST_F(CommandLineTest, CopyDropsADoubleByteCharacterThatWouldNotFitWhole)
{
    g_sys.CharNextA = DoubleByteCharNext;
    // The lead byte at 259 would need byte 260: the character is dropped.
    ImageCopyCommandLine(m_copy, (std::string(259, 'a') + "\x95\x5C" + "b").c_str());
    EXPECT_EQ(std::string(259, 'a'), m_copy);
    // Ending exactly at byte 260 it is kept.
    ImageCopyCommandLine(m_copy, (std::string(258, 'a') + "\x95\x5C" + "b").c_str());
    EXPECT_EQ(std::string(258, 'a') + "\x95\x5C", m_copy);
}

#ifndef _WIN32
TEST_F(CommandLineTest, LinuxCopyAndJoinNeverSplitAUtf8Character)
{
    const std::string kana = "\xE3\x81\x82";  // three bytes
    ImageCopyCommandLine(m_copy, (std::string(258, 'a') + kana).c_str());
    EXPECT_EQ(std::string(258, 'a'), m_copy);
    ImageCopyCommandLine(m_copy, (std::string(257, 'a') + kana + "z").c_str());
    EXPECT_EQ(std::string(257, 'a') + kana, m_copy);
    // Bytes that form no character are characters of their own.
    ImageCopyCommandLine(m_copy, (std::string(259, 'a') + "\xE3\x41").c_str());
    EXPECT_EQ(std::string(259, 'a') + "\xE3", m_copy);

    std::string first(200, 'p'), second = std::string(56, 'q') + kana + "tail";
    const char* arguments[] = {first.c_str(), "-c", second.c_str()};
    ImageJoinArguments(m_copy, 3, arguments);
    // 200 + 1 + 2 + 1 + 56 = 260: the kana would end at byte 263 and is dropped.
    EXPECT_EQ(first + " -c " + std::string(56, 'q'), m_copy);

    const char* parts[] = {"fw.mot", "", "-V"};
    ImageJoinArguments(m_copy, 3, parts);
    EXPECT_STREQ("fw.mot  -V", m_copy);
    ImageJoinArguments(m_copy, 0, nullptr);
    EXPECT_STREQ("", m_copy);
}
#endif

TEST_F(CommandLineTest, EmptyCommandLineIsAcceptedWithDefaults)
{
    std::memset(&m_record, 0x55, sizeof m_record);
    EXPECT_EQ(1, Parse(""));
    EXPECT_EQ(nullptr, m_record.imagePath);
    EXPECT_STREQ("", m_record.nameBuffer);
    ExpectSwitches(0, 0, 0, 1);
    EXPECT_EQ(1, Parse(" \t;; "));
    EXPECT_EQ(nullptr, m_record.imagePath);
    EXPECT_EQ(1, ImageParseCommandLine(&m_record, nullptr));
}

TEST_F(CommandLineTest, PathIsCutOutInPlaceAtBlankTabOrSemicolon)
{
    ASSERT_EQ(1, Parse("  fw.mot;-c\t-V+"));
    ASSERT_NE(nullptr, m_record.imagePath);
    EXPECT_STREQ("fw.mot", m_record.imagePath);
    EXPECT_GE(m_record.imagePath, m_copy);
    EXPECT_LT(m_record.imagePath, m_copy + sizeof m_copy);
    ExpectSwitches(1, 0, 1, 1);
}

TEST_F(CommandLineTest, SwitchValues)
{
    EXPECT_EQ(1, Parse("-c"));
    ExpectSwitches(1, 0, 0, 1);
    EXPECT_EQ(1, Parse("-c+"));
    EXPECT_EQ(1, m_record.switchC);
    EXPECT_EQ(1, Parse("-c -c-"));
    EXPECT_EQ(0, m_record.switchC);
    EXPECT_EQ(1, Parse("-V -W- -r+"));
    ExpectSwitches(0, 1, 1, 0);
    EXPECT_EQ(nullptr, m_record.imagePath);

    int32_t target = 7;
    EXPECT_EQ(0, ImageParseSwitchValue("x", &target));
    EXPECT_EQ(0, ImageParseSwitchValue("++", &target));
    EXPECT_EQ(0, ImageParseSwitchValue("-+", &target));
    EXPECT_EQ(7, target);
}

TEST_F(CommandLineTest, RejectedSwitches)
{
    for (const char* token : {"-v", "-C", "-w", "-R", "-", "--c", "-cx", "-c++", "-x", "-c="}) {
        EXPECT_EQ(0, Parse(token)) << token;
    }
}

TEST_F(CommandLineTest, RejectionStopsAtOnceAndKeepsWhatCameBefore)
{
    EXPECT_EQ(0, Parse("-c fw.mot -q -V"));
    EXPECT_EQ(1, m_record.switchC);
    EXPECT_STREQ("fw.mot", m_record.imagePath);
    EXPECT_EQ(0, m_record.switchV);  // after the rejected token: not examined

    EXPECT_EQ(0, Parse("a.mot b.mot"));
    EXPECT_STREQ("a.mot", m_record.imagePath);
    // A blank inside a path makes it two paths.
    EXPECT_EQ(0, Parse("my fw.mot"));
}

TEST_F(CommandLineTest, QuotesHaveNoMeaning)
{
    EXPECT_EQ(1, Parse("\"fw.mot\""));
    EXPECT_STREQ("\"fw.mot\"", m_record.imagePath);
    EXPECT_EQ(0, Parse("\"my fw.mot\""));
}

TEST_F(CommandLineTest, SlashIntroducesASwitchOnlyOnWindows)
{
#ifdef _WIN32
    EXPECT_EQ(1, Parse("/c"));
    ExpectSwitches(1, 0, 0, 1);
    EXPECT_EQ(nullptr, m_record.imagePath);
    EXPECT_EQ(0, Parse("/fw/new.mot"));
#else
    EXPECT_EQ(1, Parse("/c"));
    EXPECT_STREQ("/c", m_record.imagePath);
    ExpectSwitches(0, 0, 0, 1);
    EXPECT_EQ(1, Parse("/home/user/fw.mot -c"));
    EXPECT_STREQ("/home/user/fw.mot", m_record.imagePath);
    EXPECT_EQ(1, m_record.switchC);
#endif
}

TEST_F(CommandLineTest, OnlyTheFirst260BytesAreTokenized)
{
    std::string text = "fw.mot" + std::string(254, ' ') + " -q";
    EXPECT_EQ(1, Parse(text));
    EXPECT_STREQ("fw.mot", m_record.imagePath);
    EXPECT_EQ(0, Parse("fw.mot" + std::string(250, ' ') + " -q"));
}

TEST_F(CommandLineTest, SecondByteOfADoubleByteCharacterIsNoSeparator)
{
    g_sys.CharNextA = DoubleByteCharNext;
    char text[] = "a\x81;b\x81 .mot -c";
    ASSERT_EQ(1, ImageParseCommandLine(&m_record, text));
    EXPECT_STREQ("a\x81;b\x81 .mot", m_record.imagePath);
    EXPECT_EQ(1, m_record.switchC);
}

TEST_F(CommandLineTest, MotFileTest)
{
    EXPECT_EQ(1, ImageIsMotFile("fw.MOT"));
    EXPECT_EQ(1, ImageIsMotFile("fw.mot"));
    EXPECT_EQ(1, ImageIsMotFile("dir.bin/fw.Mot"));
    EXPECT_EQ(1, ImageIsMotFile(".mot"));
    EXPECT_EQ(0, ImageIsMotFile("fw.mot.bak"));
    EXPECT_EQ(0, ImageIsMotFile("fw.bin"));
    EXPECT_EQ(0, ImageIsMotFile("fw"));
    EXPECT_EQ(0, ImageIsMotFile("fw.mo"));
    EXPECT_EQ(0, ImageIsMotFile("fw.motx"));
    EXPECT_EQ(0, ImageIsMotFile("fw.mot/fw"));
    EXPECT_EQ(0, ImageIsMotFile(nullptr));
#ifdef _WIN32
    EXPECT_EQ(0, ImageIsMotFile("C:\\fw.mot\\fw"));
    EXPECT_EQ(1, ImageIsMotFile("C:\\FW\\NEW.MOT"));
#endif
}

TEST_F(CommandLineTest, BinNameReplacesTheExtensionOfTheLastComponent)
{
    char out[MAX_PATH];
    EXPECT_EQ(out, ImageMakeBinName(out, "C:\\FW\\NEW.MOT", ".bin"));
    EXPECT_STREQ("C:\\FW\\NEW.bin", out);
    ImageMakeBinName(out, "fw", ".bin");
    EXPECT_STREQ("fw.bin", out);
    ImageMakeBinName(out, "fw.mot.bak", ".bin");
    EXPECT_STREQ("fw.mot.bin", out);
    ImageMakeBinName(out, "dir.d/fw", ".bin");
    EXPECT_STREQ("dir.d/fw.bin", out);
    ImageMakeBinName(out, "fw.s19", ".bin");
    EXPECT_STREQ("fw.bin", out);

    char inPlace[MAX_PATH] = "dir/fw.mot";
    EXPECT_EQ(inPlace, ImageMakeBinName(inPlace, inPlace, ".bin"));
    EXPECT_STREQ("dir/fw.bin", inPlace);
}

TEST_F(CommandLineTest, BinNameThatDoesNotFitIsRefused)
{
    char out[MAX_PATH];
    std::string fits(255, 'a');
    ASSERT_NE(nullptr, ImageMakeBinName(out, fits.c_str(), ".bin"));
    EXPECT_EQ(259u, std::strlen(out));

    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(nullptr, ImageMakeBinName(out, std::string(256, 'a').c_str(), ".bin"));
    EXPECT_STREQ("", out);
    // A short extension makes the name longer than the path.
    EXPECT_EQ(nullptr, ImageMakeBinName(out, (std::string(257, 'a') + ".m").c_str(), ".bin"));
    EXPECT_EQ(nullptr, ImageMakeBinName(out, std::string(5000, 'a').c_str(), ".bin"));
    EXPECT_EQ(nullptr, ImageMakeBinName(out, nullptr, ".bin"));
}

TEST_F(CommandLineTest, BinNameDoesNotMistakeASecondByteForABackslash)
{
    g_sys.CharNextA = DoubleByteCharNext;
    char out[MAX_PATH];
    // 0x95 0x5C is one character: the dot belongs to the last component.
    ImageMakeBinName(out, "a.b\x95\x5C", ".bin");
    EXPECT_STREQ("a.bin", out);
}

TEST_F(CommandLineTest, DefaultNameFromTheProductIdentification)
{
    char out[IMAGE_DEFAULT_NAME_SIZE];
    EXPECT_EQ(out, ImageMakeDefaultName(out, "qzv-57g         ", 16));
    EXPECT_STREQ("qzv57g.bin", out);
    ImageMakeDefaultName(out, "qzv-57h         ", 16);
    EXPECT_STREQ("qzv57h.bin", out);
    // Sixteen characters without a blank, punctuation left out.
    ImageMakeDefaultName(out, "abc.def_ghi-jklmnopq", 16);
    EXPECT_STREQ("abcdefghijklm.bin", out);
    ImageMakeDefaultName(out, "abcdefghijklmnopqrst", 20);
    EXPECT_STREQ("abcdefghijklmnop.bin", out);
    EXPECT_EQ(20u, std::strlen(out));
    ImageMakeDefaultName(out, "qzv57g", 3);
    EXPECT_STREQ("qzv.bin", out);
    ImageMakeDefaultName(out, " qzv57g", 7);
    EXPECT_STREQ(".bin", out);
}

TEST_F(CommandLineTest, DefaultNameSkipsBytesOutsidePrintableAscii)
{
    char out[IMAGE_DEFAULT_NAME_SIZE];
    const char id[16] = {'q', '\0', 'z', '\x01', 'v', '\x7F', '\xE3', '/', '\\', '5', '\n', '7', ':', 'g', '\t', ' '};
    ImageMakeDefaultName(out, id, 16);
    EXPECT_STREQ("qzv57g.bin", out);
}

TEST_F(CommandLineTest, OutputNameLowering)
{
#ifdef _WIN32
    char name[] = "C:\\FW\\NEW.BIN";
    ImageLowerOutputName(name);
    EXPECT_STREQ("c:\\fw\\new.bin", name);
#else
    char name[] = "/tmp/Dir.X/FW.BIN";
    ImageLowerOutputName(name);
    EXPECT_STREQ("/tmp/Dir.X/fw.bin", name);
    // Full-width and Latin-1 capitals have lower-case forms of the same length; kana has none.
    char wide[] = "Dir/\xEF\xBC\xA6\xC3\x89\xE3\x81\x82.BIN";
    ImageLowerOutputName(wide);
    EXPECT_STREQ("Dir/\xEF\xBD\x86\xC3\xA9\xE3\x81\x82.bin", wide);
#endif
}

TEST_F(CommandLineTest, ConversionNameIsFormedLowered)
{
    ASSERT_EQ(1, Parse("FW.S19 -c"));
    ASSERT_EQ(IMAGE_CONVERSION_NAME_READY, ImageFormConversionName(&m_record));
    EXPECT_STREQ("fw.bin", m_record.nameBuffer);
    EXPECT_STREQ("FW.S19", m_record.imagePath);

#ifdef _WIN32
    ASSERT_EQ(1, Parse("C:\\FW\\NEW.MOT"));
    ASSERT_EQ(IMAGE_CONVERSION_NAME_READY, ImageFormConversionName(&m_record));
    EXPECT_STREQ("c:\\fw\\new.bin", m_record.nameBuffer);
#else
    ASSERT_EQ(1, Parse("/tmp/Dir/NEW.MOT"));
    ASSERT_EQ(IMAGE_CONVERSION_NAME_READY, ImageFormConversionName(&m_record));
    EXPECT_STREQ("/tmp/Dir/new.bin", m_record.nameBuffer);
#endif
}

TEST_F(CommandLineTest, ConversionNameRefusals)
{
    ASSERT_EQ(1, Parse("-c"));
    EXPECT_EQ(IMAGE_CONVERSION_NAME_NO_PATH, ImageFormConversionName(&m_record));

    for (const char* input : {"fw.bin", "FW.BIN", "fw.Bin"}) {
        ASSERT_EQ(1, Parse(input));
        std::strcpy(m_record.nameBuffer, "untouched");
        EXPECT_EQ(IMAGE_CONVERSION_NAME_IS_INPUT, ImageFormConversionName(&m_record)) << input;
        EXPECT_STREQ("untouched", m_record.nameBuffer);
    }

    // A 258-byte path without an extension: its output name would need 262 bytes.
    std::string longPath(258, 'a');
    char text[IMAGE_COMMAND_LINE_SIZE];
    std::strcpy(text, longPath.c_str());
    ASSERT_EQ(1, ImageParseCommandLine(&m_record, text));
    std::strcpy(m_record.nameBuffer, "untouched");
    EXPECT_EQ(IMAGE_CONVERSION_NAME_TOO_LONG, ImageFormConversionName(&m_record));
    EXPECT_STREQ("untouched", m_record.nameBuffer);
}

}  // namespace
