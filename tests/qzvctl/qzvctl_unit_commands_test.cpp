// The tool's commands on an emulated machine: what they send, what they print, as text and JSON.
#include <fstream>
#include <iterator>

#include "qzvctl_fixture.h"
#include "sim/machine/emulated_machine.h"

namespace {

std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void PutFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

TEST_F(QzvctlTest, ListShowsEveryUnitFromTheScenarioOptions)
{
    const ToolRun text = RunTool({"--sim-units", "2", "--sim-product", "QZV-57G", "--sim-revision", "2.10",
                                  "--sim-config", "0x4000", "list"});
    EXPECT_EQ(0, text.exitCode) << text.err;
    EXPECT_EQ("units:\n"
              "  - index: 0\n    transport: host\n    drive: E:\n    vendor: VORNA\n    product: QZV-57G\n"
              "    revision: 2.10\n    configuration: 0x00004000\n    slot: 2\n"
              "  - index: 1\n    transport: host\n    drive: F:\n    vendor: VORNA\n    product: QZV-57G\n"
              "    revision: 2.10\n    configuration: 0x00004000\n    slot: 2\n"
              "count: 2\n",
              text.out);

    const ToolRun json = RunTool({"--sim", "--json", "list"});
    EXPECT_EQ(0, json.exitCode);
    EXPECT_EQ("{\"command\":\"list\",\"ok\":true,\"result\":{\"units\":[{\"index\":0,\"transport\":\"host\","
              "\"drive\":\"E:\",\"vendor\":\"VORNA\",\"product\":\"QZV-57H\",\"revision\":\"1.99\","
              "\"configuration\":0,\"slot\":0}],\"count\":1}}\n",
              json.out);
}

TEST_F(QzvctlTest, ReadBlocksWritesTheCardToAFileInCommandsOf128_128And44)
{
    SimScenario scenario(Options());
    SimUnit& unit = scenario.Unit(0);
    for (size_t i = 0; i < unit.Card().size(); ++i)
        unit.Card()[i] = uint8_t(i * 7 + i / 512);
    const ToolRun run = RunTool({"read-blocks", "5", "300", "blocks.bin"}, &scenario);
    ASSERT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ(std::vector<uint8_t>(unit.Card().begin() + 5 * 512, unit.Card().begin() + 305 * 512),
              FileBytes("blocks.bin"));
    const std::vector<SimCommand> reads = CommandsWithOpcode(unit, 0x28);
    ASSERT_EQ(3u, reads.size());
    EXPECT_EQ(128, reads[0].cdb[8]);
    EXPECT_EQ(128, reads[1].cdb[8]);
    EXPECT_EQ(44, reads[2].cdb[8]);
    EXPECT_TRUE(Contains(run.out, "bytes: 153600\n"));
}

TEST_F(QzvctlTest, WriteBlocksTakesWholeBlocksFromAFile)
{
    SimScenario scenario(Options());
    SimUnit& unit = scenario.Unit(0);
    std::vector<uint8_t> data(3 * 512);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 31 + 5);
    PutFile("three.bin", data);
    const ToolRun run = RunTool({"write-blocks", "0x10", "three.bin"}, &scenario);
    ASSERT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ(data, std::vector<uint8_t>(unit.Card().begin() + 16 * 512, unit.Card().begin() + 19 * 512));

    PutFile("ragged.bin", std::vector<uint8_t>(700, 1));
    const ToolRun ragged = RunTool({"write-blocks", "0", "ragged.bin"}, &scenario);
    EXPECT_EQ(2, ragged.exitCode);
    EXPECT_TRUE(Contains(ragged.err, "700 bytes: expected a nonzero multiple of the block size 512")) << ragged.err;
    EXPECT_EQ(1u, CommandsWithOpcode(unit, 0x2A).size()) << "nothing written for the ragged file";
}

TEST_F(QzvctlTest, ReadMemoryDumpsBytesAndTheEvenSpaceShows0xFFAtOddAddresses)
{
    SimScenario scenario(Options());
    SimUnit& unit = scenario.Unit(0);
    for (size_t i = 0; i < 0x40; ++i) {
        unit.Memory()[i] = uint8_t(0x80 + i);
        if (i % 2 == 0)
            unit.EvenMemory()[i] = uint8_t(0x10 + i);
    }
    const ToolRun word = RunTool({"read-memory", "0x11", "3"}, &scenario);
    ASSERT_EQ(0, word.exitCode) << word.err;
    EXPECT_EQ("unit: 0\nspace: word\naddress: 0x00000011\nbytes: 3\ndata:\n"
              "  00000011  91 92 93                                         |...|\n",
              word.out);

    const ToolRun even = RunTool({"--json", "read-memory", "0x11", "4", "--even"}, &scenario);
    ASSERT_EQ(0, even.exitCode);
    EXPECT_TRUE(Contains(even.out, "\"space\":\"even\",\"address\":17,\"bytes\":4,\"data\":\"ff22ff24\""))
        << even.out;

    const ToolRun file = RunTool({"read-memory", "0", "0x40", "memory.bin"}, &scenario);
    ASSERT_EQ(0, file.exitCode);
    EXPECT_EQ(std::vector<uint8_t>(unit.Memory().begin(), unit.Memory().begin() + 0x40), FileBytes("memory.bin"));
}

