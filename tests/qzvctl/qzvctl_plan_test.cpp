// plan: the commands a download would send, found by the download procedures themselves, with
// nothing sent to the unit.
#include <array>
#include <fstream>

#include "qzvctl_fixture.h"
#include "sim/unit/sample_image.h"

namespace {

void PutFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string Hex8(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

TEST_F(QzvctlTest, NewLayoutPlanShowsHeaderPiecesAndSaveWithoutSendingThem)
{
    const std::vector<uint8_t> image = SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x12345);
    PutFile("new.bin", image);
    SimScenarioOptions options = Options("2.00");
    options.configuration = 0x2000;  // version slot 1
    SimScenario scenario(options);

    const ToolRun run = RunTool({"plan", "new.bin"}, &scenario);
    ASSERT_EQ(0, run.exitCode) << run.err;
    const uint32_t crc = SampleImageCrc32(image.data(), image.size());
    EXPECT_EQ("image: new.bin\n"
              "fileLength: 74565\n"
              "sentLength: 74566\n"
              "revision: 2.00\n"
              "generation: new (1.99 or later)\n"
              "slot: 1\n"
              "version: 2.01\n"
              "header:\n"
              "  length: 0x00012345\n"
              "  crc: " + Hex8(crc) + "\n"
              "commands:\n"
              "  - index: 0\n    cdb: 3b 00 01 00 00 00 00 00 08 00\n    direction: out\n    length: 8\n"
              "    data: " + std::string("00 01 23 45 ") + [&] {
                  char bytes[16];
                  std::snprintf(bytes, sizeof bytes, "%02x %02x %02x %02x", crc >> 24, (crc >> 16) & 0xFF,
                                (crc >> 8) & 0xFF, crc & 0xFF);
                  return std::string(bytes);
              }() + "\n"
              "  - index: 1\n    cdb: 3b 00 00 01 00 00 00 23 46 00\n    direction: out\n    length: 9030\n"
              "    imageOffset: 0x00010000\n"
              "  - index: 2\n    cdb: 3b 05 00 00 00 00 01 00 00 00\n    direction: out\n    length: 65536\n"
              "    imageOffset: 0x00000000\n"
              "sent: no\n",
              run.out);
    EXPECT_TRUE(CommandsWithOpcode(scenario.Unit(0), 0x3B).empty()) << "a plan sends nothing";
    EXPECT_TRUE(scenario.Unit(0).SavedImage().empty());
}

TEST_F(QzvctlTest, OldLayoutPlanNeedsNoUnitWhenTheRevisionIsGiven)
{
    PutFile("old.bin", SampleOldImage("1.60", 0x8001));
    const ToolRun run = RunTool({"--json", "plan", "old.bin", "--revision", "1.50"});
    ASSERT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ("{\"command\":\"plan\",\"ok\":true,\"result\":{\"image\":\"old.bin\",\"fileLength\":32769,"
              "\"sentLength\":32770,\"revision\":\"1.50\",\"generation\":\"old (below 1.99)\",\"version\":\"1.60\","
              "\"commands\":[{\"index\":0,\"cdb\":\"3b000000000000008002\",\"direction\":\"out\",\"length\":32770,"
              "\"imageOffset\":0}],\"sent\":false}}\n",
              run.out);
}

TEST_F(QzvctlTest, PlanRefusesAnImageOfTheOtherLayoutOrAMissingFile)
{
    PutFile("old.bin", SampleOldImage("1.60"));
    const ToolRun wrongLayout = RunTool({"plan", "old.bin", "--revision", "2.00"});
    EXPECT_EQ(1, wrongLayout.exitCode);
    EXPECT_TRUE(Contains(wrongLayout.err, "does not carry the identification")) << wrongLayout.err;

    const ToolRun missing = RunTool({"plan", "no-such-image.bin", "--revision", "2.00"});
    EXPECT_EQ(1, missing.exitCode);
    EXPECT_TRUE(Contains(missing.err, "cannot open the image 'no-such-image.bin'")) << missing.err;

    const ToolRun badRevision = RunTool({"plan", "old.bin", "--revision", "1.5"});
    EXPECT_EQ(2, badRevision.exitCode);
}

TEST_F(QzvctlTest, PlanTakesTheRevisionOfTheUnit)
{
    PutFile("old.bin", SampleOldImage("1.70"));
    SimScenario scenario(Options("1.98"));
    const ToolRun run = RunTool({"plan", "old.bin"}, &scenario);
    ASSERT_EQ(0, run.exitCode) << run.err;
    EXPECT_TRUE(Contains(run.out, "revision: 1.98\ngeneration: old (below 1.99)\nversion: 1.70\n")) << run.out;
    EXPECT_TRUE(CommandsWithOpcode(scenario.Unit(0), 0x3B).empty());
}

}  // namespace
