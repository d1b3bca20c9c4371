// qzvctl update on the emulated machine: a whole update as a fleet tool sees it, the units it may not
// update, every refused command line and image, the confirmation, and its own time limit for the unit
// to leave, which runs on the machine's virtual clock. The fault sweeps are in
// qzvctl_update_sweep_test.cpp.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "qzvctl_fixture.h"
#include "sim/unit/sample_image.h"
#include "tools/demo/demo_scenario.h"
#include "update_report_check.h"

namespace {

const uint8_t WRITE_BUFFER = 0x3B;

void PutFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

struct UpdateResult {
    int code = -1;
    std::string err;
    JsonValue report;
};

UpdateResult Update(std::vector<std::string> arguments, SimScenario* scenario, const ToolConsole& console = {})
{
    arguments.insert(arguments.begin(), {"--json", "update"});
    std::ostringstream out, err;
    UpdateResult result;
    result.code = QzvctlMain(arguments, out, err, scenario, &console);
    result.err = err.str();
    result.report = ExpectSoundReport(out.str(), result.code);
    return result;
}

class QzvctlUpdate : public QzvctlTest {
protected:
    static SimScenarioOptions Units(const std::string& revision, uint32_t count = 1, uint32_t configuration = 0)
    {
        SimScenarioOptions options = Options(revision);
        options.units = count;
        options.configuration = configuration;
        return options;
    }
};

TEST_F(QzvctlUpdate, ConvertsIdentifiesSendsAndWaitsAndReportsItAll)
{
    {
        std::ifstream sample(QZV_SOURCE_DIR "/examples/sample-new.mot", std::ios::binary);
        std::ofstream("Fleet.MOT", std::ios::binary) << sample.rdbuf();
    }
    SimScenario scenario(Units("1.99", 1, 0x4000));  // version slot 2
    const UpdateResult run = Update({"Fleet.MOT", "--yes"}, &scenario);
    ASSERT_EQ(0, run.code) << run.err;

    const JsonValue& report = run.report;
    EXPECT_EQ("Fleet.MOT", report["image"].text);
    EXPECT_EQ("fleet.bin", report["convertedImage"].text);
    EXPECT_EQ(0u, report["unit"]["index"].Unsigned());
    EXPECT_EQ("host", report["unit"]["transport"].text);
    EXPECT_EQ("QZV-57H", report["unit"]["product"].text);
    EXPECT_EQ(2u, report["unit"]["slot"].Unsigned());
    EXPECT_EQ("1.99", report["versionBefore"].text);
    EXPECT_EQ("2.12", report["versionAfter"].text);
    EXPECT_EQ(4012u, report["messageId"].Unsigned());
    EXPECT_EQ(1000u, report["waitedMs"].Unsigned()) << "the unit had gone at the first count, a second on";
    EXPECT_EQ(120u, report["timeoutSeconds"].Unsigned());
    EXPECT_TRUE(report["signal"].IsNull());

    // What was reported is what the unit received, and it saved the converted image.
    const std::vector<SimCommand> sent = CommandsWithOpcode(scenario.Unit(0), WRITE_BUFFER);
    const std::vector<JsonValue>& reported = report["commands"].items;
    ASSERT_EQ(2u, sent.size());
    ASSERT_EQ(2u, reported.size());
    EXPECT_EQ("3b000100000000000800", reported[0]["cdb"].text);
    EXPECT_EQ("3b050000000000800000", reported[1]["cdb"].text);
    EXPECT_EQ(0x8000u, reported[1]["length"].Unsigned());
    std::ifstream converted("fleet.bin", std::ios::binary);
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(converted)), std::istreambuf_iterator<char>());
    EXPECT_EQ(image, scenario.Unit(0).SavedImage());
    EXPECT_FALSE(scenario.Unit(0).Present());
}

