// Carrying images through the unit table to simulated units: the procedure chosen by revision,
// good downloads saved by the unit (which checks length and CRC itself), corrupted ones refused.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "image/firmware_image.h"
#include "sim/unit/sample_image.h"
#include "unit/unit_layer_fixture.h"

namespace {

class UnitDownloadTest : public UnitLayerTest {
protected:
    // The image buffer as a load of `file` leaves it; returns the length the update run passes.
    DWORD Load(const std::vector<uint8_t>& file)
    {
        std::memset(image->bytes, 0xFF, FIRMWARE_IMAGE_CAPACITY);
        std::memcpy(image->bytes, file.data(), file.size());
        return static_cast<DWORD>(file.size() + (file.size() & 1));
    }

    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
};

TEST_F(UnitDownloadTest, OldUnitSavesTheWholeImage)
{
    SimUnit* unit = Attach("QZV-57G", "1.98");
    ASSERT_EQ(1u, UnitCount());
    const std::vector<uint8_t> file = SampleOldImage("1.99", 0x7FFF);
    const DWORD length = Load(file);
    EXPECT_EQ(0u, UnitDownloadFirmware(0, length, image->bytes));
    EXPECT_FALSE(unit->Present()) << "the unit leaves the system to restart";
    std::vector<uint8_t> padded = file;
    padded.push_back(0xFF);
    EXPECT_EQ(padded, unit->SavedImage());
    unit->PowerCycle();
    EXPECT_EQ(0, std::memcmp(unit->InquiryData().data() + 32, "1.99", 4));
}

TEST_F(UnitDownloadTest, NewUnitSavesImagesOfEverySize)
{
    for (uint32_t size : {0x20BCu, 0x10000u, 0x12345u, 0x30000u}) {
        SCOPED_TRACE(size);
        units.clear();
        transport.attached.clear();
        SimUnit* unit = Attach("QZV-57H", "1.99", 0x00004000);
        ASSERT_EQ(1u, UnitCount());
        const std::vector<uint8_t> file = SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, size, size);
        const DWORD length = Load(file);
        EXPECT_EQ(0u, UnitDownloadFirmware(0, length, image->bytes));
        EXPECT_FALSE(unit->Present());
        EXPECT_EQ(file, unit->SavedImage());
        unit->PowerCycle();
        EXPECT_EQ(0, std::memcmp(unit->InquiryData().data() + 32, "2.02", 4)) << "slot 2 by configuration";
    }
}

TEST_F(UnitDownloadTest, CorruptedDataIsRefusedAndNothingIsSaved)
{
    // One flipped bit on the way in each command in turn: header, piece at 0x10000, piece at 0.
    for (unsigned command = 1; command <= 3; ++command) {
        SCOPED_TRACE(command);
        units.clear();
        transport.attached.clear();
        SimUnit* unit = Attach("QZV-57H", "2.00");
        ASSERT_EQ(1u, UnitCount());
        unit->ClearCommands();
        const DWORD length = Load(SampleNewImage({"2.10", "2.11", "2.12", "2.13"}, 0x12345));
        transport.corruptDataOfCommand = command;
        EXPECT_NE(0u, UnitDownloadFirmware(0, length, image->bytes));
        EXPECT_TRUE(unit->Present()) << "a refused download does not restart the unit";
        EXPECT_TRUE(unit->SavedImage().empty());
        EXPECT_EQ(0, std::memcmp(unit->InquiryData().data() + 32, "2.00", 4));
    }
}

}  // namespace
