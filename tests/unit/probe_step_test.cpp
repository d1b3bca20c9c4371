// The main dialog's probe step from start to the Ready state (or the failure text), headless, on an
// emulated Windows NT machine with simulated units: generation by revision, the version slot, the
// default image name, the conversion of an upper-case .MOT path, and every failure text on the way.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/res/portable_resources.h"
#include "app/res/resource.h"
#include "app/updater_app.h"
#include "sim/machine/emulated_machine.h"
#include "sim/unit/sample_image.h"
#include "support/qzv_units.h"
#include "ui/headless/headless_ui.h"
#include "unit/unit_table.h"

namespace {

const std::string NO_UNIT = "ユニットが見つかりませんでした。\n\nユニットを接続、電源を入れてから起動してください。";
const std::string SEVERAL_UNITS =
    "複数のユニットを検出しました。\n一度に更新可能なユニットは一台です。\n\n一台のユニットを接続して起動してください。";
const std::string INVALID_SIZE = "無効なファイル サイズです。";
const std::string INVALID_FIRMWARE = "無効なファームウェア ファイルです。";
const std::string READ_FAILED = "ファイルの読み取りに失敗しました。";
const std::string SEEK_FAILED = "ファイルのシークに失敗しました。";
const std::string PLEASE_WAIT = "お待ちください・・・";

// The first two lines of message 4011.
std::string Ready(const std::string& current, const std::string& update)
{
    return "現在の ファームウェア バージョン: " + current + "\n更新   ファームウェア バージョン: " + update + "\n\n";
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One S-record line: type, address of addressLength bytes, data, checksum.
std::string SRecord(char type, int addressLength, uint32_t address, const uint8_t* data, size_t count)
{
    std::vector<uint8_t> bytes;
    bytes.push_back(static_cast<uint8_t>(addressLength + count + 1));
    for (int i = addressLength - 1; i >= 0; --i)
        bytes.push_back(static_cast<uint8_t>(address >> (8 * i)));
    bytes.insert(bytes.end(), data, data + count);
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    bytes.push_back(static_cast<uint8_t>(~sum));
    std::string line = "S";
    line += type;
    char hex[3];
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line + "\r\n";
}

std::string SRecords(const std::vector<uint8_t>& image)
{
    const uint8_t header[] = {'f', 'w'};
    std::string text = SRecord('0', 2, 0, header, sizeof header);
    for (size_t offset = 0; offset < image.size(); offset += 32) {
        const size_t count = std::min<size_t>(32, image.size() - offset);
        text += SRecord('3', 4, static_cast<uint32_t>(offset), image.data() + offset, count);
    }
    return text + SRecord('7', 4, 0, nullptr, 0);
}

class ProbeStepTest : public ::testing::Test {
protected:
    void SetUp() override { UnitLayerClose(); }
    void TearDown() override
    {
        UnitLayerClose();
        const HostInterface empty = {};
        HostIoInstall(&empty);
    }

    struct Outcome {
        std::string text;
        bool startEnabled = false;
        UINT lastShown = 0;
    };

    // Runs the program with `commandLine` until it waits for the user, then presses Quit.
    Outcome Run(const char* commandLine)
    {
        HeadlessUi ui(AppResources());
        UpdaterApp app;
        Outcome outcome;
        ui.WhenIdle([&](HeadlessUi& idle) {
            outcome.text = idle.Text(IDC_MESSAGE_TEXT);
            outcome.startEnabled = idle.IsEnabled(IDC_START_BUTTON);
            idle.Click(IDOK);
        });
        UiRunApplication(app, commandLine);
        EXPECT_FALSE(ui.Stalled());
        return outcome;
    }

    static bool StartsWith(const std::string& text, const std::string& prefix)
    {
        return text.compare(0, prefix.size(), prefix) == 0;
    }

    EmulatedMachine machine{VER_PLATFORM_WIN32_NT};
};

TEST_F(ProbeStepTest, OldGenerationShowsTheOldLayoutsVersion)
{
    machine.AttachUnit(Qzv("QZV-57G", "1.98"), NtSlot::Letter('E'));
    WriteBytes("old.bin", SampleOldImage("1.A0", 0x9001));
    const Outcome outcome = Run("old.bin");
    EXPECT_TRUE(StartsWith(outcome.text, Ready("1.98", "1.A0"))) << outcome.text;
    EXPECT_TRUE(outcome.startEnabled);
    EXPECT_EQ(0u, machine.OpenHandleCount()) << "the probe closes the unit layer";
}

TEST_F(ProbeStepTest, NewGenerationShowsTheVersionOfTheUnitsSlot)
{
    WriteBytes("new.bin", SampleNewImage({"2.10", "2.11", "2.12", "2.13"}, 0x12345));
    const char* versions[] = {"2.10", "2.11", "2.12", "2.13"};
    for (uint32_t slot = 0; slot < 4; ++slot) {
        SCOPED_TRACE(slot);
        EmulatedMachine scenario(VER_PLATFORM_WIN32_NT);
        // Bits 13-14 select the slot; the other bits must not matter.
        scenario.AttachUnit(Qzv("QZV-57H", "2.00", (slot << 13) | 0xFFFF9FFFu), NtSlot::Letter('E'));
        const Outcome outcome = Run("new.bin");
        EXPECT_TRUE(StartsWith(outcome.text, Ready("2.00", versions[slot]))) << outcome.text;
        EXPECT_TRUE(outcome.startEnabled);
        UnitLayerClose();
    }
}

TEST_F(ProbeStepTest, RevisionOneNinetyNineIsTheNewGenerationAndOneNinetyEightTheOld)
{
    WriteBytes("new.bin", SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x8000));
    WriteBytes("old.bin", SampleOldImage("1.99", 0x8000));
    {
        EmulatedMachine scenario(VER_PLATFORM_WIN32_NT);
        scenario.AttachUnit(Qzv("QZV-57H", "1.99"), NtSlot::Letter('E'));
        EXPECT_TRUE(StartsWith(Run("new.bin").text, Ready("1.99", "2.00")));
        EXPECT_EQ(INVALID_FIRMWARE, Run("old.bin").text) << "an old image offered to a new unit";
    }
    {
        EmulatedMachine scenario(VER_PLATFORM_WIN32_NT);
        scenario.AttachUnit(Qzv("QZV-57H", "1.98"), NtSlot::Letter('E'));
        EXPECT_TRUE(StartsWith(Run("old.bin").text, Ready("1.98", "1.99")));
        EXPECT_EQ(INVALID_FIRMWARE, Run("new.bin").text) << "a new image offered to an old unit";
        WriteBytes("large.bin", SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x10002));
        EXPECT_EQ(INVALID_SIZE, Run("large.bin").text);
    }
}

