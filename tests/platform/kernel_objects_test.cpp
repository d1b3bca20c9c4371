// Named mutexes and events through the seam behave as the transports rely on.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>

#include "platform/system_table.h"

namespace {

// Named objects may be shared by every process on the machine, other test runs among them.
std::string UniqueName(const char* what)
{
    static const std::string suffix = std::to_string(std::random_device()());
    return std::string(what) + "-" + suffix;
}

TEST(KernelObjects, NamedMutexIsSharedByNameAndOwnedRecursively)
{
    const std::string name = UniqueName("qzv-test-mutex");
    HANDLE first = g_sys.CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(0u, g_sys.GetLastError());
    HANDLE second = g_sys.CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), g_sys.GetLastError());
    HANDLE opened = g_sys.OpenMutexA(0x1F0001, FALSE, name.c_str());
    ASSERT_NE(nullptr, opened);

    ASSERT_EQ(WAIT_OBJECT_0, g_sys.WaitForSingleObject(first, 0));
    ASSERT_EQ(WAIT_OBJECT_0, g_sys.WaitForSingleObject(second, 0));  // same thread: recursive

    DWORD otherThread = WAIT_FAILED;
    std::thread([&] { otherThread = g_sys.WaitForSingleObject(opened, 10); }).join();
    EXPECT_EQ(WAIT_TIMEOUT, otherThread);

    EXPECT_TRUE(g_sys.ReleaseMutex(first));
    EXPECT_TRUE(g_sys.ReleaseMutex(first));
    EXPECT_FALSE(g_sys.ReleaseMutex(first));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), g_sys.GetLastError());

    std::thread([&] {
        otherThread = g_sys.WaitForSingleObject(opened, 10);
        g_sys.ReleaseMutex(opened);
    }).join();
    EXPECT_EQ(WAIT_OBJECT_0, otherThread);

    g_sys.CloseHandle(first);
    g_sys.CloseHandle(second);
    g_sys.CloseHandle(opened);
}

TEST(KernelObjects, OpeningAnUnknownMutexFails)
{
    EXPECT_EQ(nullptr, g_sys.OpenMutexA(0x1F0001, FALSE, UniqueName("qzv-test-never-created").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_sys.GetLastError());
}

TEST(KernelObjects, AutoResetEventReleasesOneWait)
{
    HANDLE event = g_sys.CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(WAIT_TIMEOUT, g_sys.WaitForSingleObject(event, 0));
    EXPECT_TRUE(g_sys.SetEvent(event));
    EXPECT_EQ(WAIT_OBJECT_0, g_sys.WaitForSingleObject(event, 0));
    EXPECT_EQ(WAIT_TIMEOUT, g_sys.WaitForSingleObject(event, 0));
    EXPECT_TRUE(g_sys.SetEvent(event));
    EXPECT_TRUE(g_sys.ResetEvent(event));
    EXPECT_EQ(WAIT_TIMEOUT, g_sys.WaitForSingleObject(event, 0));
    g_sys.CloseHandle(event);
}

}  // namespace
