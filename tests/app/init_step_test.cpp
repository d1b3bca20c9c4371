// The Init step: the command line, the usage text and convert-only mode. A unit is attached to an
// emulated machine throughout, to prove that none of this touches it.
#include <sys/stat.h>

#include "app_test_support.h"
#include "sim/machine/emulated_machine.h"

namespace {

class InitStep : public UpdaterRun {
protected:
    InitStep() : unit(machine.AttachUnit(SimUnitConfig(), NtSlot::Letter('E'))) {}

    void ExpectNoUnitTouched()
    {
        EXPECT_TRUE(unit.Commands().empty());
        EXPECT_EQ(0u, machine.OpenHandleCount());
    }

    EmulatedMachine machine;
    SimUnit& unit;
};

std::vector<unsigned char> SomeData()
{
    std::vector<unsigned char> data;
    for (unsigned i = 0; i < 40; ++i)
        data.push_back(static_cast<unsigned char>(i * 7));
    return data;
}

TEST_F(InitStep, RejectedCommandLinesShowTheUsageWithTheInternalName)
{
    for (const char* commandLine : {"a.mot b.mot", "-x", "-c+x", "-", "--c", "-v fw.mot"}) {
        SCOPED_TRACE(commandLine);
        EXPECT_EQ(1, Run(commandLine));
        EXPECT_EQ((std::vector<std::string>{USAGE_TEXT_FOR("qzvupdate")}), shown);
        EXPECT_FALSE(startEnabled);
        EXPECT_TRUE(quitEnabled);
        EXPECT_EQ(IDOK, focus);
    }
    ExpectNoUnitTouched();
}

TEST_F(InitStep, ConvertOnlyWithAGoodFileShowsBothTextsAndWritesTheBinary)
{
    WriteFile("good.mot", MotText(SomeData(), 0x10));
    RemoveFile("good.bin");
    EXPECT_EQ(0, Run("-c good.mot"));
    EXPECT_EQ((std::vector<std::string>{CONVERTING_TEXT("good.mot", "good.bin"),
                                        CONVERSION_FINISHED_TEXT("good.mot", "good.bin")}),
              shown);
    EXPECT_FALSE(startEnabled);
    std::vector<unsigned char> data = SomeData();
    EXPECT_EQ(std::string(0x10, '\xFF') + std::string(data.begin(), data.end()), ReadFile("good.bin"));
#ifdef _WIN32
    // On Windows "/" introduces a switch as well.
    EXPECT_EQ(0, Run("/c good.mot"));
    EXPECT_EQ(CONVERSION_FINISHED_TEXT("good.mot", "good.bin"), Last());
#endif
    ExpectNoUnitTouched();
}

TEST_F(InitStep, ConvertOnlyWithABadFileLeavesTheExistingOutputAlone)
{
    WriteFile("bad.mot", "S1130000285F245F2212226A000424290008237C2B\n");  // checksum off by one
    WriteFile("bad.bin", "the previous image");
    EXPECT_EQ(1, Run("-c bad.mot"));
    EXPECT_EQ((std::vector<std::string>{CONVERTING_TEXT("bad.mot", "bad.bin"),
                                        CONVERSION_FAILED_TEXT("bad.mot", "bad.bin")}),
              shown);
    EXPECT_EQ("the previous image", ReadFile("bad.bin"));
    EXPECT_FALSE(startEnabled);
    ExpectNoUnitTouched();
}

TEST_F(InitStep, ConvertOnlyWithoutAPathShowsTheUsage)
{
    EXPECT_EQ(1, Run("-c"));
    EXPECT_EQ((std::vector<std::string>{USAGE_TEXT_FOR("qzvupdate")}), shown);
    ExpectNoUnitTouched();
}

TEST_F(InitStep, ConvertOnlyOfABinaryFileNeverOpensItForWriting)
{
    RemoveFile("image.bin");
    WriteFile("Image.BIN", "an image that must survive");
    EXPECT_EQ(1, Run("-c Image.BIN"));
    EXPECT_EQ((std::vector<std::string>{CONVERSION_FAILED_TEXT("Image.BIN", "image.bin")}), shown);
#ifndef _WIN32
    // The file system tells the names apart: the lower-case name was not created either.
    EXPECT_FALSE(FileExists("image.bin"));
#endif
    EXPECT_EQ("an image that must survive", ReadFile("Image.BIN"));
    ExpectNoUnitTouched();
}

TEST_F(InitStep, MissingOrUnreadableInputsEndInTheFailureText)
{
    RemoveFile("missing.mot");
    EXPECT_EQ(1, Run("-c missing.mot"));
    EXPECT_EQ(CONVERSION_FAILED_TEXT("missing.mot", "missing.bin"), Last());
    EXPECT_FALSE(FileExists("missing.bin"));

#ifdef _WIN32
    CreateDirectoryA("folder.mot", nullptr);
#else
    mkdir("folder.mot", 0755);
#endif
    EXPECT_EQ(1, Run("-c folder.mot"));
    EXPECT_EQ(CONVERSION_FAILED_TEXT("folder.mot", "folder.bin"), Last());
    EXPECT_FALSE(FileExists("folder.bin"));
    ExpectNoUnitTouched();
}

TEST_F(InitStep, AnyOtherExtensionIsConvertedToTheBinaryName)
{
    WriteFile("fw.s19", MotText(SomeData()));
    RemoveFile("fw.bin");
    EXPECT_EQ(0, Run("-c fw.s19"));
    EXPECT_EQ(CONVERSION_FINISHED_TEXT("fw.s19", "fw.bin"), Last());
    EXPECT_TRUE(FileExists("fw.bin"));
}

TEST_F(InitStep, ACommandLineOver260BytesIsCutBeforeItIsParsed)
{
    WriteFile("good.mot", MotText(SomeData()));
    // A second path beyond byte 260 would be a usage error; it is never seen.
    std::string commandLine = "-c good.mot";
    commandLine += std::string(260 - commandLine.size(), ' ') + "second.mot";
    EXPECT_EQ(0, Run(commandLine.c_str()));
    EXPECT_EQ(CONVERSION_FINISHED_TEXT("good.mot", "good.bin"), Last());

    // A token cut in the middle is a different token: whole, "-cx" is an unknown switch (usage
    // text); cut after byte 260 it is the convert-only switch for the path before it.
    RemoveFile("good.bin");
    commandLine = "good.mot" + std::string(258 - 8, ' ') + "-cx";
    EXPECT_EQ(0, Run(commandLine.c_str()));
    EXPECT_EQ(CONVERSION_FINISHED_TEXT("good.mot", "good.bin"), Last());
    EXPECT_TRUE(FileExists("good.bin"));
    ExpectNoUnitTouched();
}

#ifndef _WIN32
// On Linux the command line and paths are UTF-8: the cut never splits a character, and Japanese
// paths show as they are.
TEST_F(InitStep, MultibyteCommandLinesAndPaths)
{
    std::string name;
    for (int i = 0; i < 100; ++i)
        name += "あ";
    std::string commandLine = "-c " + name + ".mot";
    EXPECT_EQ(1, Run(commandLine.c_str()));
    // 3 + 85 characters of 3 bytes = 258 bytes: the 86th character would pass byte 260.
    std::string kept = name.substr(0, 85 * 3);
    std::string expected = ".mot から .bin への変換に失敗しました。\n    入力ファイル: " + kept +
                           "\n    出力ファイル: " + kept + ".bin\n";
    EXPECT_EQ(expected, Last());

    WriteFile("ファーム.mot", MotText(SomeData()));
    EXPECT_EQ(0, Run("-c ファーム.mot"));
    EXPECT_EQ(CONVERSION_FINISHED_TEXT("ファーム.mot", "ファーム.bin"), Last());
    ExpectNoUnitTouched();
}
#endif

TEST_F(InitStep, EscapeAndCloseRequestsDoNothingAndOnlyQuitEnds)
{
    WriteFile("good.mot", MotText(SomeData()));
    ui.WhenIdle([](HeadlessUi& u) {
          u.PressEscape();
          u.RequestClose();
          EXPECT_FALSE(u.ChooseSystemCommand(SC_CLOSE));
      })
        .WhenIdle([](HeadlessUi& u) {
            EXPECT_EQ(1u, u.OpenDialogs());
            EXPECT_EQ(CONVERSION_FINISHED_TEXT("good.mot", "good.bin"), u.Text(IDC_MESSAGE_TEXT));
            EXPECT_FALSE(u.HasSystemCommand(SC_CLOSE));
            EXPECT_TRUE(u.HasSystemCommand(SC_MOVE));
            EXPECT_FALSE(u.Click(IDC_START_BUTTON));
            EXPECT_TRUE(u.Click(IDOK));
        });
    EXPECT_EQ(0, UiRunApplication(app, "-c good.mot"));
    EXPECT_EQ(0u, ui.StepsLeft());
    EXPECT_FALSE(ui.Stalled());
}

}  // namespace

