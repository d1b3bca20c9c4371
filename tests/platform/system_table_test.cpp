// The seam itself: replacing one entry, resetting all, and the native file calls behind it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/system_table.h"

namespace {

DWORD WINAPI FailingGetFileAttributes(LPCSTR)
{
    g_sys.SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_FILE_ATTRIBUTES;
}

class SystemTableTest : public ::testing::Test {
protected:
    void TearDown() override { SystemTableReset(); }
};

TEST_F(SystemTableTest, ReplacedEntryIsUsedUntilReset)
{
    g_sys.GetFileAttributesA = FailingGetFileAttributes;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, g_sys.GetFileAttributesA("."));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), g_sys.GetLastError());
    SystemTableReset();
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, g_sys.GetFileAttributesA(".") & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(SystemTableTest, FileRoundTripThroughTheSeam)
{
    const char* path = "seam-roundtrip.bin";
    HANDLE out = g_sys.CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, out);
    DWORD written = 0;
    ASSERT_TRUE(g_sys.WriteFile(out, "\x01\x02\x1a\r\n", 5, &written, nullptr));
    EXPECT_EQ(5u, written);
    ASSERT_TRUE(g_sys.CloseHandle(out));

    HANDLE in = g_sys.CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, in);
    EXPECT_EQ(5u, g_sys.GetFileSize(in, nullptr));
    char buffer[16] = {};
    DWORD got = 0;
    ASSERT_TRUE(g_sys.ReadFile(in, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(5u, got);
    EXPECT_EQ(0, std::memcmp(buffer, "\x01\x02\x1a\r\n", 5));
    ASSERT_TRUE(g_sys.CloseHandle(in));

    ASSERT_TRUE(g_sys.MoveFileExA(path, "seam-moved.bin", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, g_sys.GetFileAttributesA(path));
    EXPECT_TRUE(g_sys.DeleteFileA("seam-moved.bin"));
}

TEST_F(SystemTableTest, OpeningWhatIsNotThereSetsTheLastError)
{
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              g_sys.CreateFileA("no-such-dir/no-such-file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD err = g_sys.GetLastError();
    EXPECT_TRUE(err == ERROR_PATH_NOT_FOUND || err == ERROR_FILE_NOT_FOUND) << err;
    EXPECT_EQ(INVALID_HANDLE_VALUE, g_sys.CreateFileA(".", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(g_sys.MoveFileExA("no-such-file", "elsewhere", 0));
}

TEST_F(SystemTableTest, VersionQueryNeedsTheFullRecord)
{
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(g_sys.GetVersionExA(&info));
#ifdef _WIN32
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
#else
    EXPECT_EQ(VER_PLATFORM_LINUX, info.dwPlatformId);
#endif
}

}  // namespace
