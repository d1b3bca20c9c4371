// Commands on units found by the SCSI generic transport: what reaches the device, the statuses
// that come back, a unit held by another process, devices that vanish, and the per-unit operations.
#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "support/child_process.h"
#include "tests/sg/sg_transport_fixture.h"

namespace {

const Bytes INQUIRY = {0x12, 0, 0, 0, 36, 0};
const Bytes TEST_UNIT_READY = {0x00, 0, 0, 0, 0, 0};

class SgCommandTest : public SgTransportTest {
protected:
    // One unit at sg0 (the simulated QZV-57) and, for scripted answers, another device at sg1.
    void SetUp() override
    {
        unit = &devices.AddUnit(0);
        other = &devices.AddOther(1, OtherInquiry("VORNA", "QZV-57G"));
        other->address = {1, 0, 0, 0};
        ASSERT_EQ(2u, Enumerate());
    }

    UnitStatus Scripted(const SgScriptedOutcome& outcome)
    {
        other->scripted.push_back(outcome);
        return TestUnitReady(1);
    }

    SimulatedSgDevice* unit = nullptr;
    SimulatedSgDevice* other = nullptr;
};

TEST_F(SgCommandTest, ACommandCarriesItsCdbAndDataAndOpensTheDeviceOnlyForItself)
{
    Bytes answer(36, 0xEE);
    unsigned opensBefore = unit->opens;
    EXPECT_EQ(0u, Run(0, INQUIRY, UnitDataIn, answer.data(), 36));
    EXPECT_EQ(0, std::memcmp(answer.data() + 8, "VORNA   QZV-57H ", 16));
    EXPECT_EQ(INQUIRY, unit->unit->Commands().back().cdb);
    EXPECT_EQ(opensBefore + 1, unit->opens);
    EXPECT_EQ(0u, devices.openDescriptors);
}

TEST_F(SgCommandTest, DirectionAndLengthsCountByTheirLowEightBits)
{
    BYTE buffer[8] = {};
    struct Case {
        DWORD direction;
        SgTransfer transfer;
        DWORD length;
    } cases[] = {
        {UnitDataIn, SgTransferIn, 8},  {UnitDataOut, SgTransferOut, 8}, {UnitNoData, SgTransferNone, 0},
        {3, SgTransferNone, 0},         {0x101, SgTransferIn, 8},        {0x202, SgTransferOut, 8},
    };
    for (const Case& c : cases) {
        BYTE* cdb = sg->getCdb(1);
        std::memcpy(cdb, "\x28\x00\x00\x00\x00\x00\x00\x00\x01\x00", 10);
        EXPECT_EQ(0u, sg->execute(1, c.direction, 0x10A, buffer, sizeof buffer)) << c.direction;
        const SgReceived& received = other->received.back();
        EXPECT_EQ(c.transfer, received.transfer) << c.direction;
        EXPECT_EQ(c.length, received.length) << c.direction;
        EXPECT_EQ(10u, received.cdb.size());
    }
}

TEST_F(SgCommandTest, ACommandThatCannotBeCarriedIsStatusFourWithoutReachingTheDevice)
{
    size_t before = other->received.size();
    BYTE buffer[36];
    EXPECT_EQ(4u, sg->execute(1, UnitNoData, 0, nullptr, 0));
    EXPECT_EQ(4u, sg->execute(1, UnitNoData, 17, nullptr, 0));        // longer than the CDB area
    EXPECT_EQ(4u, sg->execute(1, UnitDataIn, 6, nullptr, 36));        // nowhere to put the data
    EXPECT_EQ(0u, sg->execute(1, UnitNoData, 6, nullptr, 36));        // no data phase: no buffer needed
    EXPECT_EQ(0u, sg->execute(1, UnitDataIn, 6, buffer, 0));
    EXPECT_EQ(before + 2, other->received.size());

    other->executeError = EIO;
    EXPECT_EQ(4u, TestUnitReady(1));
    other->executeError = 0;
    other->openError = EBUSY;
    EXPECT_EQ(4u, TestUnitReady(1));
}

volatile sig_atomic_t s_deliveries = 0;
void CountDelivery(int)
{
    s_deliveries = s_deliveries + 1;
}

TEST_F(SgCommandTest, SignalsArrivingDuringACommandWaitForItsEndAndNothingIsSentTwice)
{
    // Handlers as the terminal front end installs them while a dialog is shown (SA_RESTART).
    struct sigaction counting = {}, previousResize = {}, previousUser = {};
    counting.sa_handler = CountDelivery;
    counting.sa_flags = SA_RESTART;
    sigemptyset(&counting.sa_mask);
    sigaction(SIGWINCH, &counting, &previousResize);
    sigaction(SIGUSR1, &counting, &previousUser);
    s_deliveries = 0;

    int deliveredWhileRunning = -1;
    std::vector<int> notHeld;
    unit->whileRunning = [&] {
        kill(getpid(), SIGWINCH);
        raise(SIGUSR1);
        deliveredWhileRunning = s_deliveries;
        sigset_t mask;
        pthread_sigmask(SIG_BLOCK, nullptr, &mask);
        for (int held : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGWINCH, SIGALRM, SIGCHLD, SIGUSR1, SIGPIPE})
            if (!sigismember(&mask, held))
                notHeld.push_back(held);
    };
    const unsigned attempts = unit->attempts;
    EXPECT_EQ(0u, TestUnitReady(0));
    EXPECT_EQ(0, deliveredWhileRunning);
    EXPECT_EQ(std::vector<int>{}, notHeld);
    EXPECT_EQ(2, s_deliveries) << "both are delivered once the command has ended";
    EXPECT_EQ(attempts + 1, unit->attempts);
    unit->whileRunning = nullptr;

