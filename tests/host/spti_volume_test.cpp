// Volume locks, dismount, eject and load through the pass-through transport.
#include "host_scenario.h"

namespace {

class SptiVolume : public HostTest {
protected:
    void SetUp() override
    {
        unit = &machine.AttachUnit(Qzv(), NtSlot::Letter('E'));
        ASSERT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
        disk = &machine.Disk(*unit);
        unit->ClearCommands();
    }

    unsigned Count(DWORD code) const { return disk->Ioctls(code); }

    SimUnit* unit = nullptr;
    NtDisk* disk = nullptr;
};

TEST_F(SptiVolume, LockIsRetriedEveryHalfSecondUntilGranted)
{
    disk->OpenElsewhere();
    machine.Clock().After(1200, [&] { disk->CloseElsewhere(); });
    uint64_t start = machine.Clock().Now();
    ASSERT_TRUE(HostIoLock(0));
    EXPECT_EQ(4u, Count(FSCTL_LOCK_VOLUME));
    EXPECT_EQ(1500u, machine.Clock().Now() - start);
    EXPECT_TRUE(disk->Locked());
    EXPECT_EQ(1u, disk->OpenHandles());
    // Locking again asks nothing of the system.
    ASSERT_TRUE(HostIoLock(0));
    EXPECT_EQ(4u, Count(FSCTL_LOCK_VOLUME));
}

TEST_F(SptiVolume, LockGivesUpAfterSixteenTriesAndEightSeconds)
{
    disk->OpenElsewhere();
    uint64_t start = machine.Clock().Now();
    g_sys.SetLastError(0);
    EXPECT_FALSE(HostIoLock(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), g_sys.GetLastError());
    EXPECT_EQ(16u, Count(FSCTL_LOCK_VOLUME));
    EXPECT_EQ(8000u, machine.Clock().Now() - start);
    EXPECT_FALSE(disk->Locked());
    EXPECT_EQ(0u, disk->OpenHandles());
    // Commands still open and close the device for themselves.
    EXPECT_EQ(0u, TestUnitReady(0));
    EXPECT_EQ(0u, disk->OpenHandles());
}

TEST_F(SptiVolume, LockFailsWhenTheDeviceCannotBeOpened)
{
    disk->FailOpen(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(HostIoLock(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), g_sys.GetLastError());
    EXPECT_EQ(0u, Count(FSCTL_LOCK_VOLUME));
}

TEST_F(SptiVolume, LockIsReleasedByUnlockTermAndReEnumeration)
{
    ASSERT_TRUE(HostIoLock(0));
    ASSERT_TRUE(HostIoUnlock(0));
    EXPECT_EQ(1u, Count(FSCTL_UNLOCK_VOLUME));
    EXPECT_FALSE(disk->Locked());
    EXPECT_EQ(0u, disk->OpenHandles());

    ASSERT_TRUE(HostIoLock(0));
    ASSERT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ(2u, Count(FSCTL_UNLOCK_VOLUME));
    EXPECT_EQ(0u, disk->OpenHandles());

    ASSERT_TRUE(HostIoLock(0));
    EXPECT_TRUE(HostIoTerm());
    EXPECT_EQ(3u, Count(FSCTL_UNLOCK_VOLUME));
    EXPECT_EQ(0u, machine.OpenHandleCount());
}

TEST_F(SptiVolume, EjectLocksDismountsEjectsAndUnlocksForItself)
{
    ASSERT_TRUE(HostIoEjectMedium(0));
    EXPECT_EQ(1u, Count(FSCTL_LOCK_VOLUME));
    EXPECT_EQ(1u, Count(FSCTL_DISMOUNT_VOLUME));
    EXPECT_EQ(1u, Count(IOCTL_DISK_EJECT_MEDIA));
    EXPECT_EQ(1u, Count(FSCTL_UNLOCK_VOLUME));
    EXPECT_EQ(0u, disk->OpenHandles());
    ASSERT_EQ(1u, unit->Commands().size());
    const std::vector<uint8_t> ejectCommand = {0x1B, 0, 0, 0, 0x02, 0};
    EXPECT_EQ(ejectCommand, unit->Commands()[0].cdb);
    EXPECT_FALSE(unit->Config().mediumPresent);

    ASSERT_TRUE(HostIoLoadMedium(0));
    EXPECT_EQ(1u, Count(IOCTL_DISK_LOAD_MEDIA));
    EXPECT_TRUE(unit->Config().mediumPresent);
    EXPECT_EQ(0u, disk->OpenHandles());
}

TEST_F(SptiVolume, EjectWithoutTheLockDoesNotDismount)
{
    disk->OpenElsewhere();
    ASSERT_TRUE(HostIoEjectMedium(0));
    EXPECT_EQ(1u, Count(FSCTL_LOCK_VOLUME));  // tried once, no repetitions
    EXPECT_EQ(0u, Count(FSCTL_DISMOUNT_VOLUME));
    EXPECT_EQ(1u, Count(IOCTL_DISK_EJECT_MEDIA));
    EXPECT_EQ(0u, Count(FSCTL_UNLOCK_VOLUME));
    EXPECT_EQ(0u, disk->OpenHandles());
}

TEST_F(SptiVolume, EjectUnderTheTransportsLockKeepsIt)
{
    ASSERT_TRUE(HostIoLock(0));
    ASSERT_TRUE(HostIoEjectMedium(0));
    EXPECT_EQ(1u, Count(FSCTL_LOCK_VOLUME));
    EXPECT_EQ(1u, Count(FSCTL_DISMOUNT_VOLUME));
    EXPECT_EQ(0u, Count(FSCTL_UNLOCK_VOLUME));
    EXPECT_TRUE(disk->Locked());
    EXPECT_EQ(1u, disk->OpenHandles());
}

TEST_F(SptiVolume, MediumOperationsReportTheControlResult)
{
    disk->FailIoctl(IOCTL_DISK_EJECT_MEDIA, ERROR_NOT_READY);
    EXPECT_FALSE(HostIoEjectMedium(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), g_sys.GetLastError());
    EXPECT_EQ(1u, Count(FSCTL_UNLOCK_VOLUME));
    EXPECT_EQ(0u, disk->OpenHandles());

    disk->FailIoctl(IOCTL_DISK_LOAD_MEDIA, ERROR_IO_DEVICE);
    EXPECT_FALSE(HostIoLoadMedium(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_IO_DEVICE), g_sys.GetLastError());
    EXPECT_EQ(0u, disk->OpenHandles());

    disk->FailOpen(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(HostIoLoadMedium(0));
    EXPECT_EQ(1u, Count(IOCTL_DISK_LOAD_MEDIA));  // only the failed one
}

}  // namespace
