// The host-interface table: forwarding with an empty table, initialisation by platform, and the
// arguments and results carried to and from an installed transport.
#include "host_scenario.h"

#ifndef _WIN32
#include <errno.h>

#include "host/sg/sg_device_calls.h"
#endif

namespace {

using HostIoDispatch = HostTest;

TEST_F(HostIoDispatch, EveryOperationFailsBeforeInitialisation)
{
    BYTE buffer[36];
    DWORD value = 77;
    g_sys.SetLastError(0);
    EXPECT_EQ(0xFFFFFFFFu, HostIoExecute(0, UnitDataIn, 6, buffer, 36));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), g_sys.GetLastError());
    g_sys.SetLastError(0);
    EXPECT_EQ(nullptr, HostIoGetCdb(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), g_sys.GetLastError());
    EXPECT_FALSE(HostIoGetDriveLetter(0, &value));
    EXPECT_FALSE(HostIoGetDeviceNumber(0, &value));
    EXPECT_EQ(77u, value);
    EXPECT_FALSE(HostIoLoadMedium(0));
    EXPECT_FALSE(HostIoEjectMedium(0));
    EXPECT_FALSE(HostIoLock(0));
    g_sys.SetLastError(0);
    EXPECT_FALSE(HostIoUnlock(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), g_sys.GetLastError());
    EXPECT_FALSE(HostIoTerm());
    // None of them initialised the table on the way.
    EXPECT_EQ(0xFFFFFFFFu, HostIoExecute(0, UnitNoData, 6, nullptr, 0));
    EXPECT_EQ(0u, machine.OpenHandleCount());
}

TEST_F(HostIoDispatch, EnumerateInitialisesAndEnumeratesInOneCall)
{
    machine.AttachUnit(Qzv(), NtSlot::Letter('E'));
    EXPECT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    BYTE inquiry[36] = {};
    EXPECT_EQ(0u, Inquiry(0, inquiry));
}

TEST_F(HostIoDispatch, InitOnNtInstallsPassThrough)
{
    machine.AttachUnit(Qzv(), NtSlot::Letter('F'));
    ASSERT_EQ(1, HostIoInit());
    EXPECT_EQ(1u, HostIoEnumerate(nullptr, "QZV-5x"));
    DWORD letter = 0;
    EXPECT_TRUE(HostIoGetDriveLetter(0, &letter));
    EXPECT_EQ(static_cast<DWORD>('F'), letter);
    // Calling it again re-installs the same transport; the units found stay valid.
    ASSERT_EQ(1, HostIoInit());
    EXPECT_TRUE(HostIoGetDriveLetter(0, nullptr));
}

TEST_F(HostIoDispatch, InitElsewhereInstallsNothingAndSaysWhy)
{
    // A 9x system without an ASPI manager and, in the Windows build, Linux, whose transport only the
    // Linux build has.
    const struct {
        DWORD platform;
        DWORD error;
    } platforms[] = {
        {VER_PLATFORM_WIN32_WINDOWS, ERROR_MOD_NOT_FOUND},
#ifdef _WIN32
        {VER_PLATFORM_LINUX, ERROR_NOT_SUPPORTED},
#endif
    };
    for (const auto& entry : platforms) {
        const DWORD platform = entry.platform;
        machine.SetPlatformId(platform);
        g_sys.SetLastError(0);
        EXPECT_EQ(0, HostIoInit()) << platform;
        EXPECT_EQ(entry.error, g_sys.GetLastError()) << platform;
        // Enumerate tries to initialise, fails the same way and leaves the error as it was.
        EXPECT_EQ(0u, HostIoEnumerate(nullptr, "QZV-5x"));
        EXPECT_EQ(entry.error, g_sys.GetLastError());
        EXPECT_EQ(0xFFFFFFFFu, HostIoExecute(0, UnitNoData, 6, nullptr, 0));
    }
}

#ifndef _WIN32
// The SCSI generic transport's device calls, answered here: tests never reach the devices of the
// machine that runs them. One device is listed, and it cannot be opened.
unsigned s_listed = 0;
std::vector<unsigned> s_opened;
int ListOneDevice(std::vector<unsigned>* numbers)
{
    ++s_listed;
    numbers->assign({7});
    return 0;
}
int OpenNone(unsigned number)
{
    s_opened.push_back(number);
    return -ENOENT;
}
int ExecuteNothing(int, SgRequest*) { return -EBADF; }
int NoAddress(int, SgScsiAddress*) { return -EBADF; }
int NoBlockDevice(unsigned, int* fd) { return *fd = -1, 0; }
void CloseNothing(int) {}

