// Commands over the vendor USB transport: the request the driver receives, the data and status
// phases and each of their failures, the repetition on ready change, busy devices, devices that
// cannot be opened, and load, eject and the operations these units lack.
#include "unit/zeku_io_fixture.h"

namespace {

const std::vector<BYTE> HEADER = {0x1B, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};

std::vector<BYTE> Request(std::initializer_list<BYTE> cdb)
{
    std::vector<BYTE> request = HEADER;
    request.insert(request.end(), cdb);
    return request;
}

const std::vector<BYTE> REQUEST_SENSE = Request({0x03, 0, 0, 0, 0x12, 0});

std::vector<UsbPipeControl> Recovery(UsbFile pipe)
{
    return {{pipe, ZEKUIO_RECOVER_PIPE_1}, {pipe, ZEKUIO_RECOVER_PIPE_2}};
}

// The pipes of the transfers a device saw, in order.
std::vector<int> PipesUsed(const UsbDevice& device)
{
    std::vector<int> pipes;
    for (const UsbTransfer& transfer : device.Transfers())
        pipes.push_back(transfer.pipe);
    return pipes;
}

TEST_F(ZekuIoTest, RequestCarriesTheHeaderAndTheCdbOnly)
{
    SimUnit& unit = Attach("2.00");
    UsbDevice& device = Device(unit);
    BYTE* area = ZekuIoGetCdb(0);
    std::memset(area, 0xEE, 16);
    BYTE inquiry[36] = {};
    ASSERT_EQ(0u, Inquiry(0, inquiry));
    EXPECT_EQ(0, std::memcmp(inquiry + 8, "VORNA   QZV-57H", 15));
    EXPECT_EQ(0, std::memcmp(inquiry + 32, "2.00", 4));
    ASSERT_EQ(1u, device.Requests().size());
    EXPECT_EQ(Request({0x12, 0, 0, 0, 36, 0}), device.Requests()[0]) << "16 + 6 bytes, nothing of the area beyond";
    EXPECT_EQ((std::vector<int>{USB_PIPE_DATA_IN, USB_PIPE_STATUS}), PipesUsed(device));
    EXPECT_EQ(36u, device.Transfers()[0].length);
    EXPECT_EQ(2u, device.Transfers()[1].length);

    // A 10-byte CDB; every file is opened once per command and closed again.
    device.ClearRecords();
    BYTE block[512];
    std::memset(block, 0x5A, sizeof block);
    ASSERT_EQ(0u, WriteBlock(0, block));
    EXPECT_EQ(Request({0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0}), device.Requests()[0]);
    EXPECT_EQ((std::vector<int>{USB_PIPE_DATA_OUT, USB_PIPE_STATUS}), PipesUsed(device));
    EXPECT_EQ(0, std::memcmp(unit.Card().data(), block, sizeof block));
    for (UsbFile file : {USB_DEVICE_FILE, USB_PIPE_DATA_IN, USB_PIPE_DATA_OUT, USB_PIPE_STATUS})
        EXPECT_EQ(1u, device.Opens(file)) << file;
    EXPECT_EQ(0xEE, area[10]) << "bytes beyond the CDB keep what was there";
    EXPECT_TRUE(NothingLeftOpen());
}

TEST_F(ZekuIoTest, OnlyTheLowBytesOfDirectionAndLengthCount)
{
    SimUnit& unit = Attach();
    UsbDevice& device = Device(unit);
    BYTE inquiry[36] = {};
    BYTE* area = ZekuIoGetCdb(0);
    const BYTE command[6] = {0x12, 0, 0, 0, 36, 0};
    std::memcpy(area, command, sizeof command);
    EXPECT_EQ(0u, ZekuIoExecute(0, 0x100 | UnitDataIn, 0x306, inquiry, sizeof inquiry));
    EXPECT_EQ(0, std::memcmp(inquiry + 8, "VORNA   ", 8));
    EXPECT_EQ(Request({0x12, 0, 0, 0, 36, 0}), device.Requests().back());

    // Direction 3 is no data phase: the unit refuses an INQUIRY without one (05/24/00), which the
    // status block reports as ASC/ASCQ without the sense key.
    device.ClearRecords();
    EXPECT_EQ(0x24000000u, ZekuIoExecute(0, 3, 6, inquiry, sizeof inquiry));
    EXPECT_EQ((std::vector<int>{USB_PIPE_STATUS}), PipesUsed(device));

    // Data in of length 0: no read at all, the status decides.
    device.ClearRecords();
    EXPECT_EQ(0u, Run(0, {0, 0, 0, 0, 0, 0}, UnitDataIn, inquiry, 0));
    EXPECT_EQ((std::vector<int>{USB_PIPE_STATUS}), PipesUsed(device));

    // A CDB length outside the 1 to 16 bytes the request holds is refused before anything is sent.
    device.ClearRecords();
    EXPECT_EQ(5u, ZekuIoExecute(0, UnitNoData, 17, nullptr, 0));
    EXPECT_EQ(5u, ZekuIoExecute(0, UnitNoData, 0xFF, nullptr, 0));
    EXPECT_EQ(5u, ZekuIoExecute(0, UnitNoData, 0, nullptr, 0));
    EXPECT_EQ(5u, ZekuIoExecute(0, UnitNoData, 0x100, nullptr, 0));
    EXPECT_TRUE(device.Requests().empty());
    EXPECT_EQ(0u, device.Opens(USB_DEVICE_FILE));
}

TEST_F(ZekuIoTest, StatusBlockGivesAscAndAscqWithoutSenseKey)
{
    SimUnit& unit = Attach();
    unit.FailCommandWithSense(1, 0x02, 0x3A, 0x01);
    EXPECT_EQ(0x3A010000u, TestUnitReady(0));
    EXPECT_EQ(1u, Device(unit).Requests().size()) << "no sense is asked for after a status phase";
    EXPECT_EQ(0u, TestUnitReady(0));
}

TEST_F(ZekuIoTest, CrcErrorInTheDataPhaseFailsWithoutRecoveryOrSense)
{
    SimUnit& unit = Attach();
    UsbDevice& device = Device(unit);
    BYTE inquiry[36];
    device.FailPipe(USB_PIPE_DATA_IN, ERROR_CRC);
    EXPECT_EQ(2u, Inquiry(0, inquiry));
    BYTE block[512] = {};
    device.FailPipe(USB_PIPE_DATA_OUT, ERROR_CRC);
    EXPECT_EQ(2u, WriteBlock(0, block));
    EXPECT_EQ(2u, device.Requests().size()) << "no REQUEST SENSE";
    EXPECT_TRUE(device.PipeControls().empty());
    EXPECT_EQ((std::vector<int>{USB_PIPE_DATA_IN, USB_PIPE_DATA_OUT}), PipesUsed(device)) << "no status read";
    EXPECT_TRUE(NothingLeftOpen());
}

TEST_F(ZekuIoTest, OtherDataPhaseErrorsRecoverThePipeAndReportTheSense)
{
    for (UsbFile pipe : {USB_PIPE_DATA_IN, USB_PIPE_DATA_OUT}) {
        SCOPED_TRACE(pipe);
        SimUnit& unit = Attach();
        const DWORD index = static_cast<DWORD>(machine.Usb().Devices().size() - 1);
        UsbDevice& device = Device(unit);
        unit.FailCommandWithSense(1, 0x05, 0x24, 0x00);
        device.FailPipe(pipe, ERROR_GEN_FAILURE);

        BYTE* area = ZekuIoGetCdb(index);
        std::memset(area, 0xC3, 16);
        BYTE data[512] = {};
        UnitStatus status = pipe == USB_PIPE_DATA_IN ? Inquiry(index, data) : WriteBlock(index, data);
        EXPECT_EQ(0x24000005u, status);
        EXPECT_EQ(Recovery(pipe), device.PipeControls());
        ASSERT_EQ(2u, device.Requests().size());
        EXPECT_EQ(REQUEST_SENSE, device.Requests()[1]);
        // The area holds the failed command again, all 16 bytes of it.
        std::vector<BYTE> expected = pipe == USB_PIPE_DATA_IN ? std::vector<BYTE>{0x12, 0, 0, 0, 36, 0}
                                                              : std::vector<BYTE>{0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0};
        expected.resize(16, 0xC3);
        EXPECT_EQ(expected, std::vector<BYTE>(area, area + 16));
        EXPECT_FALSE(device.Halted(pipe));
        EXPECT_TRUE(NothingLeftOpen());
    }
}

TEST_F(ZekuIoTest, SecondRecoveryCodeOnlyAfterTheFirstSucceeded)
{
    SimUnit& unit = Attach();
    UsbDevice& device = Device(unit);
    unit.FailCommandWithSense(1, 0x05, 0x24, 0x00);
    device.FailPipe(USB_PIPE_DATA_IN, ERROR_GEN_FAILURE);
    device.FailControl(ZEKUIO_RECOVER_PIPE_1, ERROR_GEN_FAILURE, UsbDevice::ALWAYS);
    BYTE inquiry[36];
    EXPECT_EQ(2u, Inquiry(0, inquiry)) << "the sense read fails on the pipe that stayed halted";
    const UsbPipeControl first = {USB_PIPE_DATA_IN, ZEKUIO_RECOVER_PIPE_1};
    EXPECT_EQ((std::vector<UsbPipeControl>{first, first}), device.PipeControls())
        << "the command's and the sense's data phase, each tried once";
    EXPECT_TRUE(NothingLeftOpen());
}

TEST_F(ZekuIoTest, FailedDataPhaseWithoutSenseIsNotASuccess)
{
    SimUnit& unit = Attach();
    UsbDevice& device = Device(unit);
    device.FailPipe(USB_PIPE_DATA_IN, ERROR_IO_DEVICE);
    BYTE inquiry[36] = {};
    EXPECT_EQ(2u, Inquiry(0, inquiry)) << "the unit reports no sense, but the data never arrived";
    EXPECT_EQ(REQUEST_SENSE, device.Requests().back());
}

TEST_F(ZekuIoTest, StatusPhaseFailures)
{
    SimUnit& unit = Attach();
    UsbDevice& device = Device(unit);
    device.FailPipe(USB_PIPE_STATUS, ERROR_CRC);
    EXPECT_EQ(2u, TestUnitReady(0));
    EXPECT_TRUE(device.PipeControls().empty());

    device.FailPipe(USB_PIPE_STATUS, ERROR_GEN_FAILURE);
    EXPECT_EQ(2u, TestUnitReady(0));
    EXPECT_EQ(Recovery(USB_PIPE_STATUS), device.PipeControls());
    EXPECT_EQ(2u, device.Requests().size()) << "no REQUEST SENSE after a status phase";
    EXPECT_EQ(0u, TestUnitReady(0)) << "the recovered pipe works again";
    EXPECT_TRUE(NothingLeftOpen());
}

TEST_F(ZekuIoTest, RejectedRequestFailsBeforeAnyTransfer)
{
    SimUnit& unit = Attach();
    Device(unit).FailControl(ZEKUIO_SEND_COMMAND, ERROR_GEN_FAILURE);
    BYTE inquiry[36];
    EXPECT_EQ(2u, Inquiry(0, inquiry));
    EXPECT_TRUE(Device(unit).Transfers().empty());
    EXPECT_TRUE(unit.Commands().empty());
    EXPECT_TRUE(NothingLeftOpen());
}

TEST_F(ZekuIoTest, ShortOrGarbageStatusBlocks)
{
    SimUnit& unit = Attach();
    UsbDevice& device = Device(unit);
    // A failing command first, so that a stale block would read as its status.
    unit.FailCommandWithSense(1, 0x05, 0x20, 0x00);
    EXPECT_EQ(0x20000000u, TestUnitReady(0));
    device.ScriptStatus({});
    EXPECT_EQ(2u, TestUnitReady(0)) << "no status at all";
    device.ScriptStatus({0x00});
    EXPECT_EQ(2u, TestUnitReady(0)) << "half a status";
    device.ScriptStatus({0xFF, 0xFF});
    EXPECT_EQ(0xFFFF0000u, TestUnitReady(0));
    device.ScriptStatus({0x04, 0x01, 0x99, 0x99});
    EXPECT_EQ(0x04010000u, TestUnitReady(0)) << "two bytes are read, no more";
    EXPECT_EQ(0u, TestUnitReady(0));
}

TEST_F(ZekuIoTest, ReadyChangeRepeatsTheWholeCommand)
{
    SimUnit& unit = Attach();
    UsbDevice& device = Device(unit);
    unit.UnitAttentionOnce(0x28, 0x00);
    EXPECT_EQ(0u, TestUnitReady(0));
    EXPECT_EQ(2u, device.Requests().size());
    EXPECT_EQ(2u, unit.Commands().size());

    // Through the sense path: UNIT ATTENTION 28/00 after a failed data phase.
    device.ClearRecords();
    unit.UnitAttentionOnce(0x28, 0x00);
    device.FailPipe(USB_PIPE_DATA_IN, ERROR_GEN_FAILURE);
    BYTE inquiry[36] = {};
    EXPECT_EQ(0u, Inquiry(0, inquiry));
    ASSERT_EQ(3u, device.Requests().size());
    EXPECT_EQ(REQUEST_SENSE, device.Requests()[1]);
    EXPECT_EQ(Request({0x12, 0, 0, 0, 36, 0}), device.Requests()[2]) << "the CDB was restored for the repetition";

    // Other unit attentions are not repeated.
    unit.UnitAttentionOnce(0x29, 0x00);
    EXPECT_EQ(0x29000000u, TestUnitReady(0));
}

TEST_F(ZekuIoTest, ReadyChangeIsIssuedSixteenTimesAtMost)
{
    SimUnit& unit = Attach();
    for (unsigned n = 1; n <= 15; ++n)
        unit.FailCommandWithSense(n, 0x06, 0x28, 0x00);
    EXPECT_EQ(0u, TestUnitReady(0)) << "the 16th issue succeeds";
    EXPECT_EQ(16u, Device(unit).Requests().size());

    Device(unit).ClearRecords();
    for (unsigned n = 1; n <= 40; ++n)
        unit.FailCommandWithSense(n, 0x06, 0x28, 0x00);
    EXPECT_EQ(0x28000000u, TestUnitReady(0));
    EXPECT_EQ(16u, Device(unit).Requests().size());
    EXPECT_TRUE(NothingLeftOpen());
}

TEST_F(ZekuIoTest, BusyDeviceAnswersElevenAfterThirtyTwoSeconds)
{
    SimUnit& unit = Attach();
    EmulatedProcess& other = machine.StartProcess();
    ASSERT_TRUE(other.TakeMutex(ZekuMutexName(0)));
    const uint64_t start = machine.Clock().Now();
    EXPECT_EQ(11u, TestUnitReady(0));
    EXPECT_EQ(32000u, machine.Clock().Now() - start);
    EXPECT_EQ(0u, Device(unit).Opens(USB_DEVICE_FILE)) << "the device is opened only under the mutex";

    // Released by the other process within the wait: the command runs.
    machine.Clock().After(10000, [&] { other.ReleaseMutex(ZekuMutexName(0)); });
    const uint64_t second = machine.Clock().Now();
    EXPECT_EQ(0u, TestUnitReady(0));
    EXPECT_EQ(10000u, machine.Clock().Now() - second);
    EXPECT_EQ(0u, machine.Objects().FindMutex(ZekuMutexName(0))->owner) << "released after the command";
}

TEST_F(ZekuIoTest, AbandonedMutexCountsAsBusyAndIsGivenBack)
{
    SimUnit& unit = Attach();
    EmulatedProcess& other = machine.StartProcess();
    ASSERT_TRUE(other.TakeMutex(ZekuMutexName(0)));
    other.Exit();
    EXPECT_EQ(11u, TestUnitReady(0));
    EXPECT_EQ(0u, machine.Objects().FindMutex(ZekuMutexName(0))->owner);
    EXPECT_TRUE(Device(unit).Requests().empty());
    EXPECT_EQ(0u, TestUnitReady(0));
}

TEST_F(ZekuIoTest, DevicesThatCannotBeOpened)
{
    SimUnit& unit = Attach();
    UsbDevice& device = Device(unit);
    EXPECT_EQ(5u, TestUnitReady(1)) << "no device at that index";
    EXPECT_EQ(5u, ZekuIoExecute(32, UnitNoData, 6, nullptr, 0));
    for (UsbFile file : {USB_DEVICE_FILE, USB_PIPE_DATA_IN, USB_PIPE_DATA_OUT, USB_PIPE_STATUS}) {
        SCOPED_TRACE(file);
        device.ClearRecords();
        device.FailOpen(file, ERROR_ACCESS_DENIED);
        EXPECT_EQ(5u, TestUnitReady(0));
        EXPECT_TRUE(device.Requests().empty());
        // Opened in order up to the one that failed; those are closed again.
        for (int other = USB_DEVICE_FILE; other <= USB_PIPE_STATUS; ++other)
            EXPECT_EQ(other < file ? 1u : 0u, device.Opens(static_cast<UsbFile>(other))) << other;
        EXPECT_TRUE(NothingLeftOpen());
    }
    // The mutex was given back each time.
    EXPECT_EQ(0u, TestUnitReady(0));
}

TEST_F(ZekuIoTest, UnpluggedDeviceIsGoneAndTheNextOneMovesUp)
{
    SimUnit& first = Attach("1.98");
    SimUnit& second = Attach("2.00");
    std::vector<WPARAM> notices;
    machine.SubscribeDeviceChange([&](WPARAM event, LPARAM) { notices.push_back(event); });
    machine.Unplug(first);
    EXPECT_EQ(std::vector<WPARAM>{DBT_DEVNODES_CHANGED}, notices);
    BYTE inquiry[36] = {};
    EXPECT_EQ(5u, TestUnitReady(1));
    EXPECT_EQ(0u, Inquiry(0, inquiry)) << "index 0 now reaches the second device";
    EXPECT_EQ(0, std::memcmp(inquiry + 32, "2.00", 4));
    EXPECT_TRUE(first.Commands().empty());

    machine.Replug(first);
    EXPECT_EQ(2u, notices.size());
    EXPECT_EQ(0u, Inquiry(0, inquiry));
    EXPECT_EQ(0, std::memcmp(inquiry + 32, "1.98", 4));
    EXPECT_EQ(1u, second.Commands().size());
}

TEST_F(ZekuIoTest, LoadEjectAndTheOperationsTheseUnitsLack)
{
    SimUnit& unit = Attach();
    UsbDevice& device = Device(unit);
    EXPECT_TRUE(ZekuIoEjectMedium(0));
    EXPECT_EQ(Request({0x1B, 0, 0, 0, 0x02, 0}), device.Requests().back());
    EXPECT_TRUE(ZekuIoLoadMedium(0));
    EXPECT_EQ(Request({0x1B, 0, 0, 0, 0x03, 0}), device.Requests().back());

    // A rejected request (2) reads as not ready.
    device.FailControl(ZEKUIO_SEND_COMMAND, ERROR_GEN_FAILURE);
    g_sys.SetLastError(0);
    EXPECT_FALSE(ZekuIoLoadMedium(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), g_sys.GetLastError());
    // ASC/ASCQ from the status block, sense key 0: still a failure.
    unit.FailCommandWithSense(1, 0x02, 0x3A, 0x00);
    EXPECT_FALSE(ZekuIoEjectMedium(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), g_sys.GetLastError());
    // No such device (5) and a busy one (11).
    EXPECT_FALSE(ZekuIoLoadMedium(3));
    EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), g_sys.GetLastError());
    EmulatedProcess& other = machine.StartProcess();
    ASSERT_TRUE(other.TakeMutex(ZekuMutexName(0)));
    EXPECT_FALSE(ZekuIoEjectMedium(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), g_sys.GetLastError());

    EXPECT_FALSE(ZekuIoLoadMedium(32));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());
    EXPECT_FALSE(ZekuIoEjectMedium(0xFFFFFFFF));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());

    // What these units do not have: nothing is sent and nothing written.
    device.ClearRecords();
    DWORD value = 0x1234;
    EXPECT_FALSE(ZekuIoGetDriveLetter(0, &value));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), g_sys.GetLastError());
    EXPECT_FALSE(ZekuIoGetDeviceNumber(0, &value));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), g_sys.GetLastError());
    EXPECT_EQ(0x1234u, value);
    EXPECT_TRUE(ZekuIoLock(0));
    EXPECT_TRUE(ZekuIoUnlock(40));
    EXPECT_TRUE(device.Requests().empty());
}

