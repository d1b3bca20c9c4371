// Commands through the ASPI manager: the request block, statuses from sense data and from the
// manager's own status, requests that complete later or never (time-out and abort on the virtual
// clock), the busy unit, and indices out of range.
#include "aspi_scenario.h"

namespace {

class AspiExecute : public AspiTest {
protected:
    void SetUp() override
    {
        unit = &machine.AttachAspiUnit(Qzv(), 1, 4, 0, 'E');
        ASSERT_EQ(1u, Enumerate());
        unit->ClearCommands();
    }

    SimUnit* unit = nullptr;
};

TEST_F(AspiExecute, RequestBlockCarriesTheCommand)
{
    BYTE* cdb = HostIoGetCdb(0);
    ASSERT_EQ(g_aspiIo.units[0].request.CDBByte, cdb);
    std::memset(g_aspiIo.units[0].request.SRB_Rsvd2, 0xA5, 20);
    const BYTE read[10] = {0x28, 0, 0, 0, 0, 7, 0, 0, 1, 0};
    std::memcpy(cdb, read, sizeof read);
    BYTE block[512];
    ASSERT_EQ(0u, HostIoExecute(0, 0x301, 0x20A, block, sizeof block));  // low 8 bits only
    const SRB_ExecSCSICmd& request = LastRequest();
    EXPECT_EQ(SC_EXEC_SCSI_CMD, request.SRB_Cmd);
    EXPECT_EQ(1, request.SRB_HaId);
    EXPECT_EQ(SRB_EVENT_NOTIFY | SRB_DIR_IN, request.SRB_Flags);
    EXPECT_EQ(0u, request.SRB_Hdr_Rsvd);
    EXPECT_EQ(4, request.SRB_Target);
    EXPECT_EQ(0, request.SRB_Lun);
    EXPECT_EQ(sizeof block, request.SRB_BufLen);
    EXPECT_EQ(block, request.SRB_BufPointer);
    EXPECT_EQ(SENSE_LEN, request.SRB_SenseLen);
    EXPECT_EQ(10, request.SRB_CDBLen);
    EXPECT_EQ(g_aspiIo.units[0].event, request.SRB_PostProc);
    const BYTE reserved[20] = {0, 0, 0, 0, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5,
                               0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5};
    EXPECT_EQ(0, std::memcmp(reserved, request.SRB_Rsvd2, 20));
    EXPECT_EQ(0, std::memcmp(read, request.CDBByte, sizeof read));
    ASSERT_EQ(1u, unit->Commands().size());
    EXPECT_EQ(std::vector<uint8_t>(read, read + 10), unit->Commands()[0].cdb);

    const struct {
        DWORD direction;
        BYTE flags;
    } directions[] = {{UnitDataOut, SRB_EVENT_NOTIFY | SRB_DIR_OUT}, {UnitNoData, SRB_EVENT_NOTIFY},
                      {3, SRB_EVENT_NOTIFY},                          {0x102, SRB_EVENT_NOTIFY | SRB_DIR_OUT}};
    for (const auto& d : directions) {
        std::memset(cdb, 0, 6);
        HostIoExecute(0, d.direction, 6, nullptr, 0);
        EXPECT_EQ(d.flags, LastRequest().SRB_Flags) << d.direction;
    }
    // The bytes beyond those the caller wrote stay from the earlier command.
    EXPECT_EQ(0, std::memcmp(read + 6, cdb + 6, 4));
}

TEST_F(AspiExecute, StatusComesFromSenseClearedBeforeEachCommand)
{
    unit->FailCommandWithSense(1, 0x06, 0x29, 0x00);
    EXPECT_EQ(0x29000006u, TestUnitReady(0));
    EXPECT_EQ(0u, TestUnitReady(0));
    BYTE* cdb = HostIoGetCdb(0);
    std::memset(cdb, 0, 6);
    cdb[0] = 0xFF;
    EXPECT_EQ(0x20000005u, HostIoExecute(0, UnitNoData, 6, nullptr, 0));
}

TEST_F(AspiExecute, ManagerStatusesWithoutSenseAreNotTakenForSuccess)
{
    const struct {
        AspiScriptedStatus answer;
        UnitStatus expected;
    } cases[] = {
        {{SS_COMP, HASTAT_OK, SCSISTAT_GOOD, {}}, 0},
        {{SS_ERR, HASTAT_SEL_TO, SCSISTAT_GOOD, {}}, 4},              // nothing answered
        {{SS_ABORTED, HASTAT_OK, SCSISTAT_GOOD, {}}, 4},
        {{SS_INVALID_SRB, HASTAT_OK, SCSISTAT_GOOD, {}}, 4},
        {{SS_ERR, HASTAT_OK, SCSISTAT_CHECK_CONDITION, {}}, 4},       // CHECK CONDITION, sense lost
        {{SS_ERR, HASTAT_DO_DU, SCSISTAT_GOOD, {}}, 0},               // short data phase, completed
        {{SS_ERR, HASTAT_DO_DU, SCSISTAT_CHECK_CONDITION, {}}, 4},
        {{SS_ERR, HASTAT_OK, SCSISTAT_CHECK_CONDITION, {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0x01}},
         0x3A010002u},
        // More sense than the request asked for: only SRB_SenseLen bytes arrive.
        {{SS_ERR, HASTAT_OK, SCSISTAT_CHECK_CONDITION, std::vector<BYTE>(18, 0xEE)}, 0xEEEE000Eu},
    };
    for (const auto& c : cases) {
        machine.Aspi().ScriptStatus(c.answer);
        EXPECT_EQ(c.expected, TestUnitReady(0)) << int(c.answer.srbStatus) << "/" << int(c.answer.haStat);
        EXPECT_EQ(0, g_aspiIo.units[0].request.SenseArea[14]);
        EXPECT_EQ(0, g_aspiIo.units[0].request.SenseArea[15]);
    }
    EXPECT_TRUE(unit->Commands().empty()) << "scripted answers do not reach the unit";
}

TEST_F(AspiExecute, StatusFieldsAreClearedSoThatNoEarlierOutcomeIsTakenForThisOne)
{
    // A short data phase the target completed counts as done...
    machine.Aspi().ScriptStatus({SS_ERR, HASTAT_DO_DU, SCSISTAT_GOOD, {}});
    EXPECT_EQ(0u, TestUnitReady(0));
    // ... but a failed request whose adapter and target bytes the manager leaves unwritten is not.
    AspiScriptedStatus silent = {SS_ERR, HASTAT_OK, SCSISTAT_GOOD, {}};
    silent.writesHaAndTargStat = false;
    machine.Aspi().ScriptStatus(silent);
    EXPECT_EQ(4u, TestUnitReady(0));

    // A request the manager ends at once without writing its status has not completed either.
    EXPECT_EQ(0u, TestUnitReady(0));
    AspiScriptedStatus unwritten = {};
    unwritten.writesSrbStatus = false;
    machine.Aspi().ScriptStatus(unwritten);
    machine.Aspi().CompleteRequests(AspiCompletion::AtOnce, 0, 1);
    EXPECT_EQ(4u, TestUnitReady(0));
    EXPECT_EQ(1u, unit->Commands().size()) << "scripted answers do not reach the unit";
}

TEST_F(AspiExecute, RequestsCompletingAtOnceOrLaterWithinTheWait)
{
    machine.Aspi().CompleteRequests(AspiCompletion::AtOnce, 0, 1);
    EXPECT_EQ(0u, TestUnitReady(0));
    machine.Aspi().CompleteRequests(AspiCompletion::Later, 15999, 1);
    const uint64_t start = machine.Clock().Now();
    EXPECT_EQ(0u, TestUnitReady(0));
    EXPECT_EQ(15999u, machine.Clock().Now() - start);
    EXPECT_EQ(2u, unit->Commands().size());
    EXPECT_EQ(0u, machine.Aspi().Aborts());
    EXPECT_EQ(SS_COMP, g_aspiIo.units[0].request.SRB_Status);
}

TEST_F(AspiExecute, RequestThatNeverCompletesIsAbortedAfterSixteenSeconds)
{
    for (AspiCompletion how : {AspiCompletion::Never, AspiCompletion::Later}) {
        machine.Aspi().CompleteRequests(how, 16001, 1);
        const unsigned aborts = machine.Aspi().Aborts();
        const uint64_t start = machine.Clock().Now();
        EXPECT_EQ(4u, TestUnitReady(0));
        EXPECT_EQ(16000u, machine.Clock().Now() - start);
        EXPECT_EQ(aborts + 1, machine.Aspi().Aborts());
        EXPECT_EQ(0u, machine.Aspi().PendingRequests()) << "the abort named the record's block";
        EXPECT_EQ(SS_ABORTED, g_aspiIo.units[0].request.SRB_Status);
        EXPECT_EQ(0u, machine.Objects().FindMutex("mutexAspiIo/QZV-5x/Device0")->owner);
        // The request is gone for good: the clock passing its completion time changes nothing.
        g_sys.Sleep(10000);
        EXPECT_TRUE(unit->Commands().empty());
    }
    EXPECT_EQ(0u, TestUnitReady(0));
}

TEST_F(AspiExecute, AnAbortedRequestIsAwaitedOnceMoreAndOneNeverGivenBackStopsEveryCommand)
{
    machine.Aspi().IgnoreAborts();
    // Given back 20 s after it was sent: inside the second wait, which ends there.
    machine.Aspi().CompleteRequests(AspiCompletion::Later, 20000, 1);
    uint64_t start = machine.Clock().Now();
    EXPECT_EQ(4u, TestUnitReady(0));
    EXPECT_EQ(20000u, machine.Clock().Now() - start);
    EXPECT_EQ(1u, machine.Aspi().Aborts());
    EXPECT_EQ(0u, machine.Aspi().PendingRequests());
    EXPECT_EQ(SS_ABORTED, g_aspiIo.units[0].request.SRB_Status);
    EXPECT_EQ(0u, TestUnitReady(0));

    // Not given back within the second wait: nothing is sent while the manager holds the block,
    // neither to this unit nor to any other, and the block is not touched.
    machine.Aspi().CompleteRequests(AspiCompletion::Later, 50000, 1);
    start = machine.Clock().Now();
    EXPECT_EQ(4u, TestUnitReady(0));
    EXPECT_EQ(32000u, machine.Clock().Now() - start);
    EXPECT_EQ(0u, machine.Objects().FindMutex("mutexAspiIo/QZV-5x/Device0")->owner);
    const size_t requests = machine.Aspi().Requests().size();
    EXPECT_EQ(4u, TestUnitReady(0));
    EXPECT_EQ(0u, Enumerate()) << "the probes are refused too";
    EXPECT_EQ(requests, machine.Aspi().Requests().size());
    EXPECT_EQ(SS_PENDING, g_aspiIo.units[0].request.SRB_Status);
    EXPECT_EQ(1u, machine.Aspi().PendingRequests());

    // Once the manager has given it back at last, commands go out again.
    g_sys.Sleep(20000);
    EXPECT_EQ(0u, machine.Aspi().PendingRequests());
    EXPECT_EQ(1u, Enumerate());
    EXPECT_EQ(0u, TestUnitReady(0));
}

TEST_F(AspiExecute, FailedCompletionWaitIsTreatedAsATimeOut)
{
    machine.Aspi().CompleteRequests(AspiCompletion::Never, 0, 1);
    // The first wait (the mutex) succeeds, the second (the event) fails.
    machine.Faults().FailNthCall(2, ERROR_INVALID_HANDLE, FaultRepeat::Once, "WaitForSingleObject");
    EXPECT_EQ(4u, TestUnitReady(0));
    EXPECT_EQ(1u, machine.Aspi().Aborts());
    EXPECT_EQ(0u, machine.Aspi().PendingRequests());
    EXPECT_EQ(0u, machine.Objects().FindMutex("mutexAspiIo/QZV-5x/Device0")->owner);
}

TEST_F(AspiExecute, BusyOrAbandonedMutexGivesEleven)
{
    EmulatedProcess& other = machine.StartProcess();
    ASSERT_TRUE(other.TakeMutex("mutexAspiIo/QZV-5x/Device0"));
    machine.Clock().After(12000, [&] { other.ReleaseMutex("mutexAspiIo/QZV-5x/Device0"); });
    uint64_t start = machine.Clock().Now();
    EXPECT_EQ(0u, TestUnitReady(0)) << "released within the wait";
    EXPECT_EQ(12000u, machine.Clock().Now() - start);

    ASSERT_TRUE(other.TakeMutex("mutexAspiIo/QZV-5x/Device0"));
    start = machine.Clock().Now();
    EXPECT_EQ(11u, TestUnitReady(0));
    EXPECT_EQ(16000u, machine.Clock().Now() - start);
    other.Exit();
    EXPECT_EQ(11u, TestUnitReady(0)) << "abandoned";
    EXPECT_EQ(0u, machine.Objects().FindMutex("mutexAspiIo/QZV-5x/Device0")->owner);
    EXPECT_EQ(1u, unit->Commands().size());
    EXPECT_EQ(0u, TestUnitReady(0));
}

TEST_F(AspiExecute, IndexOutOfRangeAndQueriesThisTransportLacks)
{
    g_sys.SetLastError(0);
    EXPECT_EQ(5u, HostIoExecute(1, UnitNoData, 6, nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());
    EXPECT_EQ(nullptr, HostIoGetCdb(1));
    for (BOOL (*operation)(DWORD) : {HostIoLoadMedium, HostIoEjectMedium, HostIoLock, HostIoUnlock}) {
        g_sys.SetLastError(0);
        EXPECT_FALSE(operation(1));
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());
    }
    DWORD value = 42;
    EXPECT_FALSE(HostIoGetDriveLetter(1, &value));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());
    // Valid index: not supported, though the record holds a drive letter; nothing is stored.
    EXPECT_EQ('E', g_aspiIo.units[0].driveLetter);
    EXPECT_FALSE(HostIoGetDriveLetter(0, &value));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), g_sys.GetLastError());
    EXPECT_FALSE(HostIoGetDeviceNumber(0, &value));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), g_sys.GetLastError());
    EXPECT_EQ(42u, value);
    EXPECT_EQ(2u * 16 * 8, machine.Aspi().Requests().size()) << "no request beyond the enumeration's";
}

}  // namespace
