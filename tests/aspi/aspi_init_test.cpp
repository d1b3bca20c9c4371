// Starting and stopping the ASPI transport: every way AspiIoInit can fail leaves nothing loaded or
// open, and AspiIoTerm gives back everything it took.
#include "aspi_scenario.h"

namespace {

class AspiInit : public AspiTest {
protected:
    // Initialisation fails, with the reason given, and holds nothing afterwards.
    void ExpectFailureHoldingNothing(DWORD error)
    {
        const size_t handles = machine.OpenHandleCount();
        g_sys.SetLastError(0);
        EXPECT_EQ(0, HostIoInit());
        EXPECT_EQ(error, g_sys.GetLastError());
        EXPECT_FALSE(AspiIoManagerLoaded());
        EXPECT_EQ(nullptr, g_aspiIo.module);
        EXPECT_EQ(nullptr, g_aspiIo.vwin32);
        EXPECT_EQ(0u, machine.Modules().LoadedCount("WNASPI32.DLL"));
        EXPECT_EQ(handles, machine.OpenHandleCount());
        EXPECT_EQ(nullptr, HostIoGetCdb(0)) << "the host interface stays empty";
        // The fallbacks answer in place of the manager.
        SRB_Header request = {};
        EXPECT_EQ(0xFFFFFFFFu, g_aspiIo.sendCommand(&request));
        EXPECT_EQ(SS_FAILED_INIT, request.SRB_Status);
        EXPECT_EQ(0xE400u, g_aspiIo.getSupportInfo());
    }
};

TEST_F(AspiInit, StartsAndInstallsTheTransportOnNinetyFive)
{
    ASSERT_EQ(1, HostIoInit());
    EXPECT_TRUE(AspiIoManagerLoaded());
    EXPECT_EQ(1u, machine.Modules().LoadedCount("WNASPI32.DLL"));
    EXPECT_EQ(1u, machine.Vwin32().OpenHandles());
    for (const AspiIoUnit& unit : g_aspiIo.units)
        EXPECT_NE(nullptr, unit.event);
    // Again while loaded: nothing is loaded or opened a second time.
    const unsigned loads = machine.Modules().Loads();
    EXPECT_EQ(1, HostIoInit());
    EXPECT_EQ(loads, machine.Modules().Loads());
    EXPECT_EQ(1u, machine.Vwin32().OpenHandles());
}

TEST_F(AspiInit, WithoutTheManagerNothingStarts)
{
    machine.Modules().Remove("WNASPI32.DLL");
    ExpectFailureHoldingNothing(ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(0u, machine.Vwin32().OpenHandles());
}

TEST_F(AspiInit, EachMissingEntryPointFails)
{
    for (const char* entry : {"SendASPI32Command", "GetASPI32SupportInfo"}) {
        SCOPED_TRACE(entry);
        machine.Modules().Remove("WNASPI32.DLL");
        machine.Modules().Add("WNASPI32.DLL", AspiManagerEntries());
        machine.Modules().RemoveEntry("WNASPI32.DLL", entry);
        ExpectFailureHoldingNothing(ERROR_PROC_NOT_FOUND);
    }
}

TEST_F(AspiInit, NtFamilyIsRefusedAfterTheManagerLoaded)
{
    machine.SetPlatformId(VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(0, AspiIoInit());
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), g_sys.GetLastError());
    EXPECT_EQ(1u, machine.Modules().Loads());
    EXPECT_EQ(0u, machine.Modules().LoadedCount("WNASPI32.DLL"));
    EXPECT_EQ(0u, machine.Vwin32().OpenHandles());
}

TEST_F(AspiInit, Vwin32UnavailableFailsAndFreesTheManager)
{
    machine.Vwin32().FailOpen(ERROR_FILE_NOT_FOUND);
    ExpectFailureHoldingNothing(ERROR_FILE_NOT_FOUND);
}

TEST_F(AspiInit, EventCreationFailingClosesEverything)
{
    // The first, a middle and the last of the 26 events.
    for (unsigned nth : {1u, 13u, 26u}) {
        SCOPED_TRACE(nth);
        machine.Faults().FailNthCall(nth, ERROR_NOT_ENOUGH_MEMORY, FaultRepeat::Once, "CreateEventA");
        ExpectFailureHoldingNothing(ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(0u, machine.Vwin32().OpenHandles());
        for (const AspiIoUnit& unit : g_aspiIo.units)
            EXPECT_EQ(nullptr, unit.event);
    }
}

TEST_F(AspiInit, VersionQueryFailureLoadsNothing)
{
    machine.Faults().FailNthCall(1, ERROR_ACCESS_DENIED, FaultRepeat::Once, "GetVersionExA");
    EXPECT_EQ(0, AspiIoInit());
    EXPECT_EQ(0u, machine.Modules().Loads());
    EXPECT_FALSE(AspiIoManagerLoaded());
}

HMODULE WINAPI LoadReturningMinusOne(LPCSTR)
{
    return reinterpret_cast<HMODULE>(INVALID_HANDLE_VALUE);
}

FARPROC WINAPI LookupReturningMinusOne(HMODULE, LPCSTR)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(UINTPTR_MAX));
}

TEST_F(AspiInit, MinusOneFromLoaderOrLookupCountsAsFailure)
{
    g_sys.LoadLibraryA = LoadReturningMinusOne;
    EXPECT_EQ(0, AspiIoInit());
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), g_sys.GetLastError());
    EXPECT_EQ(nullptr, g_aspiIo.module);

    EmulatedMachine fresh(VER_PLATFORM_WIN32_WINDOWS);
    g_sys.GetProcAddress = LookupReturningMinusOne;
    EXPECT_EQ(0, AspiIoInit());
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), g_sys.GetLastError());
    EXPECT_FALSE(AspiIoManagerLoaded());
    EXPECT_EQ(0u, fresh.Modules().LoadedCount("WNASPI32.DLL"));
}

TEST_F(AspiInit, TermGivesBackEverythingAndCanStartAgain)
{
    machine.AttachAspiUnit(Qzv(), 0, 2, 0, 'E');
    const size_t handles = machine.OpenHandleCount();
    ASSERT_EQ(1u, Enumerate());
    ASSERT_TRUE(HostIoLock(0));
    EXPECT_TRUE(HostIoTerm());
    EXPECT_FALSE(machine.Vwin32().Locked('E')) << "the volume lock does not outlive the transport";
    EXPECT_EQ(handles, machine.OpenHandleCount());
    EXPECT_EQ(0u, machine.Modules().LoadedCount("WNASPI32.DLL"));
    EXPECT_FALSE(AspiIoManagerLoaded());
    EXPECT_TRUE(HostIoTerm()) << "nothing held: returns at once";

    // The count stays, but the mutexes are gone: a command on the old index is busy, not sent.
    const size_t requests = machine.Aspi().Requests().size();
    EXPECT_EQ(11u, TestUnitReady(0));
    EXPECT_EQ(requests, machine.Aspi().Requests().size());

    ASSERT_EQ(1, HostIoInit());
    EXPECT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ(0u, TestUnitReady(0));
}

}  // namespace