TEST_F(QzvctlUpdate, TheSummaryForPeopleEndsWithTheUpdatersText)
{
    PutFile("old.bin", SampleOldImage("1.70", 0x8001));
    SimScenario scenario(Units("1.50"));
    std::ostringstream out, err;
    const ToolConsole noTerminal;
    EXPECT_EQ(0, QzvctlMain({"update", "old.bin", "--yes", "--timeout", "30"}, out, err, &scenario, &noTerminal));
    EXPECT_EQ("unit 0: QZV-57H at revision 1.50, version slot 0, SCSI host interface\n"
              "image: old.bin, version 1.70 for this unit\n"
              "commands sent: 1, the last one saving\n"
              "outcome: updated (exit 0): the unit saved the image and left the system to restart\n"
              "\n"
              "ファームウェアの更新が終了しました。\n\nユニットの電源を一旦切り、再投入してください。\n\n"
              "両 LED が赤色点灯の場合は更新に失敗しています。\n電源再投入後に両 LED が橙色点灯の場合も更新に失敗しています。\n"
              "これらの場合は弊社での修理対応となります。\n\n",
              out.str());
    EXPECT_TRUE(Contains(err.str(), "waiting up to 30 s for it to leave")) << err.str();
}

struct BadLine {
    std::vector<std::string> arguments;
    const char* message;
};

TEST_F(QzvctlUpdate, BadCommandLinesAreRefusedWithAMessageExitCode2AndNothingSent)
{
    const BadLine lines[] = {
        {{"update", "--yes"}, "update: expected 1 arguments, got 0"},
        {{"update", "a.bin", "b.bin", "--yes"}, "update: expected 1 arguments, got 2"},
        {{"update", "a.bin", "--yes", "--timeout"}, "option --timeout needs a value"},
        {{"update", "a.bin", "--yes", "--timeout", "0"}, "bad --timeout 0"},
        {{"update", "a.bin", "--yes", "--timeout", "3601"}, "bad --timeout '3601'"},
        {{"update", "a.bin", "--yes", "--timeout", "1.5"}, "bad --timeout '1.5'"},
        {{"update", "a.bin", "--yes", "--yes"}, "option --yes given twice"},
        {{"update", "a.bin", "--yes", "--even"}, "update takes no option --even"},
        {{"update", "a.bin", "--yes", "--config", "1"}, "update takes no option --config"},
        {{"update", "a.bin", "--yes", "--unit", "64"}, "bad unit index '64'"},
        {{"update", "a.bin", "--yes", "--unit", "-1"}, "bad unit index '-1'"},
        {{"update", "a.bin", "--yes", "--bogus"}, "unknown option --bogus"},
        {{"update", "a.bin"}, "give --yes to update without asking"},
    };
    PutFile("a.bin", SampleNewImage({"2.10", "2.10", "2.10", "2.10"}));
    const ToolConsole noTerminal;
    for (const BadLine& line : lines) {
        std::string shown;
        for (const std::string& word : line.arguments)
            shown += "[" + word + "] ";
        SCOPED_TRACE(shown);
        SimScenario scenario(Units("1.99"));
        std::ostringstream out, err;
        EXPECT_EQ(2, QzvctlMain(line.arguments, out, err, &scenario, &noTerminal));
        EXPECT_EQ(0u, err.str().find("qzvctl: "));
        EXPECT_TRUE(Contains(err.str(), line.message)) << err.str();
        EXPECT_TRUE(out.str().empty());

        std::vector<std::string> json = line.arguments;
        json.insert(json.begin(), "--json");
        std::ostringstream jsonOut, jsonErr;
        const int code = QzvctlMain(json, jsonOut, jsonErr, &scenario, &noTerminal);
        const JsonValue report = ExpectSoundReport(jsonOut.str(), code);
        EXPECT_EQ("usage", report["outcome"].text);
        EXPECT_TRUE(Contains(report["error"].text, line.message)) << report["error"].text;
        EXPECT_TRUE(scenario.Unit(0).Commands().empty()) << "not even the enumeration runs";
    }
}

struct BadImage {
    const char* path;
    const char* revision;
    std::vector<unsigned> messages;  // the texts it may end with
    const char* words;
};

