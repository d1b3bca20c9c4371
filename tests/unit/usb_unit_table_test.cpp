// Vendor-USB units in the unit table: counted after the host-interface units, bound to the USB
// transport, given the download procedure of their generation, and updated end to end on the
// emulated machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "image/download.h"
#include "image/firmware_image.h"
#include "sim/machine/emulated_machine.h"
#include "sim/unit/sample_image.h"
#include "unit/unit_commands.h"
#include "unit/unit_layer_fixture.h"
#include "unit/usb/zeku_io.h"

namespace {

SimUnitConfig UsbConfig(const char* product, const char* revision, uint32_t configuration = 0)
{
    SimUnitConfig config;
    config.product = product;
    config.revision = revision;
    config.configuration = configuration;
    return config;
}

// Host-interface units from the simulated transport, vendor-USB units on an emulated machine.
class UsbUnitLayerTest : public UnitLayerTest {
protected:
    EmulatedMachine machine;
};

TEST_F(UsbUnitLayerTest, UsbUnitsFollowTheHostUnits)
{
    Attach("QZV-57H", "1.99");
    Attach("QZV-57G", "1.98");
    SimUnit& oldUsb = machine.AttachUsbUnit(UsbConfig("QZV-57G", "1.98", 0x11223344));
    SimUnit& newUsb = machine.AttachUsbUnit(UsbConfig("QZV-57H", "2.00"));
    ASSERT_EQ(4u, UnitCount());
    const UnitTable& table = UnitGetTable();
    EXPECT_EQ(2u, table.hostCount);
    EXPECT_EQ(2u, table.usbCount);

    for (DWORD i : {2u, 3u}) {
        const UnitEntry& entry = table.entries[i];
        EXPECT_EQ(i - 2, entry.transportIndex);
        EXPECT_EQ(ZekuIoGetCdb, entry.getCdb);
        EXPECT_EQ(ZekuIoExecute, entry.execute);
        EXPECT_EQ(ZekuIoGetDriveLetter, entry.getDriveLetter);
        EXPECT_EQ(ZekuIoLoadMedium, entry.loadMedium);
        EXPECT_EQ(ZekuIoUnlock, entry.unlock);
    }
    EXPECT_EQ(0x11223344u, table.entries[2].configuration);
    EXPECT_EQ(0x312E3938u, table.entries[2].firmwareRevision);
    EXPECT_EQ(ImageDownloadOld, table.entries[2].download);
    EXPECT_EQ(0x322E3030u, table.entries[3].firmwareRevision);
    EXPECT_EQ(ImageDownloadNew, table.entries[3].download);
    // The configuration command and INQUIRY, each once, went over the USB transport.
    ASSERT_EQ(2u, oldUsb.Commands().size());
    EXPECT_EQ(0x13, oldUsb.Commands()[0].cdb[0]);
    EXPECT_EQ(0x12, oldUsb.Commands()[1].cdb[0]);
    EXPECT_EQ(2u, machine.UsbDeviceOf(newUsb).Requests().size());

    DWORD letter = 0;
    EXPECT_EQ(0u, UnitGetDriveLetter(2, &letter));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), g_sys.GetLastError());
    EXPECT_EQ(1u, UnitLock(3));
    EXPECT_EQ(1u, UnitEjectMedium(3));
    EXPECT_EQ(0x1B, newUsb.Commands().back().cdb[0]);
}

TEST_F(UsbUnitLayerTest, SixtyHostUnitsLeaveRoomForFourUsbUnits)
{
    SimUnit* host = Attach("QZV-57H", "1.99");
    for (int i = 1; i < 60; ++i)
        transport.attached.push_back(host);
    std::vector<SimUnit*> usb;
    for (int i = 0; i < 10; ++i)
        usb.push_back(&machine.AttachUsbUnit(UsbConfig("QZV-57H", "2.00")));
    EXPECT_EQ(64u, UnitCount());
    EXPECT_EQ(60u, UnitGetTable().hostCount);
    EXPECT_EQ(4u, UnitGetTable().usbCount);
    EXPECT_EQ(3u, UnitGetTable().entries[63].transportIndex);
    EXPECT_EQ(ZekuIoExecute, UnitGetTable().entries[63].execute);
    // The highest device indices are dropped: never asked anything.
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(i < 4 ? 2u : 0u, usb[i]->Commands().size()) << i;
}

TEST_F(UsbUnitLayerTest, BusyUsbUnitFailsTheWholeBuild)
{
    Attach("QZV-57H", "1.99");
    machine.AttachUsbUnit(UsbConfig("QZV-57H", "2.00"));
    machine.AttachUsbUnit(UsbConfig("QZV-57H", "2.00"));
    ASSERT_EQ(3u, UnitCount());
    ASSERT_TRUE(machine.StartProcess().TakeMutex("ZekuIo/mutex/device/01"));
    const uint64_t start = machine.Clock().Now();
    EXPECT_EQ(0u, UnitCount());
    EXPECT_EQ(0u, UnitGetTable().unitCount);
    EXPECT_EQ(64000u, machine.Clock().Now() - start) << "configuration command and INQUIRY each wait 32 s";
}