namespace {

TEST_F(InitStep, WindowChoresIconsPaintingAndTheSystemMenu)
{
    WriteFile("good.mot", MotText(SomeData()));
    HICON icon = UiLoadIcon(IDR_MAINFRAME);
    ASSERT_NE(nullptr, icon);
    ui.WhenIdle([&](HeadlessUi& u) {
        ModelWindow& window = *u.Top();
        EXPECT_EQ(icon, window.Icon(ICON_BIG));
        EXPECT_EQ(icon, window.Icon(ICON_SMALL));
        EXPECT_EQ((std::vector<std::string>{"移動(&M)", "-", "-", "バージョン情報(&A)..."}), u.SystemMenuTexts());
        EXPECT_EQ(reinterpret_cast<LRESULT>(icon), window.SendMessage(WM_QUERYDRAGICON, 0, 0));
        // Not minimised: the default painting, no icon drawn.
        window.SendMessage(WM_PAINT, 0, 0);
        EXPECT_TRUE(window.DrawnIcons().empty());
        // Minimised: the icon centred in the client area (468 x 228 pixels here).
        window.SetIconic(true);
        window.SendMessage(WM_PAINT, 0, 0);
        ASSERT_EQ(1u, window.DrawnIcons().size());
        EXPECT_EQ((468 - 32 + 1) / 2, window.DrawnIcons()[0].x);
        EXPECT_EQ((228 - 32 + 1) / 2, window.DrawnIcons()[0].y);
        EXPECT_EQ(icon, window.DrawnIcons()[0].icon);
        u.Click(IDOK);
    });
    EXPECT_EQ(0, UiRunApplication(app, "-c good.mot"));
}

}  // namespace