TEST_F(QzvctlUpdate, ImagesThatCannotBeSentAreRefusedWithExitCode5BeforeAnyWriteBuffer)
{
    std::vector<uint8_t> longer = SampleNewImage({"2.10", "2.10", "2.10", "2.10"}, 0x12344);
    longer.resize(longer.size() + 2, 0xFF);  // two bytes past its length field: the procedure refuses it
    PutFile("longer.bin", longer);
    PutFile("empty.bin", {});
    PutFile("old.bin", SampleOldImage("1.70"));
    PutFile("small-new.bin", SampleNewImage({"2.10", "2.10", "2.10", "2.10"}, 0x8000));
    std::vector<uint8_t> truncated = SampleNewImage({"2.10", "2.10", "2.10", "2.10"}, 0x12345);
    truncated.resize(0x3000);
    PutFile("truncated.bin", truncated);
    std::ofstream("broken.mot") << "S1130000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFC\nS1130010GG\n";

    const BadImage images[] = {
        {"missing.bin", "1.99", {4003}, "cannot open the image 'missing.bin'"},
        {".", "1.99", {4003, 4004, 4005, 4006}, "the image"},
        {"empty.bin", "1.99", {4006}, "size does not suit"},
        {"old.bin", "1.99", {4007}, "does not carry the identification"},
        {"small-new.bin", "1.50", {4007}, "does not carry the identification"},
        {"truncated.bin", "1.99", {4006}, "size does not suit"},
        {"broken.mot", "1.99", {4015}, "cannot be converted"},
        {"longer.bin", "1.99", {4017}, "the download procedure refuses this image"},
    };
    for (const BadImage& bad : images) {
        SCOPED_TRACE(bad.path);
        SimScenario scenario(Units(bad.revision));
        const UpdateResult run = Update({bad.path, "--yes"}, &scenario);
        EXPECT_EQ(5, run.code);
        const unsigned id = unsigned(run.report["messageId"].Unsigned());
        EXPECT_NE(bad.messages.end(), std::find(bad.messages.begin(), bad.messages.end(), id)) << id;
        EXPECT_TRUE(Contains(run.report["error"].text, bad.words)) << run.report["error"].text;
        EXPECT_TRUE(run.report["commands"].items.empty());
        EXPECT_TRUE(CommandsWithOpcode(scenario.Unit(0), WRITE_BUFFER).empty());
    }
    EXPECT_FALSE(std::ifstream("broken.bin").good()) << "a failed conversion leaves no output";
}