    // A request interrupted all the same ends in 4; it is not tried again.
    other->executeError = EINTR;
    const unsigned otherAttempts = other->attempts;
    EXPECT_EQ(4u, TestUnitReady(1));
    EXPECT_EQ(otherAttempts + 1, other->attempts);
    other->executeError = 0;

    sigset_t after;
    pthread_sigmask(SIG_BLOCK, nullptr, &after);
    EXPECT_FALSE(sigismember(&after, SIGUSR1)) << "the thread's mask is put back";
    sigaction(SIGWINCH, &previousResize, nullptr);
    sigaction(SIGUSR1, &previousUser, nullptr);
}

TEST_F(SgCommandTest, StatusesComeFromTheSenseTheUnitReturnsOrAreFourWithoutIt)
{
    unit->unit->UnitAttentionOnce();
    EXPECT_EQ(0x29000006u, TestUnitReady(0));
    EXPECT_EQ(0u, TestUnitReady(0));
    unit->unit->FailCommandWithRawSense(1, {0x72, 0x02, 0x3A, 0x00});  // descriptor format: no medium
    EXPECT_EQ(0x3A000002u, TestUnitReady(0));
    unit->unit->FailCommandWithRawSense(1, {});
    EXPECT_EQ(4u, TestUnitReady(0));
    Bytes longSense(40, 0);
    longSense[0] = 0x70;
    longSense[2] = 0x04;
    longSense[12] = 0x44;
    longSense[39] = 0xFF;
    unit->unit->FailCommandWithRawSense(1, longSense);
    EXPECT_EQ(0x44000004u, TestUnitReady(0));
    EXPECT_EQ(4u, Scripted({0x00, 0x03, 0x00, {}}));  // the host adapter timed out, no sense
}

TEST_F(SgCommandTest, SenseFromAnEarlierCommandNeverShowsInALaterOne)
{
    EXPECT_EQ(0x3A000002u, Scripted({0x02, 0x00, 0x08, {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0}}));
    // The next answer writes no sense but ends in CHECK CONDITION: nothing of the earlier sense is read.
    EXPECT_EQ(4u, Scripted({0x02, 0x00, 0x00, {}}));
    EXPECT_EQ(0u, Scripted({0x00, 0x00, 0x00, {}}));
}

TEST_F(SgCommandTest, AUnitHeldByAnotherProcessIsBusyAfterTheMutexWait)
{
    RecordedTime time;
    time.waitCap = 100;
    ChildProcess holder([](ChildProcess& self) {
        HANDLE mutex = g_sys.CreateMutexA(nullptr, FALSE, UnitMutexName("0:0:0:0").c_str());
        if (mutex == nullptr || g_sys.WaitForSingleObject(mutex, 5000) != WAIT_OBJECT_0)
            return false;
        self.Signal();
        self.AwaitGo();
        bool released = g_sys.ReleaseMutex(mutex);
        self.Signal();
        self.AwaitGo();
        return released;
    });
    ASSERT_TRUE(holder.Started());
    ASSERT_TRUE(holder.AwaitSignal());

    unsigned opensBefore = unit->opens;
    EXPECT_EQ(11u, TestUnitReady(0));
    EXPECT_EQ((std::vector<DWORD>{32000}), time.waits);
    EXPECT_EQ(opensBefore, unit->opens);  // the device is not even opened
    EXPECT_EQ(0u, TestUnitReady(1));      // the other unit has a mutex of its own

    holder.Go();
    ASSERT_TRUE(holder.AwaitSignal());
    EXPECT_EQ(0u, TestUnitReady(0));
    holder.Go();
    EXPECT_EQ(0, holder.Finish());
}

