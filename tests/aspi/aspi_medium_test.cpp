// Medium requests of the ASPI transport: START STOP UNIT for loading, and the VWIN32 generic IOCTL
// requests for eject, lock and unlock with their results and last errors.
#include "aspi_scenario.h"

namespace {

class AspiMedium : public AspiTest {
protected:
    void SetUp() override
    {
        lettered = &machine.AttachAspiUnit(Qzv(), 0, 2, 0, 'E');
        letterless = &machine.AttachAspiUnit(Qzv(), 0, 3, 1);
        ASSERT_EQ(2u, Enumerate());
        lettered->ClearCommands();
        letterless->ClearCommands();
    }

    const std::vector<DIOC_REGISTERS>& Requests() { return machine.Vwin32().Requests(); }

    SimUnit* lettered = nullptr;
    SimUnit* letterless = nullptr;
};

TEST_F(AspiMedium, LoadSendsStartStopUnitAndJudgesItsLowByte)
{
    ASSERT_TRUE(HostIoLoadMedium(1));
    ASSERT_EQ(1u, letterless->Commands().size());
    const std::vector<uint8_t> cdb = {0x1B, 1 << 5, 0, 0, 0x03, 0};
    EXPECT_EQ(cdb, std::vector<uint8_t>(LastRequest().CDBByte, LastRequest().CDBByte + 6));
    EXPECT_EQ(SRB_EVENT_NOTIFY, LastRequest().SRB_Flags);
    EXPECT_EQ(0u, LastRequest().SRB_BufLen);

    const struct {
        BYTE key;
        DWORD error;
    } answers[] = {{0x06, ERROR_NOT_READY}, {0x02, ERROR_NOT_READY}, {0x05, ERROR_FILE_NOT_FOUND},
                   {0x03, ERROR_BAD_UNIT}};
    for (const auto& answer : answers) {
        letterless->FailCommandWithSense(1, answer.key, 0x3A, 0x00);
        EXPECT_FALSE(HostIoLoadMedium(1)) << int(answer.key);
        EXPECT_EQ(answer.error, g_sys.GetLastError()) << int(answer.key);
    }
    // Not carried to the unit (status 4) and busy (11) are neither of the named keys.
    machine.Aspi().ScriptStatus({SS_ERR, HASTAT_SEL_TO, SCSISTAT_GOOD, {}});
    EXPECT_FALSE(HostIoLoadMedium(1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_UNIT), g_sys.GetLastError());
    ASSERT_TRUE(machine.StartProcess().TakeMutex("mutexAspiIo/QZV-5x/Device1"));
    EXPECT_FALSE(HostIoLoadMedium(1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_UNIT), g_sys.GetLastError());
    EXPECT_TRUE(Requests().empty()) << "loading does not go through VWIN32";
}

TEST_F(AspiMedium, EjectIsAGenericIoctlForTheUnitsDrive)
{
    ASSERT_TRUE(HostIoEjectMedium(0));
    ASSERT_EQ(1u, Requests().size());
    const DIOC_REGISTERS& request = Requests()[0];
    EXPECT_EQ(5u, request.reg_EBX);  // E
    EXPECT_EQ(0u, request.reg_EDX);
    EXPECT_EQ(0x0849u, request.reg_ECX);
    EXPECT_EQ(0x440Du, request.reg_EAX);
    EXPECT_EQ(1u, request.reg_Flags);
    ASSERT_EQ(1u, lettered->Commands().size());
    EXPECT_EQ(0x02, lettered->Commands()[0].cdb[4]) << "the medium left";

    // Without a drive letter the request is still sent, for drive -64, and the service's error is
    // the last error.
    EXPECT_FALSE(HostIoEjectMedium(1));
    EXPECT_EQ(static_cast<DWORD>(-64), Requests().back().reg_EBX);
    EXPECT_EQ(static_cast<DWORD>(DOS_ERROR_INVALID_DRIVE), g_sys.GetLastError());
    EXPECT_TRUE(letterless->Commands().empty());

    machine.Vwin32().FailRequests(DOS_ERROR_NOT_READY);
    EXPECT_FALSE(HostIoEjectMedium(0));
    EXPECT_EQ(static_cast<DWORD>(DOS_ERROR_NOT_READY), g_sys.GetLastError());
    machine.Vwin32().FailControl(ERROR_GEN_FAILURE);
    EXPECT_FALSE(HostIoEjectMedium(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), g_sys.GetLastError());
}

TEST_F(AspiMedium, LockAndUnlockOncePerStateAndNeverWithoutALetter)
{
    EXPECT_TRUE(HostIoLock(1));
    EXPECT_TRUE(HostIoUnlock(1));
    EXPECT_TRUE(HostIoUnlock(0)) << "not locked: nothing to do";
    EXPECT_TRUE(Requests().empty());

    ASSERT_TRUE(HostIoLock(0));
    EXPECT_TRUE(HostIoLock(0));
    ASSERT_EQ(1u, Requests().size());
    EXPECT_EQ(0x084Au, Requests()[0].reg_ECX);
    EXPECT_EQ(5u, Requests()[0].reg_EBX) << "lock level 0 in bits 8-15";
    EXPECT_TRUE(machine.Vwin32().Locked('E'));

    // An unlock the service refuses keeps the flag, so a later unlock tries again.
    machine.Vwin32().FailRequests(DOS_ERROR_GEN_FAILURE);
    EXPECT_FALSE(HostIoUnlock(0));
    EXPECT_EQ(static_cast<DWORD>(DOS_ERROR_GEN_FAILURE), g_sys.GetLastError());
    EXPECT_TRUE(g_aspiIo.units[0].volumeLocked);
    ASSERT_TRUE(HostIoUnlock(0));
    EXPECT_EQ(0x086Au, Requests().back().reg_ECX);
    EXPECT_FALSE(machine.Vwin32().Locked('E'));
    EXPECT_FALSE(g_aspiIo.units[0].volumeLocked);
    EXPECT_EQ(3u, Requests().size());
}

TEST_F(AspiMedium, RefusedLockLeavesTheFlagClear)
{
    machine.Vwin32().OpenElsewhere('E');
    EXPECT_FALSE(HostIoLock(0));
    EXPECT_EQ(static_cast<DWORD>(DOS_ERROR_ACCESS_DENIED), g_sys.GetLastError());
    EXPECT_FALSE(g_aspiIo.units[0].volumeLocked);
    EXPECT_TRUE(HostIoUnlock(0));
    EXPECT_EQ(1u, Requests().size()) << "no unlock for a lock never taken";
}

}  // namespace