TEST_F(QzvctlUpdate, UnitsItMayNotUpdateEndWithTheirOwnExitCodes)
{
    PutFile("new.bin", SampleNewImage({"2.10", "2.11", "2.12", "2.13"}));
    {
        SimScenario none(Units("1.99", 0));
        const UpdateResult run = Update({"new.bin", "--yes"}, &none);
        EXPECT_EQ(3, run.code);
        EXPECT_EQ("no unit found", run.report["error"].text);
        EXPECT_TRUE(run.report["unit"].IsNull());
    }
    {
        SimScenario two(Units("1.99", 2));
        EXPECT_EQ(4, Update({"new.bin", "--yes"}, &two).code);
        const UpdateResult beyond = Update({"new.bin", "--yes", "--unit", "2"}, &two);
        EXPECT_EQ(3, beyond.code);
        EXPECT_EQ("no unit 2: 2 units are attached (0 to 1)", beyond.report["error"].text);
        EXPECT_TRUE(CommandsWithOpcode(two.Unit(0), WRITE_BUFFER).empty());
        EXPECT_TRUE(CommandsWithOpcode(two.Unit(1), WRITE_BUFFER).empty());

        // --unit names one of several: only that one is updated, and it has left when one unit fewer
        // answers.
        const UpdateResult named = Update({"new.bin", "--yes", "--unit", "1"}, &two);
        EXPECT_EQ(0, named.code) << named.report["error"].text;
        EXPECT_EQ(1u, named.report["unit"]["index"].Unsigned());
        EXPECT_TRUE(CommandsWithOpcode(two.Unit(0), WRITE_BUFFER).empty());
        EXPECT_FALSE(two.Unit(1).SavedImage().empty());
        EXPECT_TRUE(two.Unit(0).Present());
    }
    {
        SimScenario user(Units("1.99"));
        user.Machine().SetAdministrator(false);
        const UpdateResult run = Update({"new.bin", "--yes"}, &user);
        EXPECT_EQ(8, run.code);
        EXPECT_EQ(4002u, run.report["messageId"].Unsigned());
        EXPECT_TRUE(user.Unit(0).Commands().empty());
    }
    {
        // The unit's commands: the pass-through scan's INQUIRY, configuration and INQUIRY for the
        // table, then the probe's INQUIRY (answered with garbage here) and configuration command.
        SimScenario garbage(Units("1.99"));
        garbage.Unit(0).FailCommandWithRawSense(4, {0xFF, 0x01});
        const UpdateResult run = Update({"new.bin", "--yes"}, &garbage);
        EXPECT_EQ(1, run.code);
        EXPECT_EQ(4010u, run.report["messageId"].Unsigned());
        EXPECT_TRUE(CommandsWithOpcode(garbage.Unit(0), WRITE_BUFFER).empty());
    }
    {
        // The configuration command that picks the version slot refused: no text of the updater's own.
        SimScenario refused(Units("1.99"));
        refused.Unit(0).FailCommandWithSense(5, 0x05, 0x24, 0x00);
        const UpdateResult run = Update({"new.bin", "--yes"}, &refused);
        EXPECT_EQ(1, run.code);
        EXPECT_TRUE(run.report["messageId"].IsNull());
        EXPECT_TRUE(Contains(run.report["error"].text, "configuration command failed")) << run.report["error"].text;
    }
}

TEST_F(QzvctlUpdate, InATerminalItAsksFirstAndOnlyYesGoesOn)
{
    PutFile("old.bin", SampleOldImage("1.70"));
    const char* const refusals[] = {"n\n", "\n", "yes please\n", ""};
    for (const char* answer : refusals) {
        SCOPED_TRACE(answer);
        SimScenario scenario(Units("1.50"));
        std::istringstream input(answer);
        const UpdateResult run = Update({"old.bin"}, &scenario, ToolConsole{true, &input});
        EXPECT_EQ(9, run.code);
        EXPECT_TRUE(Contains(run.report["error"].text, "not confirmed")) << run.report["error"].text;
        EXPECT_TRUE(Contains(run.err, "update unit 0 (QZV-57H, revision 1.50) to version 1.70 with old.bin: 1 command, which saves"))
            << run.err;
        EXPECT_TRUE(CommandsWithOpcode(scenario.Unit(0), WRITE_BUFFER).empty());
    }
    SimScenario scenario(Units("1.50"));
    std::istringstream yes("y\n");
    EXPECT_EQ(0, Update({"old.bin"}, &scenario, ToolConsole{true, &yes}).code);
    EXPECT_FALSE(scenario.Unit(0).SavedImage().empty());
}

// After its save the unit stays in the system, answering, until `leavesAtMs` of virtual time.
void RestartSlowly(SimScenario& scenario, uint64_t leavesAtMs)
{
    EmulatedMachine& machine = scenario.Machine();
    SimUnit& unit = scenario.Unit(0);
    machine.Clock().At(1, [&machine, &unit] { machine.Replug(unit); });
    machine.Clock().At(leavesAtMs, [&machine, &unit] { machine.Unplug(unit); });
}

