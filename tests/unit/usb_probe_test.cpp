// The main dialog's probe step finds a unit attached through the vendor USB driver: headless, on an
// emulated NT machine, from start to the Ready text.
#include <gtest/gtest.h>

#include <fstream>
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

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class UsbProbeTest : public ::testing::Test {
protected:
    void SetUp() override { UnitLayerClose(); }
    void TearDown() override
    {
        UnitLayerClose();
        const HostInterface empty = {};
        HostIoInstall(&empty);
    }

    // Runs the program until it waits for the user; returns the message text and presses Quit.
    std::string Run(const char* commandLine, bool* startEnabled)
    {
        HeadlessUi ui(AppResources());
        UpdaterApp app;
        std::string text;
        ui.WhenIdle([&](HeadlessUi& idle) {
            text = idle.Text(IDC_MESSAGE_TEXT);
            *startEnabled = idle.IsEnabled(IDC_START_BUTTON);
            idle.Click(IDOK);
        });
        UiRunApplication(app, commandLine);
        EXPECT_FALSE(ui.Stalled());
        return text;
    }

    EmulatedMachine machine{VER_PLATFORM_WIN32_NT};
};

TEST_F(UsbProbeTest, UsbUnitReachesReadyForBothGenerations)
{
    WriteBytes("old.bin", SampleOldImage("1.A0", 0x9001));
    WriteBytes("new.bin", SampleNewImage({"2.10", "2.11", "2.12", "2.13"}, 0x12345));
    bool startEnabled = false;
    SimUnit& old = machine.AttachUsbUnit(Qzv("QZV-57G", "1.98"));
    std::string text = Run("old.bin", &startEnabled);
    EXPECT_EQ(0u, text.find("現在の ファームウェア バージョン: 1.98\n更新   ファームウェア バージョン: 1.A0\n")) << text;
    EXPECT_TRUE(startEnabled);
    EXPECT_EQ(0u, machine.OpenHandleCount()) << "the probe closes the unit layer, mutexes included";

    machine.Unplug(old);
    machine.AttachUsbUnit(Qzv("QZV-57H", "2.00", 0x4000));
    text = Run("new.bin", &startEnabled);
    EXPECT_EQ(0u, text.find("現在の ファームウェア バージョン: 2.00\n更新   ファームウェア バージョン: 2.12\n")) << text;
    EXPECT_TRUE(startEnabled);
}

}  // namespace
