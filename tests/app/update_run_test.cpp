// The update run on the headless backend against an emulated NT machine: Start, the progress
// dialog's checks and download, its wait for the unit to leave, and the text each outcome leaves in
// the main dialog.
#include "app_test_support.h"
#include "sim/machine/emulated_machine.h"
#include "sim/unit/sample_image.h"
#include "sim/unit/transcript.h"

namespace {

#define UPDATE_FINISHED_TEXT                                                                                  \
    "ファームウェアの更新が終了しました。\n\nユニットの電源を一旦切り、再投入してください。\n\n"              \
    "両 LED が赤色点灯の場合は更新に失敗しています。\n電源再投入後に両 LED が橙色点灯の場合も更新に失敗して" \
    "います。\nこれらの場合は弊社での修理対応となります。\n\n"
#define SEVERAL_UNITS_TEXT \
    "複数のユニットを検出しました。\n一度に更新可能なユニットは一台です。\n\n一台のユニットを接続して起動してください。"

const BYTE WRITE_BUFFER = 0x3B;

SimUnitConfig Unit(const char* product, const char* revision)
{
    SimUnitConfig config;
    config.product = product;
    config.revision = revision;
    return config;
}

std::string Bytes(const std::vector<uint8_t>& image)
{
    return std::string(image.begin(), image.end());
}

// A command as the unit received it: CDB, direction and length (the transcript without its hash
// and outcome).
std::string Shape(const SimCommand& command)
{
    std::string line = SimTranscriptLine(command);
    size_t cut = line.find(" | ", line.find(" | ", line.find(" | ") + 1) + 1);
    return line.substr(0, cut);
}

class UpdateRun : public UpdaterRun {
protected:
    UpdateRun()
    {
        // The system's broadcasts reach the dialogs as they would on Windows.
        notices = machine.SubscribeDeviceChange(
            [](WPARAM event, LPARAM) { UiPostToAllDialogs(WM_DEVICECHANGE, event, 0); });
    }

    // Runs the program; when it first waits, `beforeStart` runs and Start is pressed; when it waits
    // again, the main dialog's state is recorded and Quit pressed.
    int RunUpdate(const char* commandLine, const std::function<void()>& beforeStart = [] {})
    {
        ui.WhenIdle([this, beforeStart](HeadlessUi& u) {
            ASSERT_TRUE(u.IsEnabled(IDC_START_BUTTON)) << u.Text(IDC_MESSAGE_TEXT);
            commandsBeforeStart = unit->Commands().size();
            beforeStart();
            EXPECT_TRUE(u.Click(IDC_START_BUTTON));
        });
        return Run(commandLine);
    }

    // What the unit received from Start on.
    std::vector<std::string> StartCommands() const
    {
        std::vector<std::string> shapes;
        for (size_t i = commandsBeforeStart; i < unit->Commands().size(); ++i)
            shapes.push_back(Shape(unit->Commands()[i]));
        return shapes;
    }

    bool AnyWriteBuffer(const SimUnit& which) const
    {
        for (const SimCommand& command : which.Commands())
            if (command.cdb[0] == WRITE_BUFFER)
                return true;
        return false;
    }

