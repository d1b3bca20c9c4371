// The files the tool writes (read-blocks, read-memory to a file): whole or not at all, also when a
// signal ends the program in the middle of writing one.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data_file.h"
#include "platform/system_table.h"

namespace fs = std::filesystem;

namespace {

std::string FileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void PutText(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

std::vector<std::string> Names(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class DataFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        PutText(m_path, "previous");
    }
    void TearDown() override { SystemTableReset(); }

    const fs::path m_dir = "data-file";
    const std::string m_path = (m_dir / "data.bin").string();
};

// The disk fills up half-way: the previous file stays and nothing else is left.
BOOL WINAPI HalfWriteThenDiskFull(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped)
{
    SystemNativeTable().WriteFile(file, buffer, size / 2, done, overlapped);
    g_sys.SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

TEST_F(DataFileTest, AFailedWriteLeavesThePreviousFileAndNoTemporary)
{
    std::string error;
    g_sys.WriteFile = HalfWriteThenDiskFull;
    EXPECT_FALSE(WriteDataFile(m_path, std::vector<uint8_t>(4096, 0xAB), &error));
    EXPECT_NE(std::string::npos, error.find("cannot write")) << error;
    EXPECT_EQ("previous", FileText(m_path));
    EXPECT_EQ(std::vector<std::string>{"data.bin"}, Names(m_dir));

    SystemTableReset();
    ASSERT_TRUE(WriteDataFile(m_path, {1, 2, 3}, &error)) << error;
    EXPECT_EQ(std::string("\x01\x02\x03"), FileText(m_path));
    EXPECT_EQ(std::vector<std::string>{"data.bin"}, Names(m_dir));
}

#ifndef _WIN32
int s_endingSignal;

BOOL WINAPI HalfWriteThenSignal(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped)
{
    SystemNativeTable().WriteFile(file, buffer, size / 2, done, overlapped);
    raise(s_endingSignal);
    return FALSE;
}

TEST_F(DataFileTest, AWriteEndedBySignalLeavesThePreviousFileAndNoTemporary)
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        pid_t child = fork();
        if (child == 0) {
            std::signal(signal, SIG_DFL);
            s_endingSignal = signal;
            g_sys.WriteFile = HalfWriteThenSignal;
            std::string error;
            WriteDataFile(m_path, std::vector<uint8_t>(100000, 0xAB), &error);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
        EXPECT_EQ("previous", FileText(m_path));
        EXPECT_EQ(std::vector<std::string>{"data.bin"}, Names(m_dir));
    }

    // Outside a write the program's own handling of the signals is back in place.
    struct sigaction before {}, after {};
    sigaction(SIGTERM, nullptr, &before);
    std::string error;
    ASSERT_TRUE(WriteDataFile(m_path, {4, 5}, &error)) << error;
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(before.sa_handler, after.sa_handler);
}
#endif

}  // namespace
