// The Probe step against an emulated Windows NT machine with simulated units: finding the one unit,
// its INQUIRY data, the generation and default image name, loading and identifying the image, and
// the unit layer closed again after every outcome.
#include <array>

#include "app_test_support.h"
#include "sim/machine/emulated_machine.h"
#include "sim/unit/sample_image.h"
#include "support/qzv_units.h"

namespace {

std::string Bytes(const std::vector<uint8_t>& image)
{
    return std::string(image.begin(), image.end());
}

std::string ReadyText(const std::string& current, const std::string& next)
{
    return "現在の ファームウェア バージョン: " + current + "\n更新   ファームウェア バージョン: " + next +
           "\n\n更新を開始する前に実行中のすべてのアプリケーションを終了してください。\n\n"
           "更新を開始する場合は [開始(S)] をクリックしてください。\n"
           "更新せずに本アプリケーションを終了する場合は [終了(Q)] をクリックしてください。";
}

class ProbeStep : public UpdaterRun {
protected:
    // Nothing of the unit layer stays open once the step is over.
    void ExpectLayerClosed() { EXPECT_EQ(0u, machine.OpenHandleCount()); }

    // The number of the step's own INQUIRY among the commands of a probe with this command line (the
    // last INQUIRY of a probe), counted from 1 as the unit's faults count.
    unsigned StepInquiryNumber(SimUnit& unit, const char* commandLine)
    {
        unit.ClearCommands();
        Run(commandLine);
        unsigned number = 0;
        for (size_t i = 0; i < unit.Commands().size(); ++i)
            if (unit.Commands()[i].cdb[0] == 0x12)
                number = static_cast<unsigned>(i + 1);
        EXPECT_GT(number, 1u);
        unit.ClearCommands();
        return number;
    }

    EmulatedMachine machine;
};

TEST_F(ProbeStep, OldGenerationUnitWithAnOldLayoutImageIsReady)
{
    machine.AttachUnit(Qzv("QZV-57G", "1.98"), NtSlot::Letter('E'));
    WriteFile("old.bin", Bytes(SampleOldImage("1.60")));
    EXPECT_EQ(0, Run("old.bin"));
    EXPECT_EQ((std::vector<std::string>{ReadyText("1.98", "1.60")}), shown);
    EXPECT_TRUE(startEnabled);
    EXPECT_TRUE(quitEnabled);
    ExpectLayerClosed();
}

TEST_F(ProbeStep, NewGenerationTakesTheDefaultImageOfTheHProductAndTheSlotOfItsConfiguration)
{
    // A 'G' unit at exactly 1.99 is of the new generation; slot 3 is bits 13-14 of its value.
    machine.AttachUnit(Qzv("QZV-57G", "1.99", 3u << 13), NtSlot::Letter('E'));
    RemoveFile("qzv57g.bin");
    WriteFile("qzv57h.bin", Bytes(SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x8000)));
    EXPECT_EQ(0, Run(""));
    EXPECT_EQ((std::vector<std::string>{ReadyText("1.99", "2.03")}), shown);
    EXPECT_TRUE(startEnabled);
    ExpectLayerClosed();
}

TEST_F(ProbeStep, AnUpperCaseMotPathIsConvertedToALowerCaseBinaryAndLoaded)
{
    machine.AttachUnit(Qzv("QZV-57H", "2.00", 1u << 13), NtSlot::Letter('E'));
    std::vector<uint8_t> image = SampleNewImage({"3.00", "3.01", "3.02", "3.03"}, 0x4000);
    RemoveFile("fw.bin");
    WriteFile("FW.MOT", MotText(std::vector<unsigned char>(image.begin(), image.end())));
    EXPECT_EQ(0, Run("FW.MOT"));
    EXPECT_EQ((std::vector<std::string>{CONVERTING_TEXT("FW.MOT", "fw.bin"), CONVERSION_FINISHED_TEXT("FW.MOT", "fw.bin"),
                                        ReadyText("2.00", "3.01")}),
              shown);
    EXPECT_EQ(Bytes(image), ReadFile("fw.bin"));
    ExpectLayerClosed();
}

TEST_F(ProbeStep, NoUnitOrTwoUnits)
{
    EXPECT_EQ(1, Run(""));
    EXPECT_EQ((std::vector<std::string>{NO_UNIT_TEXT}), shown);
    EXPECT_FALSE(startEnabled);
    ExpectLayerClosed();

    machine.AttachUnit(Qzv("QZV-57H", "2.00"), NtSlot::Letter('E'));
    machine.AttachUnit(Qzv("QZV-57G", "1.00"), NtSlot::Letter('F'));
    EXPECT_EQ(1, Run(""));
    EXPECT_EQ("複数のユニットを検出しました。\n一度に更新可能なユニットは一台です。\n\n一台のユニットを接続して起動してください。", Last());
    EXPECT_FALSE(startEnabled);
    ExpectLayerClosed();
}

