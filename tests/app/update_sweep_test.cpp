// Fault sweeps over one whole update (program start, probe, Start, download, the unit leaving), for
// each generation and each platform and transport the demo's emulated machine offers: the n-th
// system call through the seam fails, or the unit answers its n-th command with sense, for every n
// until the update goes through untouched. Every run must end in one of the program's texts, never
// send a WRITE BUFFER after a failed one or out of order, report success only for a saved image,
// and leave no mutex owned and nothing open once the unit layer is closed.
#include <cstdio>
#include <map>

#include "app_test_support.h"
#include "sim/unit/sample_image.h"
#include "tools/demo/demo_scenario.h"

namespace {

const BYTE WRITE_BUFFER = 0x3B;
const char* const FINISHED = "ファームウェアの更新が終了しました。";
const char* const INQUIRY_FAILED = "INQUIRY コマンドが 0x";
const char* const WRITE_BUFFER_FAILED = "WRITE BUFFER コマンドが 0x";
// HARDWARE ERROR 44/00 as the transports report it: with the sense key, or (the vendor USB driver's
// status block) ASC and ASCQ alone.
const char* const FAULT_STATUS_TEXTS[] = {"WRITE BUFFER コマンドが 0x44000004 を返しました。",
                                          "WRITE BUFFER コマンドが 0x44000000 を返しました。"};

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The kind of the text a run ended with: a short name for the counts, or empty when the text is
// none the program may show at the end of an update.
std::string Kind(const std::string& text)
{
    static const std::map<std::string, std::string> whole = {
        {WAIT_TEXT, "no new text"},
        {NEED_ADMINISTRATORS_TEXT, "4002"},
        {"ファイルの読み取りに失敗しました。", "4004"},
        {"ファイルのシークに失敗しました。", "4005"},
        {"無効なファイル サイズです。", "4006"},
        {NO_UNIT_TEXT, "4008"},
        // A unit counted twice, through its drive letter and its volume, when the drive letter's
        // volume name cannot be read.
        {"複数のユニットを検出しました。\n一度に更新可能なユニットは一台です。\n\n一台のユニットを接続して起動してください。", "4009"},
    };
    auto found = whole.find(text);
    if (found != whole.end())
        return found->second;
    if (StartsWith(text, "ファイル ") && text.find(" を開けません。") != std::string::npos)
        return "4003";
    if (StartsWith(text, INQUIRY_FAILED))
        return "4010";
    if (StartsWith(text, WRITE_BUFFER_FAILED))
        return "4017";
    if (StartsWith(text, FINISHED))
        return "4012";
    return "";
}

struct Outcome {
    std::string text;
    bool stalled = false;
    std::vector<SimCommand> commands;
    bool present = true;
    std::vector<uint8_t> saved;
    unsigned injected = 0;
    bool fired = false;  // the fault was reached
    std::string failedCall;
    size_t mutexesHeld = 0, handlesAfterClose = 0, allocationsAfterClose = 0;
};

Outcome RunUpdate(const DemoOptions& options, const char* image)
{
    DemoScenario scenario(options);
    Outcome outcome;
    {
        HeadlessUi ui(AppResources());
        // Start when the probe offers it; the text when the program waits for the user at the end.
        auto record = [&outcome](HeadlessUi& u) {
            if (u.IsEnabled(IDC_START_BUTTON)) {
                u.Click(IDC_START_BUTTON);
                return;
            }
            outcome.text = u.Text(IDC_MESSAGE_TEXT);
            u.Click(IDOK);
        };
        ui.WhenIdle(record).WhenIdle(record);
        UpdaterApp app;
        UiRunApplication(app, image);
        outcome.stalled = ui.Stalled();
    }
    EmulatedMachine& machine = scenario.Machine();
    outcome.commands = scenario.Unit()->Commands();
    outcome.present = scenario.Unit()->Present();
    outcome.saved = scenario.Unit()->SavedImage();
    outcome.injected = machine.Faults().Injected();
    if (options.fault.kind == DemoFaultKind::SYSTEM_CALL) {
        outcome.fired = outcome.injected > 0;
        if (outcome.fired)
            outcome.failedCall = machine.Faults().Log()[options.fault.nth - 1];
    } else {
        outcome.fired = outcome.commands.size() >= options.fault.nth;
    }
    outcome.mutexesHeld = machine.MutexesHeld();
    machine.Faults().Clear();
    UnitLayerClose();
    outcome.handlesAfterClose = machine.OpenHandleCount();
    outcome.allocationsAfterClose = machine.OutstandingAllocations();
    return outcome;
}

std::vector<std::vector<uint8_t>> WriteBufferCdbs(const std::vector<SimCommand>& commands)
{
    std::vector<std::vector<uint8_t>> cdbs;
    for (const SimCommand& command : commands)
        if (command.cdb[0] == WRITE_BUFFER)
            cdbs.push_back(command.cdb);
    return cdbs;
}

class UpdateSweep : public ::testing::Test {
protected:
    struct Generation {
        const char* name;
        const char* product;
        const char* revision;
        std::vector<uint8_t> callImage;   // long enough for every kind of call of the download
        std::vector<uint8_t> senseImage;  // long enough for every WRITE BUFFER position
    };

    void TearDown() override { UnitLayerClose(); }

