// The emulated machine itself: its table in force and restored, the virtual clock, fault injection
// by countdown, kernel objects shared with other processes, files, version, modules and notices.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sim/machine/emulated_machine.h"

namespace {

TEST(EmulatedMachine, PutsItsTableInForceAndTheEarlierOneBack)
{
    const SystemTable before = g_sys;
    {
        EmulatedMachine machine(VER_PLATFORM_WIN32_WINDOWS);
        EXPECT_EQ(&machine, EmulatedMachine::Current());
        OSVERSIONINFOA info = {};
        info.dwOSVersionInfoSize = sizeof info;
        ASSERT_TRUE(g_sys.GetVersionExA(&info));
        EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), info.dwPlatformId);
        {
            EmulatedMachine inner;
            ASSERT_TRUE(g_sys.GetVersionExA(&info));
            EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
        }
        EXPECT_EQ(&machine, EmulatedMachine::Current());
        ASSERT_TRUE(g_sys.GetVersionExA(&info));
        EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), info.dwPlatformId);
        // A record whose size field was not set is refused, as the system refuses it.
        info.dwOSVersionInfoSize = 0;
        EXPECT_FALSE(g_sys.GetVersionExA(&info));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), g_sys.GetLastError());
    }
    EXPECT_EQ(nullptr, EmulatedMachine::Current());
    EXPECT_EQ(before.GetVersionExA, g_sys.GetVersionExA);
    EXPECT_EQ(before.DeviceIoControl, g_sys.DeviceIoControl);
}

TEST(EmulatedMachine, SleepAndWaitsMoveOnlyTheVirtualClock)
{
    EmulatedMachine machine;
    std::vector<int> order;
    machine.Clock().After(300, [&] { order.push_back(300); });
    machine.Clock().After(100, [&] { order.push_back(100); });
    DWORD tick = g_sys.GetTickCount();
    g_sys.Sleep(250);
    EXPECT_EQ(tick + 250, g_sys.GetTickCount());
    EXPECT_EQ(std::vector<int>{100}, order);
    g_sys.Sleep(3600000);  // an hour, at once
    EXPECT_EQ((std::vector<int>{100, 300}), order);
    EXPECT_EQ(3600250u, machine.Clock().Now());

    machine.Clock().SetTickBase(0xFFFFFF00u);
    EXPECT_EQ(static_cast<DWORD>(0xFFFFFF00u + 3600250u), g_sys.GetTickCount());  // wraps like the real one
}

TEST(EmulatedMachine, NamedMutexesAreSharedWithOtherProcesses)
{
    EmulatedMachine machine;
    EmulatedProcess& other = machine.StartProcess();
    ASSERT_TRUE(other.TakeMutex("shared"));
    HANDLE mutex = g_sys.CreateMutexA(nullptr, FALSE, "shared");
    ASSERT_NE(nullptr, mutex);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), g_sys.GetLastError());
    EXPECT_EQ(WAIT_TIMEOUT, g_sys.WaitForSingleObject(mutex, 5000));
    EXPECT_EQ(5000u, machine.Clock().Now());
    EXPECT_FALSE(g_sys.ReleaseMutex(mutex));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), g_sys.GetLastError());

    machine.Clock().After(700, [&] { other.ReleaseMutex("shared"); });
    EXPECT_EQ(0u, machine.MutexesHeld());
    EXPECT_EQ(WAIT_OBJECT_0, g_sys.WaitForSingleObject(mutex, 5000));
    EXPECT_EQ(5700u, machine.Clock().Now());
    EXPECT_EQ(1u, machine.MutexesHeld());
    EXPECT_FALSE(machine.StartProcess().TakeMutex("shared"));
    EXPECT_TRUE(g_sys.ReleaseMutex(mutex));

    ASSERT_TRUE(other.TakeMutex("shared"));
    other.Exit();
    EXPECT_EQ(WAIT_ABANDONED, g_sys.WaitForSingleObject(mutex, 0));
    EXPECT_TRUE(g_sys.ReleaseMutex(mutex));
    EXPECT_EQ(WAIT_OBJECT_0, g_sys.WaitForSingleObject(mutex, 0));
    EXPECT_TRUE(g_sys.ReleaseMutex(mutex));
    EXPECT_TRUE(g_sys.CloseHandle(mutex));
    EXPECT_EQ(0u, machine.OpenHandleCount());
}