TEST_F(HostIoDispatch, InitOnLinuxInstallsTheScsiGenericTransport)
{
    s_listed = 0;
    s_opened.clear();
    SgDeviceCallsInstall({ListOneDevice, OpenNone, ExecuteNothing, NoAddress, NoBlockDevice, CloseNothing});
    machine.SetPlatformId(VER_PLATFORM_LINUX);
    ASSERT_EQ(1, HostIoInit());
    // The SCSI generic transport answers now, not the empty table: it lists its devices and tries
    // the one listed.
    EXPECT_EQ(0u, HostIoEnumerate(nullptr, "QZV-5x"));
    EXPECT_EQ(1u, s_listed);
    EXPECT_EQ(std::vector<unsigned>{7}, s_opened);
    g_sys.SetLastError(0);
    EXPECT_EQ(5u, HostIoExecute(0, UnitNoData, 6, nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());
    EXPECT_TRUE(HostIoTerm());
    SgDeviceCallsReset();
}
#endif

TEST_F(HostIoDispatch, VersionQueryFailureLeavesTheTableEmpty)
{
    machine.Faults().FailNthCall(1, ERROR_ACCESS_DENIED, FaultRepeat::Once, "GetVersionExA");
    EXPECT_EQ(0, HostIoInit());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), g_sys.GetLastError());
    EXPECT_EQ(nullptr, HostIoGetCdb(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), g_sys.GetLastError());
}

// A transport of one's own: records what the forwarding functions hand it.
struct Recorded {
    DWORD unit, direction, cdbLength, length, calls;
    void* data;
    HostIoFilter filter;
    const char* deviceClass;
} s_recorded;
BYTE s_cdb[16];

BOOL RecordTerm(void) { return ++s_recorded.calls, 1; }
DWORD RecordEnumerate(HostIoFilter filter, const char* deviceClass)
{
    s_recorded.filter = filter;
    s_recorded.deviceClass = deviceClass;
    return 3;
}
BYTE* RecordGetCdb(DWORD unit) { return s_recorded.unit = unit, s_cdb; }
UnitStatus RecordExecute(DWORD unit, DWORD direction, DWORD cdbLength, void* data, DWORD length)
{
    s_recorded = Recorded{unit, direction, cdbLength, length, s_recorded.calls, data, nullptr, nullptr};
    return 0x29000006;
}
BOOL RecordLetter(DWORD unit, DWORD* letter) { return *letter = 'Q' + unit, 1; }
BOOL RecordNumber(DWORD unit, DWORD* number) { return *number = unit * 2, 1; }
BOOL RecordUnit(DWORD unit) { return s_recorded.unit = unit, unit != 9; }

TEST_F(HostIoDispatch, ForwardingCarriesArgumentsAndResultsUnchanged)
{
    const HostInterface own = {RecordTerm,   RecordEnumerate, RecordGetCdb, RecordExecute, RecordLetter,
                               RecordNumber, RecordUnit,      RecordUnit,   RecordUnit,    RecordUnit};
    HostIoInstall(&own);
    EXPECT_EQ(3u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ(&AcceptQzv, s_recorded.filter);
    EXPECT_STREQ("QZV-5x", s_recorded.deviceClass);
    EXPECT_EQ(s_cdb, HostIoGetCdb(2));
    EXPECT_EQ(2u, s_recorded.unit);

    BYTE data[4];
    EXPECT_EQ(0x29000006u, HostIoExecute(1, 0x301, 0x10A, data, 4));
    EXPECT_EQ(1u, s_recorded.unit);
    EXPECT_EQ(0x301u, s_recorded.direction);  // the transport, not the forwarder, uses the low 8 bits
    EXPECT_EQ(0x10Au, s_recorded.cdbLength);
    EXPECT_EQ(data, s_recorded.data);
    EXPECT_EQ(4u, s_recorded.length);

    DWORD value = 0;
    EXPECT_TRUE(HostIoGetDriveLetter(2, &value));
    EXPECT_EQ(static_cast<DWORD>('S'), value);
    EXPECT_TRUE(HostIoGetDeviceNumber(4, &value));
    EXPECT_EQ(8u, value);
    EXPECT_FALSE(HostIoLock(9));
    EXPECT_TRUE(HostIoEjectMedium(5));
    EXPECT_EQ(5u, s_recorded.unit);
    unsigned calls = s_recorded.calls;
    EXPECT_TRUE(HostIoTerm());
    EXPECT_EQ(calls + 1, s_recorded.calls);
}

TEST_F(HostIoDispatch, NullTableChangesNothingAndAcceptAllAcceptsAll)
{
    machine.AttachUnit(Qzv(), NtSlot::Letter('E'));
    ASSERT_EQ(1, HostIoInit());
    HostIoInstall(nullptr);
    EXPECT_EQ(1u, HostIoEnumerate(nullptr, "QZV-5x"));
    const BYTE zeros[36] = {};
    EXPECT_NE(0, HostIoAcceptAll(zeros));
}

}  // namespace
