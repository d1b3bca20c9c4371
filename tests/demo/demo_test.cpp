// The demo: its options, and a whole demo on the headless backend (update, the unit's restart
// time, switching it off and on, the second probe, the transcript).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "app/res/portable_resources.h"
#include "app/res/resource.h"
#include "tools/demo/demo_run.h"
#include "ui/headless/headless_ui.h"
#include "unit/unit_table.h"

namespace {

TEST(DemoOptions, EachOptionAndTheRefusedValues)
{
    DemoOptions options;
    std::string error;
    EXPECT_TRUE(DemoParseOptions({}, &options, &error));
    EXPECT_EQ("QZV-57H", options.product);
    EXPECT_EQ("1.99", options.revision);
    EXPECT_EQ(DemoPlatform::NT, options.platform);
    EXPECT_EQ(DemoTransport::PASS_THROUGH, options.transport);
    EXPECT_EQ(DemoFaultKind::NONE, options.fault.kind);

    EXPECT_TRUE(DemoParseOptions({"--product=G", "--revision=1.50", "--slot=3", "--platform=9x", "--transport=usb",
                                  "--fault=call:17", "--transcript=a b.txt", "--restart-ms=0"},
                                 &options, &error))
        << error;
    EXPECT_EQ("QZV-57G", options.product);
    EXPECT_EQ("1.50", options.revision);
    EXPECT_EQ(3u, options.slot);
    EXPECT_EQ(DemoPlatform::WIN9X, options.platform);
    EXPECT_EQ(DemoTransport::USB, options.transport);
    EXPECT_EQ(DemoFaultKind::SYSTEM_CALL, options.fault.kind);
    EXPECT_EQ(17u, options.fault.nth);
    EXPECT_EQ("a b.txt", options.transcriptPath);
    EXPECT_EQ(0u, options.restartMs);

    for (const char* refused : {"--slot=4", "--slot=", "--revision=1.234", "--platform=xp", "--transport=scsi",
                                "--fault=sense:0", "--fault=sense", "--fault=burn:3", "--restart-ms=-1", "--product",
                                "--colour=red", "--product=QZV-57H-WITH-A-LONG-NAME"}) {
        DemoOptions untouched;
        error.clear();
        EXPECT_FALSE(DemoParseOption(refused, &untouched, &error)) << refused;
        EXPECT_FALSE(error.empty()) << refused;
    }
}

TEST(DemoOptions, WindowsCommandLineSplitsAtTheFirstTokenThatIsNoOption)
{
    std::vector<std::string> options;
    const char* rest = DemoSplitOptions("  --slot=1 \"--transcript=C:\\my files\\t.txt\"\t/c fw.mot --slot=2", &options);
    EXPECT_EQ((std::vector<std::string>{"--slot=1", "--transcript=C:\\my files\\t.txt"}), options);
    EXPECT_STREQ("/c fw.mot --slot=2", rest);

    options.clear();
    rest = DemoSplitOptions("--fault=unplug:3 -- --odd-name.bin", &options);
    EXPECT_EQ((std::vector<std::string>{"--fault=unplug:3"}), options);
    EXPECT_STREQ("--odd-name.bin", rest);
}

std::string ReadyPrefix(const std::string& current, const std::string& next)
{
    return "現在の ファームウェア バージョン: " + current + "\n更新   ファームウェア バージョン: " + next + "\n";
}

class DemoCourse : public ::testing::Test {
protected:
    void TearDown() override { UnitLayerClose(); }

    // A copy of a file of examples/ in the scratch folder, where the conversion may write.
    std::string Example(const std::string& name)
    {
        std::ifstream in(QZV_SOURCE_DIR "/examples/" + name, std::ios::binary);
        EXPECT_TRUE(in.good()) << name;
        std::ofstream(name, std::ios::binary) << std::string(std::istreambuf_iterator<char>(in), {});
        return name;
    }