    EmulatedMachine machine;
    int notices = 0;
    SimUnit* unit = nullptr;
    size_t commandsBeforeStart = 0;
};

TEST_F(UpdateRun, OldGenerationTakesTheOddImageInOneCommandWithAnFFPadAndEndsWith4012)
{
    unit = &machine.AttachUnit(Unit("QZV-57G", "1.50"), NtSlot::Letter('E'));
    std::vector<uint8_t> image = SampleOldImage("1.60", 0x4001);
    WriteFile("old.bin", Bytes(image));

    EXPECT_EQ(0, RunUpdate("old.bin"));
    EXPECT_EQ(UPDATE_FINISHED_TEXT, Last());
    EXPECT_FALSE(startEnabled);
    EXPECT_TRUE(quitEnabled);
    EXPECT_EQ(IDOK, focus);
    EXPECT_EQ((std::vector<std::string>{
                  "12 00 00 00 24 00 | in | 36",  // the enumeration's identity check
                  "13 00 00 00 04 00 | in | 4",   // the table's configuration command
                  "12 00 00 00 24 00 | in | 36",  // and its INQUIRY
                  "12 00 00 00 24 00 | in | 36",  // the progress dialog's INQUIRY
                  "3B 00 00 00 00 00 00 00 40 02 | out | 16386",
              }),
              StartCommands());
    image.push_back(0xFF);
    EXPECT_EQ(image, unit->Commands().back().dataOut);
    EXPECT_FALSE(unit->Present());
    // Switched off and on, the unit runs the new firmware.
    machine.PowerCycle(*unit);
    EXPECT_EQ("1.60", unit->Config().revision);
}

TEST_F(UpdateRun, NewGenerationSendsHeaderAndPiecesHighestFirstAndSavesLast)
{
    unit = &machine.AttachUnit(Unit("QZV-57H", "1.99"), NtSlot::Letter('E'));
    std::vector<uint8_t> image = SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x20001);
    WriteFile("new.bin", Bytes(image));

    EXPECT_EQ(0, RunUpdate("new.bin"));
    EXPECT_EQ(UPDATE_FINISHED_TEXT, Last());
    EXPECT_FALSE(startEnabled);
    EXPECT_EQ(IDOK, focus);
    std::vector<std::string> commands = StartCommands();
    ASSERT_EQ(8u, commands.size());
    EXPECT_EQ((std::vector<std::string>{
                  "3B 00 01 00 00 00 00 00 08 00 | out | 8",
                  "3B 00 00 02 00 00 00 00 02 00 | out | 2",
                  "3B 00 00 01 00 00 01 00 00 00 | out | 65536",
                  "3B 05 00 00 00 00 01 00 00 00 | out | 65536",
              }),
              std::vector<std::string>(commands.begin() + 4, commands.end()));
    // The odd length is sent with its pad byte, 0xFF, in the highest piece.
    const SimCommand& highest = unit->Commands()[commandsBeforeStart + 5];
    EXPECT_EQ((std::vector<uint8_t>{image[0x20000], 0xFF}), highest.dataOut);
    EXPECT_EQ(image, unit->SavedImage());
}

TEST_F(UpdateRun, UnitGoneOrASecondUnitBeforeStartEndsTheRunWithoutADownload)
{
    unit = &machine.AttachUnit(Unit("QZV-57H", "2.00"), NtSlot::Letter('E'));
    WriteFile("new.bin", Bytes(SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x4000)));

    EXPECT_EQ(1, RunUpdate("new.bin", [this] { machine.Unplug(*unit); }));
    EXPECT_EQ(NO_UNIT_TEXT, Last());
    EXPECT_FALSE(startEnabled);
    EXPECT_EQ(IDOK, focus);
    EXPECT_EQ(0u, unit->CommandsWhileAbsent());

    machine.Replug(*unit);
    SimUnit* second = nullptr;
    EXPECT_EQ(1, RunUpdate("new.bin", [&] { second = &machine.AttachUnit(Unit("QZV-57G", "1.50"), NtSlot::Letter('F')); }));
    EXPECT_EQ(SEVERAL_UNITS_TEXT, Last());
    EXPECT_FALSE(AnyWriteBuffer(*unit));
    EXPECT_FALSE(AnyWriteBuffer(*second));
}