TEST(EmulatedMachine, EventsAndAWaitThatNothingCanEnd)
{
    EmulatedMachine machine;
    HANDLE event = g_sys.CreateEventA(nullptr, FALSE, FALSE, "done");
    ASSERT_NE(nullptr, event);
    machine.Clock().After(40, [&] { machine.StartProcess().SetEvent("done"); });
    EXPECT_EQ(WAIT_OBJECT_0, g_sys.WaitForSingleObject(event, INFINITE));
    EXPECT_EQ(40u, machine.Clock().Now());
    EXPECT_EQ(WAIT_TIMEOUT, g_sys.WaitForSingleObject(event, 10));  // auto-reset
    EXPECT_FALSE(machine.Objects().Deadlocked());
    EXPECT_EQ(WAIT_FAILED, g_sys.WaitForSingleObject(event, INFINITE));
    EXPECT_TRUE(machine.Objects().Deadlocked());
    EXPECT_TRUE(g_sys.SetEvent(event));
    EXPECT_EQ(WAIT_OBJECT_0, g_sys.WaitForSingleObject(event, INFINITE));
    g_sys.CloseHandle(event);
}

TEST(EmulatedMachine, NthCallFailsOnceOrFromThenOn)
{
    EmulatedMachine machine;
    machine.Faults().FailNthCall(2);
    HANDLE first = g_sys.CreateMutexA(nullptr, FALSE, nullptr);
    EXPECT_NE(nullptr, first);
    EXPECT_EQ(nullptr, g_sys.CreateMutexA(nullptr, FALSE, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), g_sys.GetLastError());  // the call's usual error
    HGLOBAL block = g_sys.GlobalAlloc(GMEM_FIXED, 16);  // counted, not failed
    EXPECT_NE(nullptr, block);
    EXPECT_EQ(1u, machine.Faults().Injected());

    machine.Faults().FailNthCall(1, ERROR_DISK_FULL, FaultRepeat::FromThenOn, "LoadLibraryA");
    EXPECT_EQ(0u, g_sys.GetLogicalDrives());  // counted, not failed: no drive letters here
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(nullptr, g_sys.LoadLibraryA("kernel32"));
        EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), g_sys.GetLastError());
    }
    machine.Faults().Clear();
    EXPECT_NE(nullptr, g_sys.LoadLibraryA("kernel32"));
    EXPECT_EQ(4u, machine.Faults().Injected());
    const std::vector<const char*> expected = {"CreateMutexA", "CreateMutexA", "GlobalAlloc", "GetLogicalDrives",
                                               "LoadLibraryA", "LoadLibraryA", "LoadLibraryA", "LoadLibraryA"};
    ASSERT_EQ(expected.size(), machine.Faults().Log().size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_STREQ(expected[i], machine.Faults().Log()[i]);
    EXPECT_EQ(1u, machine.OutstandingAllocations());
    g_sys.GlobalFree(block);
    EXPECT_EQ(0u, machine.OutstandingAllocations());
    g_sys.CloseHandle(first);
}

TEST(EmulatedMachine, PlainFilesReachTheRealFileSystem)
{
    EmulatedMachine machine;
    HANDLE out = g_sys.CreateFileA("machine-file.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, out);
    EXPECT_EQ(1u, machine.OpenHandleCount());
    DWORD written = 0;
    ASSERT_TRUE(g_sys.WriteFile(out, "abc", 3, &written, nullptr));
    ASSERT_TRUE(g_sys.CloseHandle(out));
    EXPECT_EQ(0u, machine.OpenHandleCount());
    HANDLE in = g_sys.CreateFileA("machine-file.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, in);
    EXPECT_EQ(3u, g_sys.GetFileSize(in, nullptr));
    char text[4] = {};
    DWORD got = 0;
    machine.Faults().FailNthCall(1);
    EXPECT_FALSE(g_sys.ReadFile(in, text, 3, &got, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_READ_FAULT), g_sys.GetLastError());
    ASSERT_TRUE(g_sys.ReadFile(in, text, 3, &got, nullptr));
    EXPECT_STREQ("abc", text);
    ASSERT_TRUE(g_sys.CloseHandle(in));
    EXPECT_TRUE(g_sys.DeleteFileA("machine-file.bin"));
}

TEST(EmulatedMachine, DevicePathsAndStaleHandles)
{
    HANDLE stale;
    {
        EmulatedMachine machine;
        machine.AttachUnit(SimUnitConfig(), NtSlot::Letter('E'));
        stale = g_sys.CreateFileA("\\\\.\\e:", GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, stale);
        EXPECT_EQ(INVALID_HANDLE_VALUE, g_sys.CreateFileA("\\\\.\\F:", GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());
    }
    EmulatedMachine machine;
    machine.AttachUnit(SimUnitConfig(), NtSlot::Letter('E'));
    HANDLE fresh = g_sys.CreateFileA("\\\\.\\E:", GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, fresh);
    EXPECT_NE(stale, fresh);
    // A handle of the earlier machine means nothing here, and closing it touches nothing.
    EXPECT_FALSE(g_sys.CloseHandle(stale));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), g_sys.GetLastError());
    EXPECT_EQ(1u, machine.OpenHandleCount());
    DWORD returned = 0;
    EXPECT_FALSE(g_sys.DeviceIoControl(fresh, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), g_sys.GetLastError());
    EXPECT_FALSE(g_sys.DeviceIoControl(fresh, 0x12345678, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), g_sys.GetLastError());
    EXPECT_TRUE(g_sys.CloseHandle(fresh));
}

typedef HANDLE(WINAPI* FindFirstVolume)(LPSTR, DWORD);
typedef BOOL(WINAPI* FindNextVolume)(HANDLE, LPSTR, DWORD);
typedef BOOL(WINAPI* FindVolumeClose)(HANDLE);

template <typename Function>
Function Entry(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(g_sys.GetProcAddress(module, name)));
}