    // Both generations with images of odd length. For the unit's commands the new image reaches all
    // three pieces; the system calls of a piece are the same for each, so two pieces do there, and
    // the many runs that compute the image's CRC take half the time.
    std::vector<Generation> Generations()
    {
        std::vector<uint8_t> old = SampleOldImage("1.60", 0x4001);
        return {{"old", "QZV-57G", "1.50", old, old},
                {"new", "QZV-57H", "1.99", SampleNewImage({"2.10", "2.11", "2.12", "2.13"}, 0x10001),
                 SampleNewImage({"2.10", "2.11", "2.12", "2.13"}, 0x20001)}};
    }

    // What every run must hold, whatever failed. `reference` is the untouched run.
    void ExpectSoundEnd(const Outcome& run, const Outcome& reference)
    {
        EXPECT_FALSE(run.stalled);
        std::string kind = Kind(run.text);
        EXPECT_NE("", kind) << run.text << run.failedCall;
        // The WRITE BUFFER commands sent are the first ones of the untouched run, in its order.
        std::vector<std::vector<uint8_t>> sent = WriteBufferCdbs(run.commands);
        std::vector<std::vector<uint8_t>> all = WriteBufferCdbs(reference.commands);
        ASSERT_LE(sent.size(), all.size());
        EXPECT_TRUE(std::equal(sent.begin(), sent.end(), all.begin()));
        // Nothing at all follows a WRITE BUFFER the unit refused.
        for (size_t i = 0; i < run.commands.size(); ++i) {
            if (run.commands[i].cdb[0] == WRITE_BUFFER && run.commands[i].result.scsiStatus != 0) {
                EXPECT_EQ(run.commands.size(), i + 1);
                EXPECT_EQ("4017", kind);
            }
        }
        // Success is reported only for an image the unit saved before it left; a failure before
        // the download sends none of it.
        if (kind == "4012") {
            EXPECT_EQ(all.size(), sent.size());
            EXPECT_FALSE(run.present);
            EXPECT_EQ(reference.saved, run.saved);
        }
        if (kind != "4012" && kind != "4017") {
            EXPECT_TRUE(sent.empty()) << run.text;
        }
        EXPECT_EQ(0u, run.mutexesHeld);
        EXPECT_EQ(0u, run.handlesAfterClose);
        EXPECT_EQ(0u, run.allocationsAfterClose);
    }

    void Report(const std::string& sweep, unsigned runs, const std::map<std::string, unsigned>& ends)
    {
        std::string line = sweep + ": " + std::to_string(runs) + " runs;";
        for (const auto& end : ends)
            line += " " + end.first + " x" + std::to_string(end.second);
        std::printf("%s\n", line.c_str());
        RecordProperty(sweep, line);
    }
};

TEST_F(UpdateSweep, EveryFailingSystemCallAndEveryCommandAnsweredWithSense)
{
    const DemoPlatform platforms[] = {DemoPlatform::NT, DemoPlatform::WIN9X};
    const DemoTransport transports[] = {DemoTransport::PASS_THROUGH, DemoTransport::USB};
    const DemoFaultKind sweeps[] = {DemoFaultKind::SYSTEM_CALL, DemoFaultKind::UNIT_SENSE};
    unsigned combinations = 0;
    for (DemoPlatform platform : platforms) {
        for (DemoTransport transport : transports) {
            if (!DemoCanAttach(platform, transport))
                continue;
            ++combinations;
            for (const Generation& generation : Generations()) {
                for (DemoFaultKind sweep : sweeps) {
                    std::string where = std::string(sweep == DemoFaultKind::SYSTEM_CALL ? "system calls, "
                                                                                        : "unit commands, ") +
                                        DemoPlatformName(platform) + ", " + DemoTransportName(platform, transport) +
                                        ", " + generation.name + " generation";
                    SCOPED_TRACE(where);
                    const std::vector<uint8_t>& image =
                        sweep == DemoFaultKind::SYSTEM_CALL ? generation.callImage : generation.senseImage;
                    WriteFile("sweep.bin", std::string(image.begin(), image.end()));
                    DemoOptions options;
                    options.product = generation.product;
                    options.revision = generation.revision;
                    options.platform = platform;
                    options.transport = transport;
                    options.restartMs = 0;
                    const Outcome reference = RunUpdate(options, "sweep.bin");
                    ASSERT_EQ("4012", Kind(reference.text)) << reference.text;
                    ExpectSoundEnd(reference, reference);

                    // Fault n; the sweep ends with the first run that it does not reach.
                    std::map<std::string, unsigned> ends;
                    unsigned n = 1;
                    for (;; ++n) {
                        SCOPED_TRACE("fault at " + std::to_string(n));
                        options.fault = {sweep, n};
                        Outcome run = RunUpdate(options, "sweep.bin");
                        if (!run.fired) {
                            EXPECT_EQ("4012", Kind(run.text));
                            break;
                        }
                        ExpectSoundEnd(run, reference);
                        if (sweep == DemoFaultKind::UNIT_SENSE && run.commands[n - 1].cdb[0] == WRITE_BUFFER) {
                            EXPECT_TRUE(run.text == FAULT_STATUS_TEXTS[0] || run.text == FAULT_STATUS_TEXTS[1])
                                << run.text;
                        }
                        ++ends[Kind(run.text)];
                        ASSERT_LT(n, 5000u);
                        if (HasFatalFailure())
                            return;
                    }
                    Report(where, n, ends);
                }
            }
        }
    }
    EXPECT_GE(combinations, 1u);
}

}  // namespace