TEST_F(QzvctlTest, WriteMemoryAtAnOddAddressKeepsTheNeighbouringBytes)
{
    SimScenario scenario(Options());
    SimUnit& unit = scenario.Unit(0);
    unit.Memory()[0x20] = 0x11;
    unit.Memory()[0x24] = 0x55;
    const ToolRun run = RunTool({"write-memory", "0x21", "--hex", "a1 a2:a3"}, &scenario);
    ASSERT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ(0x11, unit.Memory()[0x20]);
    EXPECT_EQ(0xA1, unit.Memory()[0x21]);
    EXPECT_EQ(0xA3, unit.Memory()[0x23]);
    EXPECT_EQ(0x55, unit.Memory()[0x24]);

    PutFile("even.bin", {0x01, 0x02, 0x03});
    ASSERT_EQ(0, RunTool({"write-memory", "0x30", "even.bin", "--even"}, &scenario).exitCode);
    EXPECT_EQ(0x01, unit.EvenMemory()[0x30]);
    EXPECT_EQ(0x03, unit.EvenMemory()[0x32]);
    const std::vector<SimCommand> writes = CommandsWithOpcode(unit, 0x26);
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ((std::vector<uint8_t>{0x03, 0xFF}), writes[1].dataOut);
}

TEST_F(QzvctlTest, ParameterPageAt209ShowsTheValueAndWritesItHalved)
{
    SimScenario scenario(Options("2.09"));
    SimUnit& unit = scenario.Unit(0);
    std::vector<uint8_t> page(42, 0);
    page[0] = 0x29;
    page[36 + 2] = 0x01;  // group 4's value32 = 0x00000100 as the unit holds it
    unit.ParameterPage() = page;

    const ToolRun read = RunTool({"param-page"}, &scenario);
    ASSERT_EQ(0, read.exitCode) << read.err;
    EXPECT_TRUE(Contains(read.out, "  - group: 4\n    codeA: 0x00\n    codeB: 0x00\n    value32: 0x00000200\n"))
        << read.out;
    EXPECT_TRUE(Contains(read.out, "group4HeldHalved: yes\n"));

    const ToolRun odd = RunTool({"param-page", "write", "--group", "4", "--value32", "0x301"}, &scenario);
    EXPECT_EQ(2, odd.exitCode);
    EXPECT_TRUE(Contains(odd.err, "units of two")) << odd.err;
    EXPECT_TRUE(CommandsWithOpcode(unit, 0x05).empty());

    const ToolRun write =
        RunTool({"param-page", "write", "--group", "4", "--value32", "0x300", "--code-a", "0x7e"}, &scenario);
    ASSERT_EQ(0, write.exitCode) << write.err;
    const std::vector<SimCommand> writes = CommandsWithOpcode(unit, 0x05);
    ASSERT_EQ(1u, writes.size());
    page[34] = 0x7E;
    page[36 + 2] = 0x01, page[36 + 3] = 0x80;  // 0x300 held as 0x180
    EXPECT_EQ(page, writes[0].dataOut);
}