TEST(EmulatedMachine, VolumesAreListedWhileTheirUnitsArePresent)
{
    EmulatedMachine machine;
    NtSlot hidden = NtSlot::Letter('F');
    hidden.listedVolume = false;
    SimUnit& e = machine.AttachUnit(SimUnitConfig(), NtSlot::Letter('E'));
    machine.AttachUnit(SimUnitConfig(), hidden);
    machine.AttachUnit(SimUnitConfig(), NtSlot::VolumeOnly());
    EXPECT_EQ((1u << 4) | (1u << 5), g_sys.GetLogicalDrives());
    EXPECT_EQ(static_cast<UINT>(DRIVE_REMOVABLE), g_sys.GetDriveTypeA("e:\\"));
    EXPECT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), g_sys.GetDriveTypeA("G:\\"));

    HMODULE kernel = g_sys.LoadLibraryA("KERNEL32.DLL");
    ASSERT_NE(nullptr, kernel);
    EXPECT_EQ(nullptr, g_sys.GetProcAddress(kernel, "NoSuchFunction"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), g_sys.GetLastError());
    auto findFirst = Entry<FindFirstVolume>(kernel, "FindFirstVolumeA");
    auto findNext = Entry<FindNextVolume>(kernel, "FindNextVolumeA");
    auto findClose = Entry<FindVolumeClose>(kernel, "FindVolumeClose");
    ASSERT_TRUE(findFirst && findNext && findClose);

    char name[261];
    std::vector<std::string> names;
    HANDLE find = findFirst(name, sizeof name);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    do
        names.push_back(name);
    while (findNext(find, name, sizeof name));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), g_sys.GetLastError());
    EXPECT_TRUE(findClose(find));
    ASSERT_EQ(2u, names.size());
    EXPECT_EQ(machine.Disk(e).VolumeName(), names[0]);
    // Too small a buffer is refused rather than filled with a cut name.
    EXPECT_EQ(INVALID_HANDLE_VALUE, findFirst(name, 10));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), g_sys.GetLastError());

    machine.Unplug(e);
    EXPECT_EQ(1u << 5, g_sys.GetLogicalDrives());
    find = findFirst(name, sizeof name);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    EXPECT_FALSE(findNext(find, name, sizeof name));
    EXPECT_TRUE(findClose(find));
    EXPECT_EQ(0u, machine.OpenHandleCount());
}

TEST(EmulatedMachine, ListenersHearArrivalsAndDeparturesUntilTheyLeave)
{
    EmulatedMachine machine;
    std::vector<WPARAM> heard;
    int id = machine.SubscribeDeviceChange([&](WPARAM event, LPARAM) { heard.push_back(event); });
    SimUnit& unit = machine.AttachUnit(SimUnitConfig(), NtSlot::Letter('E'));
    machine.Unplug(unit);
    machine.Unplug(unit);  // already gone: nothing new
    EXPECT_EQ((std::vector<WPARAM>{DBT_DEVICEARRIVAL, DBT_DEVNODES_CHANGED, DBT_DEVICEREMOVECOMPLETE,
                                   DBT_DEVNODES_CHANGED}),
              heard);
    machine.UnsubscribeDeviceChange(id);
    machine.Replug(unit);
    EXPECT_EQ(4u, heard.size());
}

}  // namespace
