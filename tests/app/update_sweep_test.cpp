// Fault sweeps over one whole update with the updater's dialogs (program start, probe, Start,
// download, the unit leaving), for each generation and each platform and transport the demo's
// emulated machine offers: the n-th system call through the seam fails, the unit answers its n-th
// command with sense, or the unit leaves after its n-th command. Every run must end in one of the
// program's texts; the shared sweep checks the rest (tests/support/update_sweep.h).
#include <map>

#include "app_test_support.h"
#include "support/update_sweep.h"

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

SweepEnd EndOfKind(const std::string& kind)
{
    if (kind.empty())
        return SweepEnd::INVALID;
    if (kind == "4012")
        return SweepEnd::UPDATED;
    if (kind == "4017")
        return SweepEnd::WRITE_BUFFER_FAILED;
    return SweepEnd::FAILED_BEFORE_DOWNLOAD;
}

// The program on the headless backend: Start when the probe offers it, then the text the program
// shows when it waits for the user at the end.
void RunDialogs(const SweepCase&, DemoScenario& scenario, SweepRun& run)
{
    std::string text;
    HeadlessUi ui(AppResources());
    auto record = [&text](HeadlessUi& u) {
        if (u.IsEnabled(IDC_START_BUTTON)) {
            u.Click(IDC_START_BUTTON);
            return;
        }
        text = u.Text(IDC_MESSAGE_TEXT);
        u.Click(IDOK);
    };
    ui.WhenIdle(record).WhenIdle(record);
    UpdaterApp app;
    UiRunApplication(app, "sweep.bin");

    run.kind = Kind(text);
    run.end = ui.Stalled() ? SweepEnd::INVALID : EndOfKind(run.kind);
    if (run.kind.empty())
        run.kind = text;
    // A WRITE BUFFER the unit refused is reported with the status of its sense.
    const std::vector<SimCommand>& commands = scenario.Unit()->Commands();
    if (!commands.empty() && commands.back().cdb[0] == WRITE_BUFFER && commands.back().result.scsiStatus != 0) {
        EXPECT_TRUE(text == FAULT_STATUS_TEXTS[0] || text == FAULT_STATUS_TEXTS[1]) << text;
    }
}

TEST(UpdateSweep, EveryFailingSystemCallEveryCommandAnsweredWithSenseAndTheUnitLeavingAtEachStep)
{
    SweepUpdates("qzvupdate", {FailingSystemCall(), CommandAnsweredWithSense(), UnitLeavingAfterCommand()},
                 RunDialogs);
}

}  // namespace