// The update run over the USB transport on an emulated NT machine with no other unit.
class UsbUpdateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UnitLayerClose();
        machine.SubscribeDeviceChange([this](WPARAM event, LPARAM) { notices.push_back(event); });
    }
    void TearDown() override
    {
        UnitLayerClose();
        HostInterface empty = {};
        HostIoInstall(&empty);
    }

    // The image buffer as a load of `file` leaves it; returns the length the update run passes.
    DWORD Load(const std::vector<uint8_t>& file)
    {
        std::memset(image->bytes, 0xFF, FIRMWARE_IMAGE_CAPACITY);
        std::memcpy(image->bytes, file.data(), file.size());
        return static_cast<DWORD>(file.size() + (file.size() & 1));
    }

    // What the progress dialog does: count, INQUIRY, download.
    UnitStatus Update(DWORD length)
    {
        if (UnitCount() != 1)
            return 0xDEAD;
        BYTE inquiry[36];
        const UnitStatus status = UnitInquiry(0, inquiry);
        return status ? status : UnitDownloadFirmware(0, length, image->bytes);
    }

    EmulatedMachine machine;
    std::vector<WPARAM> notices;
    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
};

TEST_F(UsbUpdateTest, OldGenerationUnitIsUpdatedAndLeaves)
{
    SimUnit& unit = machine.AttachUsbUnit(UsbConfig("QZV-57G", "1.98"));
    notices.clear();
    ASSERT_EQ(1u, UnitCount());
    EXPECT_EQ(ImageDownloadOld, UnitEntryAt(0)->download);
    const std::vector<uint8_t> file = SampleOldImage("1.99", 0x7FFF);
    EXPECT_EQ(0u, Update(Load(file)));
    EXPECT_FALSE(unit.Present());
    std::vector<uint8_t> padded = file;
    padded.push_back(0xFF);
    EXPECT_EQ(padded, unit.SavedImage());
    EXPECT_EQ(std::vector<WPARAM>{DBT_DEVNODES_CHANGED}, notices) << "the departure is broadcast";
    EXPECT_EQ(0u, UnitCount()) << "the recount after the notice finds no unit";

    machine.PowerCycle(unit);
    EXPECT_EQ(2u, notices.size());
    ASSERT_EQ(1u, UnitCount());
    EXPECT_EQ(0x312E3939u, UnitEntryAt(0)->firmwareRevision);
    EXPECT_EQ(ImageDownloadNew, UnitEntryAt(0)->download);
}

TEST_F(UsbUpdateTest, NewGenerationUnitIsUpdatedInPiecesAndLeaves)
{
    SimUnit& unit = machine.AttachUsbUnit(UsbConfig("QZV-57H", "2.00", 0x00004000));
    ASSERT_EQ(1u, UnitCount());
    EXPECT_EQ(ImageDownloadNew, UnitEntryAt(0)->download);
    unit.ClearCommands();
    const std::vector<uint8_t> file = SampleNewImage({"2.10", "2.11", "2.12", "2.13"}, 0x22345);
    EXPECT_EQ(0u, Update(Load(file)));
    EXPECT_FALSE(unit.Present());
    EXPECT_EQ(file, unit.SavedImage());
    // The count's configuration command and INQUIRY, the run's INQUIRY, then the header and the
    // pieces at 0x20000, 0x10000 and 0 (with save); no transfer above 64 KiB.
    std::vector<uint8_t> opcodes;
    for (const SimCommand& command : unit.Commands())
        opcodes.push_back(command.cdb[0]);
    EXPECT_EQ((std::vector<uint8_t>{0x13, 0x12, 0x12, 0x3B, 0x3B, 0x3B, 0x3B}), opcodes);
    for (const UsbTransfer& transfer : machine.UsbDeviceOf(unit).Transfers())
        EXPECT_LE(transfer.length, 0x10000u);
    EXPECT_EQ(0u, UnitCount());

    machine.PowerCycle(unit);
    ASSERT_EQ(1u, UnitCount());
    EXPECT_EQ(0x322E3132u, UnitEntryAt(0)->firmwareRevision) << "slot 2 by the configuration value";
}

TEST_F(UsbUpdateTest, DataFailureMidwayNeverLeadsToTheSave)
{
    for (DWORD error : {static_cast<DWORD>(ERROR_CRC), static_cast<DWORD>(ERROR_GEN_FAILURE)}) {
        SCOPED_TRACE(error);
        SimUnit& unit = machine.AttachUsbUnit(UsbConfig("QZV-57H", "2.00"));
        ASSERT_EQ(1u, UnitCount());
        unit.ClearCommands();
        const DWORD length = Load(SampleNewImage({"2.10", "2.11", "2.12", "2.13"}, 0x12345));
        // The second data-out transfer, the piece at 0x10000 after the header, fails.
        machine.Faults().FailNthCall(2, error, FaultRepeat::Once, "WriteFile");
        EXPECT_EQ(2u, Update(length));
        machine.Faults().Clear();
        EXPECT_TRUE(unit.Present());
        EXPECT_TRUE(unit.SavedImage().empty());
        const auto writeBuffers = std::count_if(unit.Commands().begin(), unit.Commands().end(),
                                                [](const SimCommand& command) { return command.cdb[0] == 0x3B; });
        EXPECT_EQ(1, writeBuffers) << "the header only: nothing after the failed piece";
        machine.Unplug(unit);
    }
}

}  // namespace