TEST_F(UpdateRun, AUnitOfTheOtherGenerationAttachedBeforeStartGetsNoImage)
{
    // The probe checks the image for the unit it finds; the user then attaches a unit of the other
    // generation in its place and presses Start. No procedure sends an image of the other layout.
    unit = &machine.AttachUnit(Unit("QZV-57H", "1.99"), NtSlot::Letter('E'));
    WriteFile("new.bin", Bytes(SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x4000)));
    SimUnit* older = nullptr;
    EXPECT_EQ(1, RunUpdate("new.bin", [&] {
        machine.Unplug(*unit);
        older = &machine.AttachUnit(Unit("QZV-57G", "1.50"), NtSlot::Letter('F'));
    }));
    EXPECT_EQ("WRITE BUFFER コマンドが 0x00000005 を返しました。", Last());
    EXPECT_FALSE(AnyWriteBuffer(*older));

    machine.Unplug(*older);
    unit = &machine.AttachUnit(Unit("QZV-57G", "1.50"), NtSlot::Letter('G'));
    WriteFile("old.bin", Bytes(SampleOldImage("1.60", 0x4000)));
    SimUnit* newer = nullptr;
    EXPECT_EQ(1, RunUpdate("old.bin", [&] {
        machine.Unplug(*unit);
        newer = &machine.AttachUnit(Unit("QZV-57H", "2.00"), NtSlot::Letter('H'));
    }));
    EXPECT_EQ("WRITE BUFFER コマンドが 0x00000005 を返しました。", Last());
    EXPECT_FALSE(AnyWriteBuffer(*newer));
}

TEST_F(UpdateRun, FailedInquiryAtStartShowsItsStatusAndSendsNothingMore)
{
    unit = &machine.AttachUnit(Unit("QZV-57H", "2.00"), NtSlot::Letter('E'));
    WriteFile("new.bin", Bytes(SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x4000)));
    // Start's fourth command is the progress dialog's own INQUIRY (the enumeration sends three).
    EXPECT_EQ(1, RunUpdate("new.bin", [this] { unit->FailCommandWithSense(4, 0x04, 0x44, 0x00); }));
    EXPECT_EQ("INQUIRY コマンドが 0x44000004 を返しました。", Last());
    EXPECT_EQ(4u, StartCommands().size());
    EXPECT_TRUE(unit->Present());
}

TEST_F(UpdateRun, TheProgressDialogWaitsForAUnitThatStaysAndEndsWhenOnlyGarbageAnswers)
{
    // The notices are the test's own here: the unit comes straight back after its save, before the
    // system says anything, so it never seems to leave.
    machine.UnsubscribeDeviceChange(notices);
    unit = &machine.AttachUnit(Unit("QZV-57G", "1.50"), NtSlot::Letter('E'));
    WriteFile("old.bin", Bytes(SampleOldImage("1.60", 0x4000)));
    unsigned callsBefore = 0;
    ui.WhenIdle([&](HeadlessUi& u) { EXPECT_TRUE(u.Click(IDC_START_BUTTON)); });
    // The dialog is already waiting when the unit comes back: a notice with the unit answering
    // again does not end it, nor does any way a user might try to close it.
    ui.WhenIdle([&](HeadlessUi& u) {
        ASSERT_EQ(static_cast<UINT>(IDD_PROGRESS_DIALOG), u.TopTemplate());
        EXPECT_FALSE(u.HasSystemCommand(SC_CLOSE));
        machine.PowerCycle(*unit);
        u.DeviceChange(DBT_DEVICEREMOVECOMPLETE);
        u.DeviceChange(DBT_DEVNODES_CHANGED);
        u.PressEscape();
        u.PressEnter();
        u.RequestClose();
        u.ChooseSystemCommand(SC_CLOSE);
    });
    ui.WhenIdle([&](HeadlessUi& u) {
        ASSERT_EQ(static_cast<UINT>(IDD_PROGRESS_DIALOG), u.TopTemplate());
        u.AdvanceTime(10000);
    });
    // The activity bar: one step every 100 ms, 100 after 100 steps, then round to 0.
    ui.WhenIdle([&](HeadlessUi& u) {
        EXPECT_EQ(100, u.Top()->Find(IDC_PROGRESS_BAR)->position);
        u.AdvanceTime(100);
    });
    ui.WhenIdle([&](HeadlessUi& u) {
        EXPECT_EQ(0, u.Top()->Find(IDC_PROGRESS_BAR)->position);
        // Another kind of notice makes no enumeration at all.
        callsBefore = machine.Faults().Calls();
        u.DeviceChange(DBT_DEVICEARRIVAL);
    });
    ui.WhenIdle([&](HeadlessUi& u) {
        EXPECT_EQ(callsBefore, machine.Faults().Calls());
        ASSERT_EQ(static_cast<UINT>(IDD_PROGRESS_DIALOG), u.TopTemplate());
        // A unit that answers the re-count's INQUIRY with garbage, through its drive letter and
        // through its volume, counts as absent.
        unit->FailCommandWithRawSense(1, {0xF0, 0x00});
        unit->FailCommandWithRawSense(2, {0x72, 0x05, 0x24});
        u.DeviceChange(DBT_DEVNODES_CHANGED);
    });
    EXPECT_EQ(0, Run("old.bin"));
    EXPECT_EQ(UPDATE_FINISHED_TEXT, Last());
    EXPECT_EQ(IDOK, focus);
    EXPECT_EQ(0u, ui.StepsLeft());
}