    HeadlessUi ui{AppResources()};
    std::vector<std::string> remarks;
    DemoRemarks remark = [this](const std::string& text) { remarks.push_back(text); };
};

TEST_F(DemoCourse, TheSampleImageUpdatesTheUnitWhichRestartsAndShowsItsNewRevisionToASecondProbe)
{
    DemoOptions options;
    options.slot = 2;
    options.restartMs = 2000;
    options.transcriptPath = "transcript.txt";
    std::remove(options.transcriptPath.c_str());
    std::string image = Example("sample-new.mot");
    DemoScenario scenario(options);

    std::vector<std::string> texts;
    ui.WhenIdle([](HeadlessUi& u) { EXPECT_TRUE(u.Click(IDC_START_BUTTON)); });
    // The unit has saved and left, but the system says so only after its restart time.
    ui.WhenIdle([](HeadlessUi& u) {
        ASSERT_EQ(static_cast<UINT>(IDD_PROGRESS_DIALOG), u.TopTemplate());
        u.AdvanceTime(1999);
    });
    ui.WhenIdle([](HeadlessUi& u) {
        ASSERT_EQ(static_cast<UINT>(IDD_PROGRESS_DIALOG), u.TopTemplate());
        EXPECT_EQ(19, u.Top()->Find(IDC_PROGRESS_BAR)->position);
        u.AdvanceTime(1);
    });
    ui.WhenIdle([&](HeadlessUi& u) {
        texts.push_back(u.Text(IDC_MESSAGE_TEXT));
        u.Click(IDOK);
    });
    ui.WhenIdle([&](HeadlessUi& u) {
        texts.push_back(u.Text(IDC_MESSAGE_TEXT));
        EXPECT_TRUE(u.IsEnabled(IDC_START_BUTTON));
        u.Click(IDOK);
    });
    EXPECT_EQ(0, DemoRun(scenario, image.c_str(), remark));
    EXPECT_EQ(0u, ui.StepsLeft());
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ(0u, texts[0].find("ファームウェアの更新が終了しました。"));
    EXPECT_EQ(0u, texts[1].find(ReadyPrefix("2.12", "2.12")));
    EXPECT_EQ(0x8000u, scenario.Unit()->SavedImage().size());

    ASSERT_EQ(3u, remarks.size());
    EXPECT_EQ("demo: an emulated Windows NT machine with a simulated QZV-57H at revision 1.99 (version slot 2) on "
              "SCSI pass-through",
              remarks[0]);
    EXPECT_EQ("demo: the unit has left the system; switching it off and on: revision 1.99 -> 2.12", remarks[1]);

    // One transcript line for every command of both runs.
    std::ifstream in(options.transcriptPath);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(scenario.Unit()->Commands().size(), lines.size());
    const std::regex shape("([0-9A-F]{2} )+\\| (in|out|none) \\| [0-9]+ \\| [0-9a-f]{64} \\| (GOOD|CHECK .*)");
    for (const std::string& line : lines)
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
    EXPECT_EQ("demo: " + std::to_string(lines.size()) + " commands written to transcript.txt", remarks[2]);
}

TEST_F(DemoCourse, TheOldSampleUpdatesAnOldUnit)
{
    DemoOptions options;
    options.product = "QZV-57G";
    options.revision = "1.50";
    options.restartMs = 0;
    std::string image = Example("sample-old.bin");
    DemoScenario scenario(options);
    std::vector<std::string> texts;
    ui.WhenIdle([](HeadlessUi& u) { EXPECT_TRUE(u.Click(IDC_START_BUTTON)); });
    for (int run = 0; run < 2; ++run) {
        ui.WhenIdle([&](HeadlessUi& u) {
            texts.push_back(u.Text(IDC_MESSAGE_TEXT));
            u.Click(IDOK);
        });
    }
    EXPECT_EQ(0, DemoRun(scenario, image.c_str(), remark));
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ(0u, texts[0].find("ファームウェアの更新が終了しました。"));
    EXPECT_EQ(0u, texts[1].find(ReadyPrefix("1.52", "1.52")));
    // The odd file went out with its pad byte.
    EXPECT_EQ(0x4002u, scenario.Unit()->SavedImage().size());
}

TEST_F(DemoCourse, AFailedUpdateLeavesTheUnitInPlaceAndEndsWithoutASecondRun)
{
    DemoOptions options;
    options.product = "QZV-57G";
    options.revision = "1.50";
    // The probe sends four commands and Start four before the download.
    options.fault = {DemoFaultKind::UNIT_SENSE, 9};
    std::string image = Example("sample-old.bin");
    DemoScenario scenario(options);
    std::string text;
    ui.WhenIdle([](HeadlessUi& u) { EXPECT_TRUE(u.Click(IDC_START_BUTTON)); });
    ui.WhenIdle([&](HeadlessUi& u) {
        text = u.Text(IDC_MESSAGE_TEXT);
        u.Click(IDOK);
    });
    EXPECT_EQ(1, DemoRun(scenario, image.c_str(), remark));
    EXPECT_EQ("WRITE BUFFER コマンドが 0x44000004 を返しました。", text);
    EXPECT_EQ(1u, remarks.size());
    EXPECT_TRUE(scenario.Unit()->Present());
    EXPECT_EQ("1.50", scenario.Unit()->Config().revision);
}

}  // namespace
