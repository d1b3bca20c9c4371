// Whole updates on an emulated 9x machine: the unit table opens the ASPI transport, finds the unit
// behind the manager, downloads an image of either layout through it, and sees the unit leave.
#include <memory>
#include <vector>

#include "aspi_scenario.h"
#include "image/firmware_image.h"
#include "sim/unit/sample_image.h"
#include "unit/unit_table.h"

namespace {

class AspiUpdate : public AspiTest {
protected:
    void SetUp() override
    {
        UnitLayerClose();
        listener = machine.SubscribeDeviceChange([this](WPARAM event, LPARAM data) {
            notices.push_back(event);
            if (event == DBT_DEVICEREMOVECOMPLETE)
                removedDrives |= reinterpret_cast<const DEV_BROADCAST_VOLUME*>(data)->dbcv_unitmask;
        });
    }
    void TearDown() override
    {
        UnitLayerClose();
        machine.UnsubscribeDeviceChange(listener);
    }

    // The image buffer as a load of `file` leaves it; returns the length the update run passes.
    DWORD Load(const std::vector<uint8_t>& file)
    {
        std::memset(image->bytes, 0xFF, FIRMWARE_IMAGE_CAPACITY);
        std::memcpy(image->bytes, file.data(), file.size());
        return static_cast<DWORD>(file.size() + (file.size() & 1));
    }

    bool DevNodePresent(const SimUnit& unit)
    {
        return machine.Registry().FindKey(HKEY_DYN_DATA,
                                          "Config Manager\\Enum\\" + machine.Win9x().Find(unit)->devNode) != nullptr;
    }

    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
    std::vector<WPARAM> notices;
    DWORD removedDrives = 0;
    int listener = 0;
};

TEST_F(AspiUpdate, NewLayoutImageReachesTheUnitWhichThenLeaves)
{
    SimUnitConfig config = Qzv("QZV-57H", "1.99");
    config.configuration = 0x00004000;  // version slot 2
    machine.AttachAspiUnit(OtherVendor(), 0, 1, 0, 'D');
    SimUnit& unit = machine.AttachAspiUnit(config, 1, 5, 0, 'E');
    ASSERT_EQ(1u, UnitLayerOpen());
    ASSERT_EQ(1u, UnitCount());
    EXPECT_EQ(0x00004000u, UnitGetTable().entries[0].configuration);
    unit.ClearCommands();
    notices.clear();

    const std::vector<uint8_t> file = SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x12345);
    EXPECT_EQ(0u, UnitDownloadFirmware(0, Load(file), image->bytes));
    EXPECT_EQ(file, unit.SavedImage());
    EXPECT_EQ(3u, unit.Commands().size()) << "header, the piece at 0x10000, the piece at 0 with the save";
    EXPECT_FALSE(unit.Present());
    EXPECT_FALSE(DevNodePresent(unit));
    EXPECT_EQ((std::vector<WPARAM>{DBT_DEVICEREMOVECOMPLETE, DBT_DEVNODES_CHANGED}), notices);
    EXPECT_EQ(1u << ('E' - 'A'), removedDrives);
    EXPECT_EQ(0u, UnitCount()) << "counted again after the notice: gone";

    machine.PowerCycle(unit);
    EXPECT_TRUE(DevNodePresent(unit));
    ASSERT_EQ(1u, UnitCount());
    EXPECT_EQ(0, std::memcmp(unit.InquiryData().data() + 32, "2.02", 4));
    EXPECT_EQ(0x322E3032u, UnitGetTable().entries[0].firmwareRevision);
}

TEST_F(AspiUpdate, OldLayoutImageReachesAnOldUnit)
{
    SimUnit& unit = machine.AttachAspiUnit(Qzv("QZV-57G", "1.98"), 0, 6, 0, 'F');
    ASSERT_EQ(1u, UnitCount());
    const std::vector<uint8_t> file = SampleOldImage("1.99", 0x7FFF);
    EXPECT_EQ(0u, UnitDownloadFirmware(0, Load(file), image->bytes));
    std::vector<uint8_t> padded = file;
    padded.push_back(0xFF);
    EXPECT_EQ(padded, unit.SavedImage());
    EXPECT_FALSE(unit.Present());
    EXPECT_EQ(1u << ('F' - 'A'), removedDrives);
    machine.PowerCycle(unit);
    ASSERT_EQ(1u, UnitCount());
    EXPECT_EQ(0, std::memcmp(unit.InquiryData().data() + 32, "1.99", 4));
}

TEST_F(AspiUpdate, DownloadPieceThatNeverCompletesFailsWithoutTheSave)
{
    SimUnit& unit = machine.AttachAspiUnit(Qzv("QZV-57H", "2.00"), 0, 3, 0, 'E');
    ASSERT_EQ(1u, UnitCount());
    unit.ClearCommands();
    machine.Aspi().CompleteRequests(AspiCompletion::Later, 0, 1);   // the header
    machine.Aspi().CompleteRequests(AspiCompletion::Never, 0, 1);   // the piece at 0x10000
    EXPECT_EQ(4u, UnitDownloadFirmware(0, Load(SampleNewImage({"2.10", "2.11", "2.12", "2.13"})), image->bytes));
    EXPECT_EQ(1u, unit.Commands().size()) << "the header only";
    EXPECT_EQ(1u, machine.Aspi().Aborts());
    EXPECT_TRUE(unit.Present());
    EXPECT_TRUE(unit.SavedImage().empty());
}

}  // namespace