TEST_F(ProbeStep, FailedInquiryShowsItsStatus)
{
    SimUnit& unit = machine.AttachUnit(Qzv("QZV-57H", "2.00"), NtSlot::Letter('E'));
    WriteFile("new.bin", Bytes(SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x4000)));
    unit.FailCommandWithSense(StepInquiryNumber(unit, "new.bin"), 0x05, 0x24, 0x00);
    EXPECT_EQ(1, Run("new.bin"));
    EXPECT_EQ("INQUIRY コマンドが 0x24000005 を返しました。", Last());
    EXPECT_FALSE(startEnabled);
    ExpectLayerClosed();
}

TEST_F(ProbeStep, WhatAShortInquiryAnswerLeavesOutReadsAsZeros)
{
    // A 2.00 unit whose INQUIRY in the step stops after the vendor (and "QZV-"): no product letter,
    // no revision. An all-zero revision is below 1.99, and zeros are shown and named as nothing. A
    // full probe has just run, so what the unit leaves out could otherwise pass for its 2.00.
    SimUnit& unit = machine.AttachUnit(Qzv("QZV-57H", "2.00"), NtSlot::Letter('E'));
    WriteFile("old.bin", Bytes(SampleOldImage("1.60")));
    unit.ShortenDataIn(StepInquiryNumber(unit, "old.bin"), 20);
    EXPECT_EQ(0, Run("old.bin"));
    EXPECT_EQ(ReadyText("", "1.60"), Last());

    RemoveFile("qzv.bin");
    unit.ShortenDataIn(StepInquiryNumber(unit, ""), 20);
    EXPECT_EQ(1, Run(""));
    EXPECT_EQ("ファイル qzv.bin を開けません。", Last());
    ExpectLayerClosed();
}

TEST_F(ProbeStep, ImageFailuresShowTheLoadersTexts)
{
    machine.AttachUnit(Qzv("QZV-57H", "2.00"), NtSlot::Letter('E'));
    RemoveFile("missing.bin");
    EXPECT_EQ(1, Run("missing.bin"));
    EXPECT_EQ("ファイル missing.bin を開けません。", Last());
    ExpectLayerClosed();

    WriteFile("empty.bin", "");
    EXPECT_EQ(1, Run("empty.bin"));
    EXPECT_EQ("無効なファイル サイズです。", Last());

    // An old-layout image for a new-generation unit.
    WriteFile("old.bin", Bytes(SampleOldImage("1.50")));
    EXPECT_EQ(1, Run("old.bin"));
    EXPECT_EQ("無効なファームウェア ファイルです。", Last());
    EXPECT_FALSE(startEnabled);
    ExpectLayerClosed();

    WriteFile("bad.mot", "S9");
    EXPECT_EQ(1, Run("bad.mot"));
    EXPECT_EQ(CONVERSION_FAILED_TEXT("bad.mot", "bad.bin"), Last());
    ExpectLayerClosed();
}

TEST_F(ProbeStep, UnreadableConfigurationEndsWithoutANewText)
{
    SimUnit& unit = machine.AttachUnit(Qzv("QZV-57H", "2.00"), NtSlot::Letter('E'));
    WriteFile("new.bin", Bytes(SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x4000)));
    ASSERT_EQ(0, Run("new.bin"));
    // The step's configuration command is the last command of a successful probe.
    ASSERT_EQ(0x13, unit.Commands().back().cdb[0]);
    unsigned last = static_cast<unsigned>(unit.Commands().size());
    unit.ClearCommands();
    unit.FailCommandWithSense(last, 0x04, 0x44, 0x00);
    EXPECT_EQ(1, Run("new.bin"));
    EXPECT_TRUE(shown.empty());  // "please wait" stays
    EXPECT_FALSE(startEnabled);
    ExpectLayerClosed();
}

TEST_F(ProbeStep, AConversionFollowedByAFailedProbeIsNoSuccess)
{
    SimUnit& unit = machine.AttachUnit(Qzv("QZV-57H", "2.00"), NtSlot::Letter('E'));
    std::vector<uint8_t> image = SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x4000);
    WriteFile("conv.mot", MotText(std::vector<unsigned char>(image.begin(), image.end())));
    ASSERT_EQ(0, Run("conv.mot"));
    unsigned last = static_cast<unsigned>(unit.Commands().size());
    unit.ClearCommands();
    unit.FailCommandWithSense(last, 0x04, 0x44, 0x00);
    // The conversion's text is the last one shown, but the probe did not succeed.
    EXPECT_EQ(1, Run("conv.mot"));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(CONVERSION_FINISHED_TEXT("conv.mot", "conv.bin"), shown.back());
    ExpectLayerClosed();
}

}  // namespace