TEST_F(ZekuIoTest, EveryFailingSystemCallLeavesNothingOpen)
{
    SimUnit& unit = Attach();
    UsbDevice& device = Device(unit);
    // Call n of an INQUIRY whose data phase fails (so that recovery and sense run too) fails, for
    // every n in turn until the command runs without an injected failure.
    for (unsigned n = 1;; ++n) {
        SCOPED_TRACE(n);
        device.ClearFaults();
        device.FailPipe(USB_PIPE_DATA_IN, ERROR_GEN_FAILURE);
        unit.FailCommandWithSense(1, 0x05, 0x24, 0x00);
        const unsigned injectedBefore = machine.Faults().Injected();
        machine.Faults().FailNthCall(n);
        BYTE inquiry[36];
        const UnitStatus status = Inquiry(0, inquiry);
        const bool injected = machine.Faults().Injected() > injectedBefore;
        machine.Faults().Clear();
        EXPECT_TRUE(NothingLeftOpen());
        EXPECT_EQ(0u, machine.Objects().FindMutex(ZekuMutexName(0))->owner);
        if (!injected) {
            EXPECT_EQ(0x24000005u, status);
            EXPECT_GT(n, 10u);
            break;
        }
        EXPECT_TRUE(status == 2 || status == 5 || status == 11 || status == 0x24000005u) << std::hex << status;
        ASSERT_LT(n, 100u);
    }
}

}  // namespace