TEST_F(ProbeStepTest, DefaultImageNameFollowsTheGeneration)
{
    WriteBytes("qzv57g.bin", SampleOldImage("1.90", 0x8000));
    WriteBytes("qzv57h.bin", SampleNewImage({"2.20", "2.21", "2.22", "2.23"}, 0x8000));
    {
        EmulatedMachine scenario(VER_PLATFORM_WIN32_NT);
        scenario.AttachUnit(Qzv("QZV-57G", "1.98"), NtSlot::Letter('E'));
        EXPECT_TRUE(StartsWith(Run("").text, Ready("1.98", "1.90")));
    }
    {
        // A G unit already at 1.99 takes the H product's image.
        EmulatedMachine scenario(VER_PLATFORM_WIN32_NT);
        scenario.AttachUnit(Qzv("QZV-57G", "1.99", 0x2000), NtSlot::Letter('E'));
        const Outcome outcome = Run("");
        EXPECT_TRUE(StartsWith(outcome.text, Ready("1.99", "2.21"))) << outcome.text;
        EXPECT_TRUE(outcome.startEnabled);
    }
}

TEST_F(ProbeStepTest, UpperCaseMotPathIsConvertedToItsLowerCaseBinAndLoaded)
{
    machine.AttachUnit(Qzv("QZV-57H", "2.00", 0x6000), NtSlot::Letter('E'));
    const std::vector<uint8_t> image = SampleNewImage({"3.00", "3.01", "3.02", "3.03"}, 0x20BC);
    std::remove("fw.bin");
    std::ofstream("FW.MOT", std::ios::binary) << SRecords(image);
    const Outcome outcome = Run("FW.MOT");
    EXPECT_TRUE(StartsWith(outcome.text, Ready("2.00", "3.03"))) << outcome.text;
    EXPECT_TRUE(outcome.startEnabled);
    EXPECT_EQ(image, ReadBytes("fw.bin"));
}