TEST_F(SgCommandTest, AHolderThatDiedDoesNotKeepTheUnitBusy)
{
    RecordedTime time;
    time.waitCap = 2000;
    ChildProcess holder([](ChildProcess& self) {
        HANDLE mutex = g_sys.CreateMutexA(nullptr, FALSE, UnitMutexName("0:0:0:0").c_str());
        if (mutex == nullptr || g_sys.WaitForSingleObject(mutex, 5000) != WAIT_OBJECT_0)
            return false;
        self.Signal();
        self.AwaitGo();
        return true;
    });
    ASSERT_TRUE(holder.Started());
    ASSERT_TRUE(holder.AwaitSignal());
    holder.Kill();
    EXPECT_EQ(-1, holder.Finish());
    EXPECT_EQ(0u, TestUnitReady(0));
}

TEST_F(SgCommandTest, AnAbandonedMutexIsBusyAndGivenBack)
{
    RecordedTime time;
    time.reportAbandoned = true;
    size_t before = unit->received.size();
    EXPECT_EQ(11u, TestUnitReady(0));
    EXPECT_EQ(1u, time.releases);
    EXPECT_EQ(before, unit->received.size());
}

TEST_F(SgCommandTest, AUnitThatVanishesAnswersFourUntilItIsBack)
{
    unit->unit->Unplug();
    EXPECT_EQ(4u, TestUnitReady(0));  // SG_IO on the open device fails
    EXPECT_EQ(4u, TestUnitReady(0));  // the device node is gone
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());
    EXPECT_EQ(0u, devices.openDescriptors);

    unit->unit->Replug();
    unit->present = true;
    EXPECT_EQ(0u, TestUnitReady(0));
}

TEST_F(SgCommandTest, IndicesBeyondTheCountFailAsFileNotFound)
{
    DWORD value = 77;
    const DWORD beyond = 2;
    EXPECT_EQ(nullptr, sg->getCdb(beyond));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());
    EXPECT_EQ(5u, sg->execute(beyond, UnitNoData, 6, nullptr, 0));
    g_sys.SetLastError(0);
    EXPECT_FALSE(sg->getDriveLetter(beyond, &value));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());
    EXPECT_FALSE(sg->getDeviceNumber(beyond, &value));
    EXPECT_FALSE(sg->loadMedium(beyond));
    EXPECT_FALSE(sg->ejectMedium(beyond));
    EXPECT_FALSE(sg->lock(beyond));
    g_sys.SetLastError(0);
    EXPECT_FALSE(sg->unlock(beyond));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());
    EXPECT_EQ(77u, value);
}

TEST_F(SgCommandTest, DriveLettersAreNotSupported)
{
    DWORD letter = 77;
    EXPECT_FALSE(sg->getDriveLetter(0, &letter));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), g_sys.GetLastError());
    EXPECT_EQ(77u, letter);
}

TEST_F(SgCommandTest, LoadAndEjectAreStartStopUnitJudgedBySenseKey)
{
    EXPECT_TRUE(sg->loadMedium(1));
    EXPECT_EQ((Bytes{0x1B, 0, 0, 0, 0x03, 0}), other->received.back().cdb);
    EXPECT_EQ(SgTransferNone, other->received.back().transfer);
    EXPECT_TRUE(sg->ejectMedium(1));
    EXPECT_EQ((Bytes{0x1B, 0, 0, 0, 0x02, 0}), other->received.back().cdb);

    struct Case {
        SgScriptedOutcome outcome;
        DWORD error;
    } cases[] = {
        {{0x02, 0, 0x08, {0x70, 0, 0x06, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x28, 0}}, ERROR_NOT_READY},
        {{0x02, 0, 0x08, {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0}}, ERROR_NOT_READY},
        {{0x02, 0, 0x08, {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0}}, ERROR_FILE_NOT_FOUND},
        {{0x02, 0, 0x08, {0x70, 0, 0x03, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x11, 0}}, ERROR_BAD_UNIT},
        {{0x00, 0x07, 0, {}}, ERROR_BAD_UNIT},
    };
    for (const Case& c : cases) {
        other->scripted.push_back(c.outcome);
        EXPECT_FALSE(sg->loadMedium(1));
        EXPECT_EQ(c.error, g_sys.GetLastError());
        other->scripted.push_back(c.outcome);
        EXPECT_FALSE(sg->ejectMedium(1));
        EXPECT_EQ(c.error, g_sys.GetLastError());
    }
    // A zero sense key passes whatever ASC it carries.
    other->scripted.push_back({0x02, 0, 0x08, {0x70, 0, 0x00, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x5E, 0}});
    EXPECT_TRUE(sg->loadMedium(1));
}

