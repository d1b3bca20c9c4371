// Finding units behind the ASPI manager: adapter counts and inquiries, the scan order, the 26-unit
// bound, the probe's INQUIRY, the filter and the per-record mutexes.
#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

#include "aspi_scenario.h"

namespace {

class AspiEnumerate : public AspiTest {
protected:
    // (adapter, target, LUN) of every INQUIRY the manager received.
    std::vector<std::tuple<int, int, int>> Probed()
    {
        std::vector<std::tuple<int, int, int>> probed;
        for (const SRB_ExecSCSICmd& request : machine.Aspi().Requests())
            probed.emplace_back(request.SRB_HaId, request.SRB_Target, request.SRB_Lun);
        return probed;
    }
};

TEST_F(AspiEnumerate, ScansEveryTargetAndLunOfEachAdapterInOrder)
{
    SimUnit& second = machine.AttachAspiUnit(Qzv("QZV-57G", "1.50"), 1, 0, 0, 'F');
    machine.AttachAspiUnit(Qzv(), 0, 7, 3, 'E');  // at the adapter's own id
    machine.AttachAspiUnit(OtherVendor(), 0, 2, 0, 'D');
    ASSERT_EQ(2u, Enumerate());
    EXPECT_EQ(2u * 16 * 8, machine.Aspi().Requests().size());
    EXPECT_EQ(std::make_tuple(0, 0, 0), Probed().front());
    EXPECT_EQ(std::make_tuple(0, 0, 1), Probed()[1]);
    EXPECT_EQ(std::make_tuple(1, 15, 7), Probed().back());
    // Table order follows the scan: adapter 0 first.
    EXPECT_EQ(0, g_aspiIo.units[0].adapter);
    EXPECT_EQ(7, g_aspiIo.units[0].target);
    EXPECT_EQ(3, g_aspiIo.units[0].lun);
    EXPECT_EQ('E', g_aspiIo.units[0].driveLetter);
    EXPECT_EQ(1, g_aspiIo.units[1].adapter);
    EXPECT_EQ('F', g_aspiIo.units[1].driveLetter);
    EXPECT_EQ(0, std::memcmp(g_aspiIo.units[1].inquiry + 16, "QZV-57G", 7));
    EXPECT_EQ(1u, second.Commands().size());

    // The probe's request: INQUIRY of 36 bytes with the LUN in CDB byte 1, data in, event notify.
    const SRB_ExecSCSICmd& inquiry = machine.Aspi().Requests()[7 * 8 + 3];
    EXPECT_EQ(SC_EXEC_SCSI_CMD, inquiry.SRB_Cmd);
    EXPECT_EQ(SRB_EVENT_NOTIFY | SRB_DIR_IN, inquiry.SRB_Flags);
    EXPECT_EQ(6, inquiry.SRB_CDBLen);
    EXPECT_EQ(36u, inquiry.SRB_BufLen);
    const BYTE cdb[6] = {0x12, 3 << 5, 0, 0, 36, 0};
    EXPECT_EQ(0, std::memcmp(cdb, inquiry.CDBByte, 6));
}

TEST_F(AspiEnumerate, AdapterCountsAndFailingInquiries)
{
    machine.AttachAspiUnit(Qzv(), 0, 1, 0);
    machine.AttachAspiUnit(Qzv(), 2, 1, 0);
    machine.Aspi().Adapter(1).inquiryStatus = SS_INVALID_HA;
    ASSERT_EQ(2u, Enumerate());
    EXPECT_EQ(3u, g_aspiIo.adapterCount);
    EXPECT_EQ(3u, machine.Aspi().AdapterInquiries());
    EXPECT_EQ(2u * 16 * 8, machine.Aspi().Requests().size()) << "adapter 1 is skipped";

    machine.Aspi().SetSupportInfo(SS_COMP << 8);
    EXPECT_EQ(0u, HostIoEnumerate(AcceptQzv, "QZV-5x")) << "no adapters";
    machine.Aspi().SetSupportInfo((SS_FAILED_INIT << 8) | 3);
    EXPECT_EQ(0u, HostIoEnumerate(AcceptQzv, "QZV-5x")) << "support query not SS_COMP";
    EXPECT_EQ(0u, g_aspiIo.adapterCount);
    EXPECT_EQ(3u, machine.Aspi().AdapterInquiries());
}

TEST_F(AspiEnumerate, OnlyTheFirstSixteenAdaptersAreScanned)
{
    machine.AttachAspiUnit(Qzv(), 15, 0, 0);
    machine.AttachAspiUnit(Qzv(), 16, 0, 0);
    machine.AttachAspiUnit(Qzv(), 19, 0, 0);
    machine.Aspi().SetSupportInfo((SS_COMP << 8) | 0xFF);
    ASSERT_EQ(1u, Enumerate());
    EXPECT_EQ(255u, g_aspiIo.adapterCount);
    EXPECT_EQ(16u, machine.Aspi().AdapterInquiries());
    EXPECT_EQ(15, g_aspiIo.units[0].adapter);
}

TEST_F(AspiEnumerate, StopsAtTwentySixUnitsInTheMiddleOfAnAdapter)
{
    for (BYTE target = 0; target < 3; ++target)
        for (BYTE lun = 0; lun < 8; ++lun)
            machine.AttachAspiUnit(Qzv(), 0, target, lun);
    for (BYTE lun = 0; lun < 6; ++lun)
        machine.AttachAspiUnit(Qzv(), 1, 5, lun);
    ASSERT_EQ(26u, Enumerate());
    EXPECT_EQ(std::make_tuple(1, 5, 1), Probed().back()) << "no request after the 26th unit";
    EXPECT_EQ(1, g_aspiIo.units[25].adapter);
    EXPECT_EQ(1, g_aspiIo.units[25].lun);
}

TEST_F(AspiEnumerate, FilterAndInquiryStatusDecide)
{
    machine.AttachAspiUnit(Qzv(), 0, 1, 0);
    SimUnit& failing = machine.AttachAspiUnit(Qzv(), 0, 2, 0);
    machine.AttachAspiUnit(OtherVendor(), 0, 3, 0);
    failing.FailCommandWithSense(1, 0x06, 0x29, 0x00);
    ASSERT_EQ(1u, Enumerate());
    EXPECT_EQ(1, g_aspiIo.units[0].target);
    // A null filter accepts every unit that answers; failing answered its INQUIRY above.
    EXPECT_EQ(3u, HostIoEnumerate(nullptr, "QZV-5x"));
}

TEST_F(AspiEnumerate, MutexesAreOpenedWhenTheyExistAndCreatedOpenToEveryoneOtherwise)
{
    machine.AttachAspiUnit(Qzv(), 0, 1, 0);
    EmulatedProcess& other = machine.StartProcess();
    ASSERT_TRUE(other.TakeMutex("mutexAspiIo/QZV-5x/Device5"));
    ASSERT_EQ(1u, Enumerate());
    const std::vector<const char*>& calls = machine.Faults().Log();
    auto count = [&](const char* call) {
        return std::count_if(calls.begin(), calls.end(), [&](const char* c) { return std::strcmp(c, call) == 0; });
    };
    EXPECT_EQ(26, count("OpenMutexA"));
    EXPECT_EQ(25, count("CreateMutexA")) << "the other process's mutex is opened, not created";
    for (unsigned n = 0; n < ASPI_IO_MAX_UNITS; ++n) {
        const std::string name = "mutexAspiIo/QZV-5x/Device" + std::to_string(n);
        const EmulatedMutex* mutex = machine.Objects().FindMutex(name);
        ASSERT_NE(nullptr, mutex) << name;
        EXPECT_TRUE(mutex->openToEveryone) << name;
    }
    EXPECT_EQ(0u, machine.OutstandingAllocations()) << "security descriptors are freed";
    // Held by another process now: the command waits 16 s and gives up with 11.
    ASSERT_TRUE(other.TakeMutex("mutexAspiIo/QZV-5x/Device0"));
    const uint64_t start = machine.Clock().Now();
    EXPECT_EQ(11u, TestUnitReady(0));
    EXPECT_EQ(16000u, machine.Clock().Now() - start);
}

TEST_F(AspiEnumerate, DeviceClassMustBeGivenAndFitAndMutexFailuresHoldNothing)
{
    machine.AttachAspiUnit(Qzv(), 0, 1, 0);
    ASSERT_EQ(1, HostIoInit());
    const size_t handles = machine.OpenHandleCount();
    EXPECT_EQ(0u, HostIoEnumerate(AcceptQzv, nullptr));
    EXPECT_EQ(0u, HostIoEnumerate(AcceptQzv, ""));
    EXPECT_EQ(0u, HostIoEnumerate(AcceptQzv, std::string(240, 'x').c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), g_sys.GetLastError());
    machine.Faults().FailNthCall(10, ERROR_ACCESS_DENIED, FaultRepeat::Once, "CreateMutexA");
    EXPECT_EQ(0u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), g_sys.GetLastError());
    EXPECT_EQ(handles, machine.OpenHandleCount());
    EXPECT_TRUE(machine.Aspi().Requests().empty());
    EXPECT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
}

TEST_F(AspiEnumerate, ReEnumerationReleasesVolumeLocks)
{
    machine.AttachAspiUnit(Qzv(), 0, 1, 0, 'E');
    machine.AttachAspiUnit(Qzv(), 0, 2, 0, 'F');
    ASSERT_EQ(2u, Enumerate());
    ASSERT_TRUE(HostIoLock(1));
    ASSERT_TRUE(machine.Vwin32().Locked('F'));
    ASSERT_EQ(2u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_FALSE(machine.Vwin32().Locked('F'));
    EXPECT_FALSE(g_aspiIo.units[1].volumeLocked);
    // A lock taken now is a new one, not the flag of the earlier unit.
    EXPECT_TRUE(HostIoLock(1));
    EXPECT_TRUE(machine.Vwin32().Locked('F'));
}

}  // namespace