TEST_F(ProbeStepTest, VersionTextEndsAtANul)
{
    machine.AttachUnit(Qzv("QZV-57H", "2.00"), NtSlot::Letter('E'));
    std::vector<uint8_t> image = SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x8000);
    image[0x202C + 1] = 0;  // slot 0: "2", NUL, "00"
    // Not "nul.bin": that name is the NUL device on Windows.
    WriteBytes("stopped.bin", image);
    const std::string text = Run("stopped.bin").text;
    EXPECT_TRUE(StartsWith(text, Ready("2.00", "2"))) << text;
}

TEST_F(ProbeStepTest, NoUnitAndSeveralUnits)
{
    WriteBytes("new.bin", SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x8000));
    Outcome outcome = Run("new.bin");
    EXPECT_EQ(NO_UNIT, outcome.text);
    EXPECT_FALSE(outcome.startEnabled);

    machine.AttachUnit(Qzv("QZV-57H", "2.00"), NtSlot::Letter('E'));
    machine.AttachUnit(Qzv("QZV-57G", "1.98"), NtSlot::Letter('F'));
    outcome = Run("new.bin");
    EXPECT_EQ(SEVERAL_UNITS, outcome.text);
    EXPECT_FALSE(outcome.startEnabled);
    EXPECT_EQ(0u, machine.OpenHandleCount());
}

TEST_F(ProbeStepTest, InquiryFailureShowsItsStatus)
{
    SimUnit& unit = machine.AttachUnit(Qzv("QZV-57H", "2.00"), NtSlot::Letter('E'));
    WriteBytes("new.bin", SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x8000));
    // The enumeration's INQUIRY, the table build's configuration command and INQUIRY; then the probe's.
    unit.FailCommandWithSense(4, 0x02, 0x04, 0x01);
    const Outcome outcome = Run("new.bin");
    EXPECT_EQ("INQUIRY コマンドが 0x04010002 を返しました。", outcome.text);
    EXPECT_FALSE(outcome.startEnabled);
}

TEST_F(ProbeStepTest, ImageFailuresShowTheLoadersTexts)
{
    machine.AttachUnit(Qzv("QZV-57H", "2.00"), NtSlot::Letter('E'));
    EXPECT_EQ("ファイル missing.bin を開けません。", Run("missing.bin").text);

    WriteBytes("empty.bin", {});
    EXPECT_EQ(INVALID_SIZE, Run("empty.bin").text);
    std::vector<uint8_t> tooLarge(0x30001, 0);
    WriteBytes("huge.bin", tooLarge);
    EXPECT_EQ(INVALID_SIZE, Run("huge.bin").text);
    // Too short for the version slots, although its tag and length field are there.
    std::vector<uint8_t> cut = SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x20BC);
    cut.resize(0x2010);
    cut[0x2008] = 0, cut[0x2009] = 0, cut[0x200A] = 0x20, cut[0x200B] = 0x10;
    WriteBytes("cut.bin", cut);
    EXPECT_EQ(INVALID_SIZE, Run("cut.bin").text);

    WriteBytes("new.bin", SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x8000));
    machine.Faults().FailNthCall(1, 0, FaultRepeat::Once, "GetFileSize");
    EXPECT_EQ(SEEK_FAILED, Run("new.bin").text);
    machine.Faults().FailNthCall(1, 0, FaultRepeat::Once, "ReadFile");
    Outcome outcome = Run("new.bin");
    EXPECT_EQ(READ_FAILED, outcome.text);
    EXPECT_FALSE(outcome.startEnabled);
    machine.Faults().Clear();
    EXPECT_TRUE(Run("new.bin").startEnabled);
}

TEST_F(ProbeStepTest, ConfigurationFailureEndsWithoutANewText)
{
    SimUnit& unit = machine.AttachUnit(Qzv("QZV-57H", "2.00"), NtSlot::Letter('E'));
    WriteBytes("new.bin", SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x8000));
    // Enumeration: INQUIRY; build: configuration, INQUIRY; probe: INQUIRY, then the configuration.
    unit.FailCommandWithSense(5, 0x05, 0x24, 0x00);
    const Outcome outcome = Run("new.bin");
    EXPECT_EQ(PLEASE_WAIT, outcome.text);
    EXPECT_FALSE(outcome.startEnabled);
}

}  // namespace
