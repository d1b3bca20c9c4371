// Commands through the pass-through transport: the request it builds, statuses from sense data,
// the busy unit, repetitions after ERROR_GEN_FAILURE, handles per command, and malformed answers.
#include "host_scenario.h"

namespace {

class SptiExecute : public HostTest {
protected:
    void SetUp() override
    {
        unit = &machine.AttachUnit(Qzv(), NtSlot::Letter('E').Address(2, 1, 4, 0));
        ASSERT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
        disk = &machine.Disk(*unit);
        unit->ClearCommands();
    }

    const SCSI_PASS_THROUGH_DIRECT& LastRequest() { return disk->PassThroughs().back().request; }

    SimUnit* unit = nullptr;
    NtDisk* disk = nullptr;
};

TEST_F(SptiExecute, RequestIsTheDirectFormWithTheCallersBuffer)
{
    BYTE inquiry[36] = {};
    ASSERT_EQ(0u, Inquiry(0, inquiry));
    EXPECT_EQ(0, std::memcmp(inquiry + 8, "VORNA   QZV-57H         1.99", 28));
    const PassThroughRecord& record = disk->PassThroughs().back();
    EXPECT_EQ(sizeof(SptiIoBlock), record.inSize);
    EXPECT_EQ(sizeof(SptiIoBlock), record.outSize);
    const SCSI_PASS_THROUGH_DIRECT& request = record.request;
    EXPECT_EQ(sizeof(SCSI_PASS_THROUGH_DIRECT), request.Length);
    EXPECT_EQ(1, request.PathId);
    EXPECT_EQ(4, request.TargetId);
    EXPECT_EQ(0, request.Lun);
    EXPECT_EQ(6, request.CdbLength);
    EXPECT_EQ(24, request.SenseInfoLength);
    EXPECT_EQ(SCSI_IOCTL_DATA_IN, request.DataIn);
    EXPECT_EQ(36u, request.DataTransferLength);
    EXPECT_EQ(32u, request.TimeOutValue);
    EXPECT_EQ(static_cast<void*>(inquiry), request.DataBuffer);
    EXPECT_EQ(offsetof(SptiIoBlock, sense), request.SenseInfoOffset);
}

TEST_F(SptiExecute, DirectionAndCdbLengthUseTheirLowEightBits)
{
    BYTE data[8] = {};
    const struct {
        DWORD direction;
        UCHAR dataIn;
    } cases[] = {{UnitDataIn, SCSI_IOCTL_DATA_IN},           {UnitDataOut, SCSI_IOCTL_DATA_OUT},
                 {UnitNoData, SCSI_IOCTL_DATA_UNSPECIFIED},  {3, SCSI_IOCTL_DATA_UNSPECIFIED},
                 {0xFF, SCSI_IOCTL_DATA_UNSPECIFIED},        {0x101, SCSI_IOCTL_DATA_IN},
                 {0x202, SCSI_IOCTL_DATA_OUT},               {0x105, SCSI_IOCTL_DATA_UNSPECIFIED},
                 {0x41, SCSI_IOCTL_DATA_UNSPECIFIED}};
    for (const auto& c : cases) {
        std::memset(HostIoGetCdb(0), 0, 16);
        HostIoExecute(0, c.direction, 0x306, data, sizeof data);
        EXPECT_EQ(c.dataIn, LastRequest().DataIn) << c.direction;
        EXPECT_EQ(6, LastRequest().CdbLength) << c.direction;
    }
    // The CDB area holds 16 bytes: lengths of 0 or more than 16 (low 8 bits) are refused unsent.
    const size_t sent = disk->PassThroughs().size();
    for (DWORD refused : {0u, 17u, 0x100u, 0xFFu})
        EXPECT_EQ(5u, HostIoExecute(0, UnitNoData, refused, nullptr, 0)) << refused;
    EXPECT_EQ(sent, disk->PassThroughs().size());
    EXPECT_EQ(0u, HostIoExecute(0, UnitNoData, 0x110, nullptr, 0));
}

TEST_F(SptiExecute, CdbAreaKeepsWhatTheCallerDidNotOverwrite)
{
    BYTE* cdb = HostIoGetCdb(0);
    ASSERT_NE(nullptr, cdb);
    const BYTE ten[10] = {0x28, 0, 0, 0, 0, 7, 0, 0, 1, 0};
    std::memcpy(cdb, ten, sizeof ten);
    BYTE block[512];
    EXPECT_EQ(0u, HostIoExecute(0, UnitDataIn, 10, block, sizeof block));
    std::memset(cdb, 0, 6);
    EXPECT_EQ(0u, HostIoExecute(0, UnitNoData, 6, nullptr, 0));
    EXPECT_EQ(cdb, HostIoGetCdb(0));
    EXPECT_EQ(0, std::memcmp(cdb + 6, ten + 6, 4));
    ASSERT_EQ(2u, unit->Commands().size());
    EXPECT_EQ(6u, unit->Commands()[1].cdb.size());
}

TEST_F(SptiExecute, StatusIsPackedFromSenseAndClearedBetweenCommands)
{
    unit->FailCommandWithSense(1, 0x06, 0x29, 0x00);
    EXPECT_EQ(0x29000006u, TestUnitReady(0));
    EXPECT_EQ(0u, TestUnitReady(0));
    unit->UnitAttentionOnce(0x28, 0x00);
    EXPECT_EQ(0x28000006u, TestUnitReady(0));
    BYTE* cdb = HostIoGetCdb(0);
    std::memset(cdb, 0, 6);
    cdb[0] = 0xFF;  // no such command
    EXPECT_EQ(0x20000005u, HostIoExecute(0, UnitNoData, 6, nullptr, 0));
    EXPECT_EQ(0u, TestUnitReady(0));
}

TEST_F(SptiExecute, IndexNotBelowTheCountFailsWithFileNotFound)
{
    g_sys.SetLastError(0);
    EXPECT_EQ(5u, HostIoExecute(1, UnitNoData, 6, nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());
    EXPECT_EQ(nullptr, HostIoGetCdb(1));
    DWORD value = 42;
    EXPECT_FALSE(HostIoGetDriveLetter(1, &value));
    EXPECT_FALSE(HostIoGetDeviceNumber(7, &value));
    EXPECT_EQ(42u, value);
    for (BOOL (*operation)(DWORD) : {HostIoLoadMedium, HostIoEjectMedium, HostIoLock, HostIoUnlock}) {
        g_sys.SetLastError(0);
        EXPECT_FALSE(operation(1));
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());
    }
    EXPECT_TRUE(unit->Commands().empty());
}

TEST_F(SptiExecute, BusyUnitGivesElevenAfterThirtyTwoVirtualSeconds)
{
    EmulatedProcess& other = machine.StartProcess();
    ASSERT_TRUE(other.TakeMutex("mutexSptiIo/QZV-5x/Device0"));
    unsigned opens = disk->Opens();
    uint64_t start = machine.Clock().Now();
    EXPECT_EQ(11u, TestUnitReady(0));
    EXPECT_EQ(32000u, machine.Clock().Now() - start);
    EXPECT_EQ(opens, disk->Opens());
    EXPECT_TRUE(unit->Commands().empty());

    // Released by the other process ten seconds into the next wait: the command goes through then.
    machine.Clock().After(10000, [&] { other.ReleaseMutex("mutexSptiIo/QZV-5x/Device0"); });
    start = machine.Clock().Now();
    EXPECT_EQ(0u, TestUnitReady(0));
    EXPECT_EQ(10000u, machine.Clock().Now() - start);
    EXPECT_EQ(0u, machine.Objects().FindMutex("mutexSptiIo/QZV-5x/Device0")->owner);
}

TEST_F(SptiExecute, AbandonedMutexCountsAsBusyAndIsGivenBack)
{
    EmulatedProcess& other = machine.StartProcess();
    ASSERT_TRUE(other.TakeMutex("mutexSptiIo/QZV-5x/Device0"));
    other.Exit();
    EXPECT_EQ(11u, TestUnitReady(0));
    EXPECT_EQ(0u, machine.Objects().FindMutex("mutexSptiIo/QZV-5x/Device0")->owner);
    EXPECT_TRUE(unit->Commands().empty());
    EXPECT_EQ(0u, TestUnitReady(0));
    // Nothing of it stays with this process: another one can take it at once.
    EXPECT_TRUE(machine.StartProcess().TakeMutex("mutexSptiIo/QZV-5x/Device0"));
}

TEST_F(SptiExecute, GeneralFailureIsRepeatedEveryHundredMilliseconds)
{
    disk->FailIoctl(IOCTL_SCSI_PASS_THROUGH_DIRECT, ERROR_GEN_FAILURE, 3);
    unsigned before = disk->Ioctls(IOCTL_SCSI_PASS_THROUGH_DIRECT);
    uint64_t start = machine.Clock().Now();
    EXPECT_EQ(0u, TestUnitReady(0));
    EXPECT_EQ(4u, disk->Ioctls(IOCTL_SCSI_PASS_THROUGH_DIRECT) - before);
    EXPECT_EQ(300u, machine.Clock().Now() - start);
    EXPECT_EQ(1u, unit->Commands().size());
}

TEST_F(SptiExecute, GeneralFailureRepetitionsEndAfterThirtyTwoSeconds)
{
    disk->FailIoctl(IOCTL_SCSI_PASS_THROUGH_DIRECT, ERROR_GEN_FAILURE, NtDisk::ALWAYS);
    unsigned before = disk->Ioctls(IOCTL_SCSI_PASS_THROUGH_DIRECT);
    uint64_t start = machine.Clock().Now();
    EXPECT_EQ(4u, TestUnitReady(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), g_sys.GetLastError());
    EXPECT_EQ(321u, disk->Ioctls(IOCTL_SCSI_PASS_THROUGH_DIRECT) - before);
    EXPECT_EQ(32000u, machine.Clock().Now() - start);
    EXPECT_EQ(0u, disk->OpenHandles());
    EXPECT_EQ(0u, machine.Objects().FindMutex("mutexSptiIo/QZV-5x/Device0")->owner);
}

TEST_F(SptiExecute, OtherFailuresAreNotRepeated)
{
    disk->FailIoctl(IOCTL_SCSI_PASS_THROUGH_DIRECT, ERROR_IO_DEVICE, 1);
    uint64_t start = machine.Clock().Now();
    EXPECT_EQ(4u, TestUnitReady(0));
    EXPECT_EQ(start, machine.Clock().Now());
    EXPECT_EQ(0u, disk->OpenHandles());
    EXPECT_EQ(0u, TestUnitReady(0));

    disk->FailOpen(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(4u, TestUnitReady(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), g_sys.GetLastError());
    EXPECT_EQ(0u, machine.MutexesHeld());
    EXPECT_EQ(1u, unit->Commands().size());
}

TEST_F(SptiExecute, DeviceIsOpenedAndClosedPerCommandUnlessLocked)
{
    unsigned opens = disk->Opens();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(0u, TestUnitReady(0));
        EXPECT_EQ(0u, disk->OpenHandles());
    }
    EXPECT_EQ(opens + 3, disk->Opens());

    ASSERT_TRUE(HostIoLock(0));
    EXPECT_TRUE(disk->Locked());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(0u, TestUnitReady(0));
        EXPECT_EQ(1u, disk->OpenHandles());
    }
    EXPECT_EQ(opens + 4, disk->Opens());
    EXPECT_TRUE(HostIoUnlock(0));
    EXPECT_FALSE(disk->Locked());
    EXPECT_EQ(0u, disk->OpenHandles());
    EXPECT_EQ(32u, machine.OpenHandleCount());
}

