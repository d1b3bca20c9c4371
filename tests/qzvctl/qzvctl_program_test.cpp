// The built program, started as a technician starts it, on a simulated unit.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "qzv_version.h"

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
#endif

namespace {

// Runs the program with `arguments` and returns its standard output; *status is pclose's result.
std::string RunProgram(const std::string& arguments, int* status)
{
    const std::string command = std::string(QZVCTL_PROGRAM) + " " + arguments;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        *status = -1;
        return std::string();
    }
    std::string output;
    char buffer[256];
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, read);
    *status = pclose(pipe);
    return output;
}

TEST(QzvctlProgram, ListsAndReadsASimulatedUnit)
{
    int status = -1;
    const std::string list = RunProgram("--sim --sim-config 0x6000 --json list", &status);
    EXPECT_EQ(0, status);
    EXPECT_NE(std::string::npos, list.find("\"product\":\"QZV-57H\",\"revision\":\"1.99\",\"configuration\":24576,"
                                           "\"slot\":3"))
        << list;

    const std::string capacity = RunProgram("--sim --sim-blocks 100 capacity", &status);
    EXPECT_EQ(0, status);
    EXPECT_NE(std::string::npos, capacity.find("blocks: 100\n")) << capacity;

    RunProgram("--sim read-memory 0x1g 2 2>&1", &status);
    EXPECT_NE(0, status) << "a wrong command line fails the program";
}

TEST(QzvctlProgram, AnswersVersionWithTheProjectVersionAndSendsNothing)
{
    int status = -1;
    // --version wins over a command and its faults: no unit is asked, nothing fails.
    EXPECT_EQ(QZV_VERSION_TEXT("qzvctl"), RunProgram("--version", &status));
    EXPECT_EQ(0, status);
    EXPECT_EQ(QZV_VERSION_TEXT("qzvctl"), RunProgram("--sim --sim-units 2 inquiry --version", &status));
    EXPECT_EQ(0, status);
    const std::string help = RunProgram("--help", &status);
    EXPECT_EQ(0, status);
    EXPECT_NE(std::string::npos, help.find("\n  or:  qzvctl --help | --version\n")) << help;
}

}  // namespace
