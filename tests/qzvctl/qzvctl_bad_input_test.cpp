// Wrong command lines end in a clear message and exit code 2, before any command reaches a unit.
#include "argument_list.h"
#include "qzvctl_fixture.h"

namespace {

struct BadLine {
    std::vector<std::string> arguments;
    const char* message;
};

const BadLine BAD_LINES[] = {
    {{"read-memory", "0x1g", "2"}, "bad address '0x1g'"},
    {{"read-memory", "", "2"}, "bad address ''"},
    {{"read-memory", " 5", "2"}, "bad address ' 5'"},
    {{"read-memory", "00x10", "2"}, "bad address '00x10'"},
    {{"read-memory", "0", "-1"}, "bad byte count '-1'"},
    {{"read-memory", "0", "0x100000000"}, "bad byte count '0x100000000'"},
    {{"read-memory", "0", "18446744073709551616"}, "bad byte count"},
    {{"read-memory", "0", "0"}, "bad byte count 0: nothing to transfer"},
    {{"read-memory", "0xffffffff", "2"}, "run past the last address"},
    {{"read-memory", "0", "0x4000001"}, "exceed the 67108864 bytes one run moves"},
    {{"read-blocks", "0", "0", "f.bin"}, "bad block count 0"},
    {{"read-blocks", "0xffffffff", "2", "f.bin"}, "run past the last addressable block"},
    {{"read-blocks", "0", "200000", "f.bin"}, "exceed the 67108864 bytes"},
    {{"read-blocks", "0", "1", "f.bin", "--block-size", "1"}, "bad block size 1: expected 2 to 65536"},
    {{"read-blocks", "0", "1", "f.bin", "--block-size", "0x10001"}, "bad block size '0x10001'"},
    {{"read-blocks", "0", "1"}, "read-blocks: expected 3 arguments, got 2"},
    {{"write-memory", "0", "--hex", "abc"}, "bad byte string 'abc'"},
    {{"write-memory", "0", "--hex", "zz"}, "bad byte string 'zz'"},
    {{"write-memory", "0"}, "write-memory: expected 2 arguments, got 1"},
    {{"param-page", "write", "--group", "5", "--value16", "1"}, "bad group '5'"},
    {{"param-page", "write", "--group", "1", "--value16", "0x10000"}, "bad --value16 '0x10000'"},
    {{"param-page", "write", "--group", "1", "--code-a", "256"}, "bad --code-a '256'"},
    {{"param-page", "write", "--group", "1"}, "give at least one of"},
    {{"param-page", "read", "--value16", "1"}, "takes no --group or field options"},
    {{"param-page", "erase"}, "expected read or write, got 'erase'"},
    {{"capacity", "--even"}, "capacity takes no option --even"},
    {{"capacity", "--unit"}, "option --unit needs a value"},
    {{"--unit", "64", "capacity"}, "bad unit index '64'"},
    {{"--unit", "1", "--unit", "2", "capacity"}, "option --unit given twice"},
    {{"frobnicate"}, "unknown command 'frobnicate'"},
    {{}, "no command given"},
    {{"--bogus", "list"}, "unknown option --bogus"},
    {{"list", "extra"}, "list: expected 0 arguments, got 1"},
    {{"--sim-revision", "1.999", "list"}, "bad --sim-revision '1.999'"},
    {{"--sim-units", "9", "list"}, "bad --sim-units '9'"},
    {{"--sim-platform", "os2", "list"}, "bad --sim-platform 'os2'"},
};

TEST_F(QzvctlTest, BadCommandLinesAreRefusedWithAMessageAndNothingSent)
{
    for (const BadLine& line : BAD_LINES) {
        SimScenario scenario(Options());
        const ToolRun run = RunTool(line.arguments, &scenario);
        std::string shown;
        for (const std::string& word : line.arguments)
            shown += "[" + word + "] ";
        EXPECT_EQ(2, run.exitCode) << shown;
        EXPECT_EQ(0u, run.err.find("qzvctl: ")) << shown;
        EXPECT_TRUE(Contains(run.err, line.message)) << shown << "\n" << run.err;
        EXPECT_TRUE(run.out.empty()) << shown;
        EXPECT_TRUE(scenario.Unit(0).Commands().empty()) << shown << ": not even the enumeration runs";
    }
}

TEST_F(QzvctlTest, JsonFailuresAreOneObjectOnTheOutput)
{
    const ToolRun run = RunTool({"--json", "read-memory", "0x1g", "2"});
    EXPECT_EQ(2, run.exitCode);
    EXPECT_EQ("{\"command\":\"read-memory\",\"ok\":false,\"error\":\"bad address '0x1g': expected a number from 0 to "
              "4294967295 (0xFFFFFFFF), in decimal or with 0x in hexadecimal\"}\n",
              run.out);
    EXPECT_TRUE(run.err.empty());
}

TEST(ParseNumber, DecimalAndHexadecimalUpToTheLimit)
{
    uint64_t value = 99;
    std::string error;
    EXPECT_TRUE(ParseNumber("0x0", 10, "n", &value, &error));
    EXPECT_EQ(0u, value);
    EXPECT_TRUE(ParseNumber("0XfF", 255, "n", &value, &error));
    EXPECT_EQ(255u, value);
    EXPECT_TRUE(ParseNumber("4294967295", 0xFFFFFFFFu, "n", &value, &error));
    EXPECT_EQ(0xFFFFFFFFu, value);
    EXPECT_TRUE(ParseNumber("18446744073709551615", ~0ull, "n", &value, &error));
    EXPECT_EQ(~0ull, value);

    value = 7;
    for (const char* bad : {"4294967296", "0x", "+1", "1 ", "1e3", "0x-1", "99999999999999999999"})
        EXPECT_FALSE(ParseNumber(bad, 0xFFFFFFFFu, "n", &value, &error)) << bad;
    EXPECT_FALSE(ParseNumber("1", 0, "n", &value, &error));
    EXPECT_EQ(7u, value) << "a refused number leaves the value alone";
}

}  // namespace