TEST_F(QzvctlTest, ParameterPageBelow210RefusesToRewriteAGroup4ValueItCannotReadBack)
{
    SimScenario scenario(Options("2.09"));
    SimUnit& unit = scenario.Unit(0);
    std::vector<uint8_t> page(42, 0);
    page[0] = 0x29;
    page[36] = 0x80, page[39] = 0x01;  // group 4 holds 0x80000001: doubled, bit 31 is lost
    unit.ParameterPage() = page;

    const ToolRun read = RunTool({"param-page"}, &scenario);
    ASSERT_EQ(0, read.exitCode) << read.err;
    EXPECT_TRUE(Contains(read.out, "    value32: 0x00000002\n")) << read.out;
    EXPECT_TRUE(Contains(read.out, "group4Value32LacksBit31: yes\n")) << read.out;

    // Any other field would write the whole page back with group 4's value cut.
    for (const std::vector<std::string>& change : {std::vector<std::string>{"--group", "0", "--code-a", "1"},
                                                    std::vector<std::string>{"--group", "4", "--value16", "7"}}) {
        std::vector<std::string> words = {"param-page", "write"};
        words.insert(words.end(), change.begin(), change.end());
        const ToolRun refused = RunTool(words, &scenario);
        EXPECT_EQ(1, refused.exitCode);
        EXPECT_TRUE(Contains(refused.err, "bit 31")) << refused.err;
    }
    EXPECT_TRUE(CommandsWithOpcode(unit, 0x05).empty());
    EXPECT_EQ(page, unit.ParameterPage());

    // Giving group 4's value itself replaces it: that is written.
    const ToolRun replaced = RunTool({"param-page", "write", "--group", "4", "--value32", "0x10"}, &scenario);
    ASSERT_EQ(0, replaced.exitCode) << replaced.err;
    EXPECT_TRUE(Contains(replaced.out, "group4Value32LacksBit31: no\n")) << replaced.out;
    EXPECT_EQ(0x00, unit.ParameterPage()[36]);
    EXPECT_EQ(0x08, unit.ParameterPage()[39]);
}

TEST_F(QzvctlTest, AtaIdentifyShowsTheCardsGeometry)
{
    SimScenario scenario(Options());
    const ToolRun run = RunTool({"--json", "ata-identify"}, &scenario);
    ASSERT_EQ(0, run.exitCode) << run.err;
    EXPECT_TRUE(Contains(run.out, "\"model\":\"VORNA SIMULATED CARD\"")) << run.out;
    EXPECT_TRUE(Contains(run.out, "\"totalSectors\":2048,\"cylinders\":16,\"heads\":8,\"sectorsPerTrack\":16"));
}

TEST_F(QzvctlTest, CapacityAndInquiryOfTheScenarioUnit)
{
    SimScenarioOptions options = Options("2.03");
    options.cardBlocks = 4096;
    SimScenario scenario(options);
    const ToolRun capacity = RunTool({"capacity"}, &scenario);
    ASSERT_EQ(0, capacity.exitCode);
    EXPECT_EQ("unit: 0\nlastBlock: 4095\nblockLength: 512\nblocks: 4096\nbytes: 2097152\n", capacity.out);
    const ToolRun inquiry = RunTool({"--json", "inquiry"}, &scenario);
    EXPECT_TRUE(Contains(inquiry.out, "\"vendor\":\"VORNA\",\"product\":\"QZV-57H\",\"revision\":\"2.03\""))
        << inquiry.out;
}

TEST_F(QzvctlTest, AVendorUsbUnitsStatusBlockNamesNoSenseKey)
{
    // A pass-through unit and, after it in the unit table, a vendor-USB unit: both refuse a block
    // read beyond their card with the same sense, which over USB arrives as ASC and ASCQ alone.
    EmulatedMachine machine;
    SimUnitConfig smallCard;
    smallCard.cardBlocks = 16;
    machine.AttachUnit(smallCard, NtSlot::Letter('E'));
    machine.AttachUsbUnit(smallCard);
    const ToolRun host = RunTool({"read-blocks", "10", "10", "out.bin"});
    EXPECT_TRUE(Contains(host.err, "0x21000005 ILLEGAL REQUEST: logical block address out of range")) << host.err;
    const ToolRun usb = RunTool({"--json", "read-blocks", "10", "10", "out.bin", "--unit", "1"});
    EXPECT_TRUE(Contains(usb.out, "0x21000000 sense key not reported: logical block address out of range"))
        << usb.out;
    EXPECT_TRUE(Contains(usb.out, "\"senseKey\":\"sense key not reported\"")) << usb.out;
}

TEST_F(QzvctlTest, FailingStatusIsShownWithItsSenseKeyAndMeaning)
{
    const ToolRun text = RunTool({"--sim-blocks", "16", "read-blocks", "10", "10", "out.bin"});
    EXPECT_EQ(1, text.exitCode);
    EXPECT_EQ("qzvctl: READ(10) failed: 0x21000005 ILLEGAL REQUEST: logical block address out of range "
              "(ASC 0x21, ASCQ 0x00)\n",
              text.err);
    EXPECT_TRUE(text.out.empty());

    const ToolRun json = RunTool({"--sim-blocks", "16", "--json", "capacity", "--unit", "1"});
    EXPECT_EQ(1, json.exitCode);
    EXPECT_EQ("{\"command\":\"capacity\",\"ok\":false,\"error\":\"no unit 1: 1 unit is attached (0 to 0)\"}\n",
              json.out);
}

}  // namespace