TEST_F(QzvctlUpdate, TheWaitForTheUnitToLeaveHasItsOwnLimitOnTheMachinesClock)
{
    PutFile("old.bin", SampleOldImage("1.70"));
    {
        SimScenario scenario(Units("1.50"));
        RestartSlowly(scenario, 2500);
        const uint64_t start = scenario.Machine().Clock().Now();
        const UpdateResult run = Update({"old.bin", "--yes", "--timeout", "5"}, &scenario);
        EXPECT_EQ(0, run.code);
        EXPECT_EQ(3000u, run.report["waitedMs"].Unsigned()) << "counted once a second until it had gone";
        EXPECT_EQ(3000u, scenario.Machine().Clock().Now() - start);
    }
    {
        SimScenario scenario(Units("1.50"));
        RestartSlowly(scenario, 2500);
        const UpdateResult run = Update({"old.bin", "--yes", "--timeout", "2"}, &scenario);
        EXPECT_EQ(7, run.code);
        EXPECT_TRUE(run.report["saved"].boolean);
        EXPECT_FALSE(run.report["left"].boolean);
        EXPECT_EQ(2000u, run.report["waitedMs"].Unsigned());
        EXPECT_FALSE(scenario.Unit(0).SavedImage().empty());
    }
}

// The vendor USB driver's status block carries ASC and ASCQ only, so a command the unit refuses
// without them passes as done. The update then cannot tell a refused save from an accepted one; its
// time limit ends the wait for a unit that never leaves, and the report says so.
TEST(QzvctlUpdateOverUsb, ARefusedSaveThatPassesTheDriverAsDoneEndsAtTheTimeLimit)
{
    PutFile("old.bin", SampleOldImage("1.70"));
    DemoOptions options;
    options.product = "QZV-57G";
    options.revision = "1.50";
    options.transport = DemoTransport::USB;
    DemoScenario scenario(options);
    // Commands: configuration and INQUIRY while counting, the probe's INQUIRY, then the same three
    // again before the download; the seventh is the one WRITE BUFFER.
    scenario.Unit()->FailCommandWithRawSense(7, {0x70, 0x00, 0x05});
    const UpdateResult run = Update({"old.bin", "--yes", "--timeout", "10"}, nullptr);
    EXPECT_EQ(7, run.code);
    EXPECT_EQ(10000u, run.report["waitedMs"].Unsigned());
    ASSERT_EQ(1u, run.report["commands"].items.size());
    EXPECT_EQ(0u, run.report["commands"].items[0]["status"].Unsigned());
    EXPECT_TRUE(scenario.Unit()->SavedImage().empty());
    EXPECT_TRUE(scenario.Unit()->Present());
}

// The same blind spot while the units are counted before the download: the table takes a revision
// from INQUIRY data the unit never sent. The update refuses a unit whose revision changed under it.
TEST(QzvctlUpdateOverUsb, ARevisionThatChangesBetweenCountAndInquirySendsNothing)
{
    PutFile("new.bin", SampleNewImage({"2.10", "2.11", "2.12", "2.13"}, 0x20001));
    DemoOptions options;
    options.transport = DemoTransport::USB;
    DemoScenario scenario(options);
    scenario.Unit()->FailCommandWithRawSense(6, {0x70, 0x00, 0x05});
    const UpdateResult run = Update({"new.bin", "--yes"}, nullptr);
    EXPECT_EQ(1, run.code);
    EXPECT_TRUE(Contains(run.report["error"].text, "two different revisions")) << run.report["error"].text;
    EXPECT_TRUE(CommandsWithOpcode(*scenario.Unit(), WRITE_BUFFER).empty());
}

TEST_F(QzvctlUpdate, TheUsageTextDocumentsEveryExitCode)
{
    const ToolRun help = RunTool({"--help"});
    ASSERT_EQ(0, help.exitCode);
    EXPECT_TRUE(Contains(help.out, "exit status:\n")) << help.out;
    for (int code = 0; code <= 9; ++code) {
        const std::string line = "  " + std::to_string(code) + "  " + DocumentedOutcome(code) + " ";
        EXPECT_TRUE(Contains(help.out, line)) << line;
    }
    EXPECT_TRUE(DocumentedOutcome(10).empty());
}

}  // namespace