TEST_F(SgCommandTest, ALockedUnitKeepsItsDeviceAndItsDiskOpenUntilUnlocked)
{
    unit->block = SimulatedSgDevice::BLOCK_DEVICE;
    ASSERT_TRUE(sg->lock(0));
    EXPECT_TRUE(unit->blockHeld);
    unsigned opens = unit->opens;
    EXPECT_EQ(0u, TestUnitReady(0));
    EXPECT_EQ(0u, TestUnitReady(0));
    EXPECT_EQ(opens, unit->opens);
    EXPECT_EQ(2u, unit->descriptorsOpen);
    EXPECT_TRUE(sg->lock(0));  // already locked: nothing more is opened
    EXPECT_EQ(1u, unit->blockOpenTries);

    EXPECT_TRUE(sg->unlock(0));
    EXPECT_FALSE(unit->blockHeld);
    EXPECT_EQ(0u, unit->descriptorsOpen);
    EXPECT_EQ(0u, TestUnitReady(0));
    EXPECT_EQ(opens + 1, unit->opens);
    EXPECT_EQ(0u, unit->descriptorsOpen);
}

TEST_F(SgCommandTest, AUnitWithoutADiskLocksByKeepingItsDeviceOpen)
{
    ASSERT_TRUE(sg->lock(1));
    EXPECT_EQ(1u, other->descriptorsOpen);
    EXPECT_EQ(0u, TestUnitReady(1));
    EXPECT_EQ(1u, other->descriptorsOpen);
    EXPECT_TRUE(sg->term());
    EXPECT_EQ(0u, devices.openDescriptors);
    EXPECT_EQ(5u, TestUnitReady(0));
}

TEST_F(SgCommandTest, ADiskInUseIsTriedAgainForEightSecondsAtMost)
{
    RecordedTime time;
    unit->block = SimulatedSgDevice::BLOCK_DEVICE;
    unit->blockBusyTries = 3;
    ASSERT_TRUE(sg->lock(0));
    EXPECT_EQ((std::vector<DWORD>{500, 500, 500}), time.sleeps);
    EXPECT_TRUE(sg->unlock(0));

    time.sleeps.clear();
    unit->blockBusyTries = 1000;
    unit->blockOpenTries = 0;
    EXPECT_FALSE(sg->lock(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BUSY), g_sys.GetLastError());
    EXPECT_EQ(16u, unit->blockOpenTries);
    EXPECT_EQ(std::vector<DWORD>(15, 500), time.sleeps);
    EXPECT_EQ(0u, unit->descriptorsOpen);
}

TEST_F(SgCommandTest, ADiskThatRefusesForAnotherReasonFailsAtOnce)
{
    RecordedTime time;
    unit->block = SimulatedSgDevice::BLOCK_DEVICE;
    unit->blockError = EACCES;
    EXPECT_FALSE(sg->lock(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), g_sys.GetLastError());
    EXPECT_TRUE(time.sleeps.empty());
    EXPECT_EQ(0u, unit->descriptorsOpen);

    unit->openError = EACCES;
    unit->blockError = 0;
    EXPECT_FALSE(sg->lock(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), g_sys.GetLastError());
    EXPECT_EQ(1u, unit->blockOpenTries);  // without the device, its disk is not tried
}

TEST_F(SgCommandTest, ALockedUnitThatVanishesCanStillBeUnlocked)
{
    unit->block = SimulatedSgDevice::BLOCK_DEVICE;
    ASSERT_TRUE(sg->lock(0));
    unit->unit->Unplug();
    EXPECT_EQ(4u, TestUnitReady(0));
    EXPECT_TRUE(sg->unlock(0));
    EXPECT_EQ(0u, devices.openDescriptors);
}

}  // namespace
