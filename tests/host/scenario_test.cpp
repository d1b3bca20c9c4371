// One QZV-57H behind an emulated drive letter, reached the way the unit access layer reaches it:
// enumerated through the host interface, filtered by identity, asked for INQUIRY.
#include "host_scenario.h"

namespace {

using Scenario = HostTest;

TEST_F(Scenario, OneUnitBehindADriveLetterAnswersInquiry)
{
    machine.Storage().AddForeignDisk(NtSlot::Letter('C', DRIVE_FIXED), "ATA     ", "System Disk");
    machine.Storage().AddDriveLetter('D', DRIVE_CDROM);
    SimUnit& unit = machine.AttachUnit(Qzv("QZV-57H", "2.03"), NtSlot::Letter('E').Address(1, 0, 0, 0));

    ASSERT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    DWORD letter = 0, number = 9;
    ASSERT_TRUE(HostIoGetDriveLetter(0, &letter));
    ASSERT_TRUE(HostIoGetDeviceNumber(0, &number));
    EXPECT_EQ(static_cast<DWORD>('E'), letter);
    EXPECT_EQ(0u, number);

    BYTE inquiry[36] = {};
    ASSERT_EQ(0u, Inquiry(0, inquiry));
    EXPECT_EQ(0, std::memcmp(inquiry + 8, "VORNA   ", 8));
    EXPECT_EQ(0, std::memcmp(inquiry + 16, "QZV-57H         ", 16));
    EXPECT_EQ(0, std::memcmp(inquiry + 32, "2.03", 4));
    EXPECT_EQ(unit.InquiryData(), std::vector<uint8_t>(inquiry, inquiry + 36));

    // The unit saw the discovery INQUIRY and this one, nothing else.
    ASSERT_EQ(2u, unit.Commands().size());
    for (const SimCommand& command : unit.Commands())
        EXPECT_EQ(0x12, command.cdb[0]);
    // Between commands the program holds only its mutex set.
    EXPECT_EQ(32u, machine.OpenHandleCount());
    EXPECT_EQ(0u, machine.OutstandingAllocations());
}

TEST_F(Scenario, UnitLeavingAfterItsSaveIsBroadcastAndNoLongerFound)
{
    SimUnit& unit = machine.AttachUnit(Qzv(), NtSlot::Letter('E'));
    std::vector<WPARAM> notices;
    DWORD removedMask = 0;
    machine.SubscribeDeviceChange([&](WPARAM event, LPARAM data) {
        notices.push_back(event);
        if (event == DBT_DEVICEREMOVECOMPLETE)
            removedMask = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(data)->dbcv_unitmask;
    });
    ASSERT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    unit.UnplugAfter(1);
    EXPECT_EQ(0u, TestUnitReady(0));
    EXPECT_EQ((std::vector<WPARAM>{DBT_DEVICEREMOVECOMPLETE, DBT_DEVNODES_CHANGED}), notices);
    EXPECT_EQ(1u << ('E' - 'A'), removedMask);
    EXPECT_EQ(0u, HostIoEnumerate(AcceptQzv, "QZV-5x"));

    machine.PowerCycle(unit);
    EXPECT_EQ((std::vector<WPARAM>{DBT_DEVICEREMOVECOMPLETE, DBT_DEVNODES_CHANGED, DBT_DEVICEARRIVAL,
                                   DBT_DEVNODES_CHANGED}),
              notices);
    EXPECT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
}

}  // namespace