TEST_F(SptiExecute, ShortDataLeavesTheRestOfTheBufferAlone)
{
    BYTE buffer[64];
    std::memset(buffer, 0xEE, sizeof buffer);
    unit->ShortenDataIn(1, 5);
    EXPECT_EQ(0u, Inquiry(0, buffer));
    EXPECT_EQ(0x00, buffer[0]);
    for (size_t i = 5; i < sizeof buffer; ++i)
        ASSERT_EQ(0xEE, buffer[i]) << i;

    // A device that offers more than was asked for delivers only what fits.
    ScriptedAnswer tooMuch;
    tooMuch.data.assign(100, 0x11);
    disk->ScriptAnswer(tooMuch);
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(0u, Inquiry(0, buffer));
    EXPECT_EQ(0x11, buffer[35]);
    EXPECT_EQ(0xEE, buffer[36]);
}

TEST_F(SptiExecute, MalformedSenseIsReadWithinTheSenseBuffer)
{
    unit->FailCommandWithRawSense(1, std::vector<uint8_t>(255, 0xA5));
    EXPECT_EQ(0xA5A50005u, TestUnitReady(0));
    const SptiIoBlock& block = g_sptiIo.units[0].block;
    for (size_t i = 24; i < sizeof block.sense; ++i)
        ASSERT_EQ(0, block.sense[i]) << i;  // only the 24 bytes asked for arrived

    unit->FailCommandWithRawSense(1, {0x70, 0x00, 0x03});
    EXPECT_EQ(0x00000003u, TestUnitReady(0));
    unit->FailCommandWithRawSense(1, {0x72, 0x04, 0x44, 0x00});
    EXPECT_EQ(0x44000004u, TestUnitReady(0));
}

TEST_F(SptiExecute, FailedCommandWithoutSenseIsNotReportedAsSuccess)
{
    unit->FailCommandWithRawSense(1, {});
    EXPECT_EQ(4u, TestUnitReady(0));
    ScriptedAnswer busy;
    busy.scsiStatus = 0x08;
    disk->ScriptAnswer(busy);
    EXPECT_EQ(4u, TestUnitReady(0));
    // Sense that decodes to nothing after CHECK CONDITION is no success either.
    unit->FailCommandWithRawSense(1, std::vector<uint8_t>(18, 0));
    EXPECT_EQ(4u, TestUnitReady(0));
    EXPECT_EQ(0u, TestUnitReady(0));
}

TEST_F(SptiExecute, UnitThatLeftCannotBeOpened)
{
    machine.Unplug(*unit);
    EXPECT_EQ(4u, TestUnitReady(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());
    EXPECT_EQ(0u, unit->CommandsWhileAbsent());
    machine.Replug(*unit);
    EXPECT_EQ(0u, TestUnitReady(0));
}

}  // namespace
