// The unit layer on an emulated Windows NT machine: units found through the pass-through transport,
// commands and downloads carried to them, a unit held by another process, and nothing left open.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "image/download.h"
#include "image/firmware_image.h"
#include "sim/machine/emulated_machine.h"
#include "sim/unit/sample_image.h"
#include "support/qzv_units.h"
#include "unit/unit_commands.h"
#include "unit/unit_table.h"

namespace {

class UnitMachineTest : public ::testing::Test {
protected:
    void SetUp() override { UnitLayerClose(); }
    void TearDown() override
    {
        UnitLayerClose();
        const HostInterface empty = {};
        HostIoInstall(&empty);
    }

    // The image buffer as a load of `file` leaves it; returns the length the update run passes.
    DWORD Load(const std::vector<uint8_t>& file)
    {
        std::memset(image->bytes, 0xFF, FIRMWARE_IMAGE_CAPACITY);
        std::memcpy(image->bytes, file.data(), file.size());
        return static_cast<DWORD>(file.size() + (file.size() & 1));
    }

    std::string Revision(DWORD unit)
    {
        BYTE inquiry[UNIT_INQUIRY_LENGTH] = {};
        if (UnitInquiry(unit, inquiry) != 0)
            return "?";
        return std::string(reinterpret_cast<char*>(inquiry) + 32, 4);
    }

    EmulatedMachine machine{VER_PLATFORM_WIN32_NT};
    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
};

TEST_F(UnitMachineTest, OldUnitIsFoundProbedAndUpdated)
{
    SimUnit& unit = machine.AttachUnit(Qzv("QZV-57G", "1.98"), NtSlot::Letter('E'));

    // The probe: open, count, INQUIRY, close; nothing stays open.
    ASSERT_EQ(1u, UnitLayerOpen());
    ASSERT_EQ(1u, UnitCount());
    EXPECT_EQ("1.98", Revision(0));
    EXPECT_EQ(ImageDownloadOld, UnitGetTable().entries[0].download);
    UnitLayerClose();
    EXPECT_EQ(0u, machine.OpenHandleCount());

    // The update run: count again (reopening the layer), INQUIRY, download.
    ASSERT_EQ(1u, UnitCount());
    EXPECT_EQ("1.98", Revision(0));
    const std::vector<uint8_t> file = SampleOldImage("1.99", 0x9001);
    EXPECT_EQ(0u, UnitDownloadFirmware(0, Load(file), image->bytes));
    EXPECT_FALSE(unit.Present());
    EXPECT_EQ(0u, UnitCount()) << "the unit has left the system to restart";

    machine.PowerCycle(unit);
    ASSERT_EQ(1u, UnitCount());
    EXPECT_EQ("1.99", Revision(0));
}

TEST_F(UnitMachineTest, NewUnitTakesAFullImageAndComesBackWithItsSlotsVersion)
{
    SimUnit& unit = machine.AttachUnit(Qzv("QZV-57H", "2.00", 0x00006000), NtSlot::Letter('F'));
    ASSERT_EQ(1u, UnitCount());
    DWORD configuration = 0;
    EXPECT_EQ(0u, UnitReadConfiguration(0, &configuration));
    EXPECT_EQ(0x00006000u, configuration);
    EXPECT_EQ(ImageDownloadNew, UnitGetTable().entries[0].download);

    const std::vector<uint8_t> file = SampleNewImage({"3.00", "3.01", "3.02", "3.03"}, 0x30000);
    EXPECT_EQ(0u, UnitDownloadFirmware(0, Load(file), image->bytes));
    EXPECT_EQ(file, unit.SavedImage());
    machine.PowerCycle(unit);
    ASSERT_EQ(1u, UnitCount());
    EXPECT_EQ("3.03", Revision(0));
}

TEST_F(UnitMachineTest, OnlyTheFamilysUnitsAreCountedInDriveOrder)
{
    machine.AttachUnit(Qzv("QZV-57H", "2.00"), NtSlot::Letter('F'));
    SimUnitConfig other = Qzv("QZV-57H", "2.00");
    other.vendor = "OTHERCO ";
    machine.AttachUnit(other, NtSlot::Letter('D'));
    machine.AttachUnit(Qzv("QZV-57G", "1.50"), NtSlot::Letter('E'));
    machine.AttachUnit(Qzv("QZV-57X", "1.50"), NtSlot::Letter('G'));

    ASSERT_EQ(2u, UnitCount());
    EXPECT_EQ("1.50", Revision(0));
    EXPECT_EQ("2.00", Revision(1));
    DWORD letter = 0;
    EXPECT_EQ(1u, UnitGetDriveLetter(1, &letter));
    EXPECT_EQ(DWORD('F'), letter);
}

TEST_F(UnitMachineTest, UnitHeldByAnotherProcessGivesTheCachedConfiguration)
{
    machine.AttachUnit(Qzv("QZV-57H", "1.99", 0x00002000), NtSlot::Letter('E'));
    ASSERT_EQ(1u, UnitCount());

    EmulatedProcess& other = machine.StartProcess();
    ASSERT_TRUE(other.TakeMutex("mutexSptiIo/QZV-5x/Device0"));
    DWORD configuration = 0;
    EXPECT_EQ(0u, UnitReadConfiguration(0, &configuration));
    EXPECT_EQ(0x00002000u, configuration);
    BYTE inquiry[UNIT_INQUIRY_LENGTH];
    EXPECT_EQ(11u, UnitInquiry(0, inquiry));

    other.ReleaseMutex("mutexSptiIo/QZV-5x/Device0");
    EXPECT_EQ("1.99", Revision(0));
}

TEST_F(UnitMachineTest, VendorUsbMutexFailureKeepsTheLayerClosedWithNothingOpen)
{
    for (const char* call : {"InitializeSecurityDescriptor", "SetSecurityDescriptorDacl", "CreateMutexA"}) {
        SCOPED_TRACE(call);
        UnitLayerClose();
        const unsigned injected = machine.Faults().Injected();
        machine.Faults().FailNthCall(7, 0, FaultRepeat::Once, call);
        EXPECT_EQ(0u, UnitLayerOpen());
        EXPECT_EQ(0u, machine.OpenHandleCount());
        EXPECT_EQ(injected + 1, machine.Faults().Injected());
        machine.Faults().Clear();
        UnitLayerClose();
        EXPECT_EQ(1u, UnitLayerOpen());
        EXPECT_EQ(32u, machine.OpenHandleCount()) << "one mutex per vendor-USB device index";
    }
}

}  // namespace
