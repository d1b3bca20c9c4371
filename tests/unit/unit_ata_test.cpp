// The ATA pass-through: function CDBs, the load/run/read-back sequences and their first-failure
// rule, the retry of the register load only, the pointer and count checks, and IDENTIFY's geometry.
#include <cstring>

#include "unit/unit_ata.h"
#include "unit_operation_fixture.h"

namespace {

std::vector<uint8_t> AtaCdb(int function, int sectors = 0)
{
    return Bytes({0x56, 0, function, 0, 0, 0, 0, sectors >> 8, sectors & 0xFF, 0});
}

BYTE* NoCdbArea(DWORD)
{
    return nullptr;
}

// Registers for a PIO command on `count` sectors from `lba` in LBA mode.
UnitAtaRegisterBlock PioBlock(BYTE command, DWORD lba, BYTE count)
{
    UnitAtaRegisterBlock block = {};
    block.load.registers[UNIT_ATA_SECTOR_COUNT] = count;
    block.load.registers[UNIT_ATA_LBA_LOW] = BYTE(lba);
    block.load.registers[UNIT_ATA_LBA_MID] = BYTE(lba >> 8);
    block.load.registers[UNIT_ATA_LBA_HIGH] = BYTE(lba >> 16);
    block.load.registers[UNIT_ATA_DEVICE] = BYTE(0xE0 | ((lba >> 24) & 0x0F));
    block.load.registers[UNIT_ATA_COMMAND] = command;
    return block;
}

using UnitAtaTest = UnitOperationTest;

TEST_F(UnitAtaTest, PioOutThenPioInMovesSectorsThroughTheCard)
{
    std::vector<BYTE> data(2 * 512);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = BYTE(i * 5 + 3);
    UnitAtaRegisterBlock write = PioBlock(0x30, 100, 2);
    EXPECT_EQ(0u, UnitAtaPioOut(0, &write, data.data(), 2));
    ASSERT_EQ(3u, Sent().size());
    EXPECT_EQ(AtaCdb(1), CdbOf(0));
    EXPECT_EQ(std::vector<uint8_t>(write.load.registers, write.load.registers + 8), Sent()[0].dataOut);
    EXPECT_EQ(AtaCdb(4, 2), CdbOf(1));
    EXPECT_EQ(data, Sent()[1].dataOut);
    EXPECT_EQ(AtaCdb(2), CdbOf(2));
    EXPECT_EQ(SimDirection::In, Sent()[2].direction);
    EXPECT_EQ(0x50, write.readBack.registers[UNIT_ATA_COMMAND]) << "status read back: ready, no error";
    EXPECT_EQ(0, std::memcmp(unit->Card().data() + 100 * 512, data.data(), data.size()));

    std::vector<BYTE> back(2 * 512, 0);
    UnitAtaRegisterBlock read = PioBlock(0x20, 100, 2);
    EXPECT_EQ(0u, UnitAtaPioIn(0, &read, back.data(), 2));
    EXPECT_EQ(AtaCdb(5, 2), CdbOf(4));
    EXPECT_EQ(data, back);
}

TEST_F(UnitAtaTest, NonDataSequenceReadsBackTheRegisters)
{
    UnitAtaRegisterBlock block = {};
    block.load.registers[UNIT_ATA_COMMAND] = 0xE7;  // FLUSH CACHE
    std::memset(block.readBack.registers, 0xAA, 8);
    EXPECT_EQ(0u, UnitAtaNonData(0, &block));
    ASSERT_EQ(3u, Sent().size());
    EXPECT_EQ(AtaCdb(1), CdbOf(0));
    EXPECT_EQ(AtaCdb(3), CdbOf(1));
    EXPECT_EQ(SimDirection::None, Sent()[1].direction);
    EXPECT_EQ(AtaCdb(2), CdbOf(2));
    EXPECT_EQ(0x50, block.readBack.registers[UNIT_ATA_COMMAND]);
    EXPECT_EQ(0x00, block.readBack.registers[UNIT_ATA_FEATURES]);
}

TEST_F(UnitAtaTest, SequenceStopsAtTheFirstFailingCommandWithItsStatus)
{
    std::vector<BYTE> data(512);
    for (unsigned failing = 1; failing <= 3; ++failing) {
        unit->ClearCommands();
        unit->FailCommandWithSense(failing, 0x04, 0x44, BYTE(failing));
        UnitAtaRegisterBlock block = PioBlock(0x20, 0, 1);
        const UnitStatus expected = 0x44000004u | failing << 16;
        EXPECT_EQ(expected, UnitAtaPioIn(0, &block, data.data(), 1)) << failing;
        EXPECT_EQ(failing, Sent().size()) << "no command after the failing one";
    }
    for (unsigned failing = 1; failing <= 3; ++failing) {
        unit->ClearCommands();
        unit->FailCommandWithSense(failing, 0x05, 0x24, 0x00);
        UnitAtaRegisterBlock block = {};
        EXPECT_EQ(0x24000005u, UnitAtaNonData(0, &block)) << failing;
        EXPECT_EQ(failing, Sent().size());
    }
    unit->ClearCommands();
    unit->FailCommandWithSense(2, 0x05, 0x24, 0x00);
    UnitAtaRegisterBlock block = PioBlock(0x30, 0, 1);
    EXPECT_EQ(0x24000005u, UnitAtaPioOut(0, &block, data.data(), 1));
    EXPECT_EQ(2u, Sent().size());
}

TEST_F(UnitAtaTest, OnlyTheRegisterLoadIsRepeatedOnReadyChange)
{
    std::vector<BYTE> data(512);
    UnitAtaRegisterBlock block = PioBlock(0x20, 0, 1);
    unit->FailCommandWithSense(1, UNIT_ATTENTION, READY_CHANGE, 0x00);
    EXPECT_EQ(0u, UnitAtaPioIn(0, &block, data.data(), 1));
    ASSERT_EQ(4u, Sent().size());
    EXPECT_EQ(AtaCdb(1), CdbOf(1)) << "the load was issued again";

    unit->ClearCommands();
    unit->FailCommandWithSense(1, UNIT_ATTENTION, READY_CHANGE, 0x00);
    unit->FailCommandWithSense(2, UNIT_ATTENTION, READY_CHANGE, 0x00);
    EXPECT_EQ(0x28000006u, UnitAtaPioIn(0, &block, data.data(), 1));
    EXPECT_EQ(2u, Sent().size()) << "exactly two attempts";

    unit->ClearCommands();
    unit->FailCommandWithSense(2, UNIT_ATTENTION, READY_CHANGE, 0x00);
    EXPECT_EQ(0x28000006u, UnitAtaPioIn(0, &block, data.data(), 1));
    EXPECT_EQ(2u, Sent().size()) << "the data command is not repeated";

    unit->ClearCommands();
    unit->FailCommandWithSense(3, UNIT_ATTENTION, READY_CHANGE, 0x00);
    EXPECT_EQ(0x28000006u, UnitAtaNonData(0, &block));
    EXPECT_EQ(3u, Sent().size()) << "the read-back is not repeated";

    unit->ClearCommands();
    unit->FailCommandWithSense(1, UNIT_ATTENTION, READY_CHANGE, 0x00);
    EXPECT_EQ(0x28000006u, UnitAtaReadRegisters(0, &block.readBack));
    EXPECT_EQ(1u, Sent().size());
    unit->FailCommandWithSense(1, UNIT_ATTENTION, READY_CHANGE, 0x00);
    EXPECT_EQ(0u, UnitAtaWriteRegisters(0, &block.load));
    EXPECT_EQ(3u, Sent().size());
}

TEST_F(UnitAtaTest, SingleFunctionsCarryTheSectorCountInTheCdb)
{
    UnitAtaRegisterBlock block = PioBlock(0x30, 8, 1);
    ASSERT_EQ(0u, UnitAtaWriteRegisters(0, &block.load));
    std::vector<BYTE> data(512, 0x77);
    EXPECT_EQ(0u, UnitAtaWriteSectors(0, data.data(), 1));
    EXPECT_EQ(0u, UnitAtaReadRegisters(0, &block.readBack));
    EXPECT_EQ(0u, UnitAtaExecute(0));
    ASSERT_EQ(4u, Sent().size());
    EXPECT_EQ(AtaCdb(1), CdbOf(0));
    EXPECT_EQ(AtaCdb(4, 1), CdbOf(1));
    EXPECT_EQ(512u, Sent()[1].length);
    EXPECT_EQ(AtaCdb(2), CdbOf(2));
    EXPECT_EQ(AtaCdb(3), CdbOf(3));
    EXPECT_EQ(0x77, unit->Card()[8 * 512]);

    // 0x101 sectors: both count bytes used, the whole length in one command.
    std::vector<BYTE> big(0x101 * 512);
    unit->ClearCommands();
    UnitAtaReadSectors(0, big.data(), 0x101);
    ASSERT_EQ(1u, Sent().size());
    EXPECT_EQ(AtaCdb(5, 0x101), CdbOf(0));
    EXPECT_EQ(0x101u * 512, Sent()[0].length);
}

TEST_F(UnitAtaTest, MissingPointersAndZeroCountsGiveElevenWithoutACommand)
{
    UnitAtaRegisterBlock block = {};
    BYTE data[512];
    EXPECT_EQ(11u, UnitAtaWriteRegisters(0, nullptr));
    EXPECT_EQ(11u, UnitAtaReadRegisters(0, nullptr));
    EXPECT_EQ(11u, UnitAtaWriteSectors(0, nullptr, 1));
    EXPECT_EQ(11u, UnitAtaWriteSectors(0, data, 0));
    EXPECT_EQ(11u, UnitAtaReadSectors(0, nullptr, 1));
    EXPECT_EQ(11u, UnitAtaReadSectors(0, data, 0));
    EXPECT_EQ(11u, UnitAtaNonData(0, nullptr));
    EXPECT_EQ(11u, UnitAtaPioOut(0, nullptr, data, 1));
    EXPECT_EQ(11u, UnitAtaPioOut(0, &block, nullptr, 1));
    EXPECT_EQ(11u, UnitAtaPioOut(0, &block, data, 0));
    EXPECT_EQ(11u, UnitAtaPioIn(0, nullptr, data, 1));
    EXPECT_EQ(11u, UnitAtaPioIn(0, &block, nullptr, 1));
    EXPECT_EQ(11u, UnitAtaPioIn(0, &block, data, 0));
    EXPECT_EQ(11u, UnitAtaIdentify(0, nullptr));
    EXPECT_TRUE(Sent().empty());
}

TEST_F(UnitAtaTest, IndexAndCdbAreaAreCheckedBeforeThePointers)
{
    EXPECT_EQ(5u, UnitAtaPioIn(1, nullptr, nullptr, 0)) << "index out of range";
    EXPECT_EQ(5u, UnitAtaIdentify(1, nullptr));
    UnitEntryAt(0)->getCdb = NoCdbArea;
    EXPECT_EQ(5u, UnitAtaWriteRegisters(0, nullptr)) << "no CDB area";
    EXPECT_EQ(5u, UnitAtaNonData(0, nullptr));
    EXPECT_EQ(5u, UnitAtaExecute(0));
    EXPECT_TRUE(Sent().empty());
}

TEST_F(UnitAtaTest, IdentifyReportsTheCurrentTranslationWhenWord54IsSet)
{
    unit->SetIdentifyWord(54, 1000);
    unit->SetIdentifyWord(55, 12);
    unit->SetIdentifyWord(56, 63);
    unit->SetIdentifyWord(60, 0x5678);
    unit->SetIdentifyWord(61, 0x1234);
    UnitAtaGeometry geometry = {};
    UnitAtaIdentifyData details = {};
    EXPECT_EQ(0u, UnitAtaIdentify(0, &geometry, &details));
    EXPECT_EQ(0x12345678u, geometry.totalSectors);
    EXPECT_EQ(1000u, geometry.cylinders);
    EXPECT_EQ(12u, geometry.heads);
    EXPECT_EQ(63u, geometry.sectorsPerTrack);

    ASSERT_EQ(3u, Sent().size());
    EXPECT_EQ(Bytes({0, 0, 0, 0, 0, 0, 0xE0, 0xEC}), Sent()[0].dataOut);
    EXPECT_EQ(AtaCdb(5, 1), CdbOf(1));
    EXPECT_EQ(512u, Sent()[1].length);
    EXPECT_EQ(0x50, details.readBack.registers[UNIT_ATA_COMMAND]);
    EXPECT_EQ(0x78, details.identify[120]);
    EXPECT_EQ(0x12, details.identify[123]);
}

TEST_F(UnitAtaTest, IdentifyReportsTheDefaultGeometryWhenWord54IsZero)
{
    unit->SetIdentifyWord(54, 0);
    unit->SetIdentifyWord(55, 12);
    unit->SetIdentifyWord(1, 977);
    unit->SetIdentifyWord(3, 5);
    unit->SetIdentifyWord(6, 17);
    UnitAtaGeometry geometry = {};
    EXPECT_EQ(0u, UnitAtaIdentify(0, &geometry));
    EXPECT_EQ(977u, geometry.cylinders);
    EXPECT_EQ(5u, geometry.heads);
    EXPECT_EQ(17u, geometry.sectorsPerTrack);
}

TEST_F(UnitAtaTest, FailedIdentifyLeavesTheGeometryUntouched)
{
    UnitAtaGeometry geometry = {1, 2, 3, 4};
    unit->FailCommandWithSense(2, 0x02, 0x3A, 0x00);
    EXPECT_EQ(0x3A000002u, UnitAtaIdentify(0, &geometry));
    EXPECT_EQ(1u, geometry.totalSectors);
    EXPECT_EQ(2u, geometry.cylinders);
    EXPECT_EQ(3u, geometry.heads);
    EXPECT_EQ(4u, geometry.sectorsPerTrack);
    EXPECT_EQ(2u, Sent().size());
}

}  // namespace