TEST_F(UpdateRun, AProgressDialogThatCannotBeShownEndsTheRunWith4013AndNoCommand)
{
    unit = &machine.AttachUnit(Unit("QZV-57G", "1.50"), NtSlot::Letter('E'));
    WriteFile("old.bin", Bytes(SampleOldImage("1.60", 0x4000)));
    std::vector<DialogTemplate> dialogs;
    for (size_t i = 0; i < AppResources().dialogCount; ++i)
        if (AppResources().dialogs[i].id != IDD_PROGRESS_DIALOG)
            dialogs.push_back(AppResources().dialogs[i]);
    ResourceTable withoutProgress = AppResources();
    withoutProgress.dialogs = dialogs.data();
    withoutProgress.dialogCount = dialogs.size();
    HeadlessUi headless(withoutProgress);
    std::string text;
    size_t probeCommands = 0;
    headless.WhenIdle([&](HeadlessUi& u) {
        probeCommands = unit->Commands().size();
        EXPECT_TRUE(u.Click(IDC_START_BUTTON));
    });
    headless.WhenIdle([&](HeadlessUi& u) {
        text = u.Text(IDC_MESSAGE_TEXT);
        EXPECT_FALSE(u.IsEnabled(IDC_START_BUTTON));
        EXPECT_EQ(IDOK, u.Focus());
        u.Click(IDOK);
    });
    UpdaterApp updater;
    EXPECT_EQ(1, UiRunApplication(updater, "old.bin"));
    EXPECT_EQ("ファームウェアの更新に失敗しました。", text);
    EXPECT_EQ(probeCommands, unit->Commands().size());
}

TEST_F(UpdateRun, AClickWhileStartIsDisabledDoesNothing)
{
    unit = &machine.AttachUnit(Unit("QZV-57G", "1.50"), NtSlot::Letter('E'));
    WriteFile("old.bin", Bytes(SampleOldImage("1.60", 0x4000)));
    size_t commands = 0;
    ui.WhenIdle([](HeadlessUi& u) { EXPECT_TRUE(u.Click(IDC_START_BUTTON)); });
    ui.WhenIdle([&](HeadlessUi& u) {
        // Some systems deliver BN_CLICKED of a disabled button.
        commands = unit->Commands().size();
        machine.PowerCycle(*unit);
        u.Top()->PostMessage(WM_COMMAND, MAKEWPARAM(IDC_START_BUTTON, BN_CLICKED), 0);
    });
    EXPECT_EQ(0, Run("old.bin"));
    EXPECT_EQ(2u, shown.size());
    EXPECT_EQ(UPDATE_FINISHED_TEXT, Last());
    EXPECT_EQ(commands, unit->Commands().size());
}

}  // namespace
