// The unit's storage as the memory, block and parameter-page commands reach it.
#include <gtest/gtest.h>

#include "tests/sim/sim_unit_driver.h"

namespace {

Bytes MemoryCdb(uint8_t opcode, uint32_t address, uint32_t count)
{
    return {opcode,
            0,
            uint8_t(address >> 24),
            uint8_t(address >> 16),
            uint8_t(address >> 8),
            uint8_t(address),
            uint8_t(count >> 24),
            uint8_t(count >> 16),
            uint8_t(count >> 8),
            uint8_t(count)};
}

Bytes BlockCdb(uint8_t opcode, uint32_t block, uint16_t blocks)
{
    return {opcode, 0, uint8_t(block >> 24), uint8_t(block >> 16), uint8_t(block >> 8), uint8_t(block), 0,
            uint8_t(blocks >> 8), uint8_t(blocks), 0};
}

TEST(SimUnitMemory, WordSpaceReadsAndWritesWholeWords)
{
    SimUnit unit;
    Bytes data(0x10000);
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, MemoryCdb(0x20, 0x10000, 0x10000), SimDirection::In, data)));
    EXPECT_EQ(Bytes(unit.Memory().begin() + 0x10000, unit.Memory().begin() + 0x20000), data);

    Bytes word = {0x12, 0x34};
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, MemoryCdb(0x22, 0x100, 2), SimDirection::Out, word)));
    EXPECT_EQ(0x12, unit.Memory()[0x100]);
    EXPECT_EQ(0x34, unit.Memory()[0x101]);
    Bytes back(2);
    Send(unit, MemoryCdb(0x20, 0x100, 2), SimDirection::In, back);
    EXPECT_EQ(word, back);
}

TEST(SimUnitMemory, OddAddressesCountsAndOversizedOrOutOfRangeTransfersAreRefused)
{
    SimUnitConfig config;
    config.memoryBytes = 0x20000;
    SimUnit unit(config);
    Bytes two(2), three(3), big(0x10002);
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, MemoryCdb(0x20, 5, 2), SimDirection::In, two)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, MemoryCdb(0x22, 4, 3), SimDirection::Out, three)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, MemoryCdb(0x20, 0, 0x10002), SimDirection::In, big)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, MemoryCdb(0x20, 0, 4), SimDirection::In, two)));
    Bytes four(4);
    EXPECT_EQ(SENSE_LBA_OUT_OF_RANGE, SenseOf(Send(unit, MemoryCdb(0x20, 0x1FFFE, 4), SimDirection::In, four)));
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, MemoryCdb(0x20, 0x1FFFC, 4), SimDirection::In, four)));
}

TEST(SimUnitMemory, EvenSpaceKeepsOnlyEvenAddresses)
{
    SimUnit unit;
    Bytes data = {0xA0, 0xA1, 0xB0, 0xB1};
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, MemoryCdb(0x26, 0x10, 4), SimDirection::Out, data)));
    EXPECT_EQ(0xA0, unit.EvenMemory()[0x10]);
    EXPECT_EQ(0xB0, unit.EvenMemory()[0x12]);
    Bytes back(4, 0xEE);
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, MemoryCdb(0x24, 0x10, 4), SimDirection::In, back)));
    EXPECT_EQ(Bytes({0xA0, 0x00, 0xB0, 0x00}), back);
    // The two spaces are separate.
    EXPECT_NE(0xA0, unit.Memory()[0x10]);
}

TEST(SimUnitBlocks, CapacityAndBlocksOfTheCard)
{
    SimUnitConfig config;
    config.cardBlocks = 300;
    SimUnit unit(config);
    Bytes capacity(8);
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, SimDirection::In, capacity)));
    EXPECT_EQ(Bytes({0, 0, 0x01, 0x2B, 0, 0, 0x02, 0x00}), capacity);
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB,
              SenseOf(Send(unit, {0x25, 0, 0, 0, 0, 1, 0, 0, 0, 0}, SimDirection::In, capacity)));

    Bytes out(2 * 512);
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = uint8_t(i * 3);
    }
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, BlockCdb(0x2A, 298, 2), SimDirection::Out, out)));
    Bytes in(2 * 512);
    const SimResult read = Send(unit, BlockCdb(0x28, 298, 2), SimDirection::In, in);
    EXPECT_EQ(SENSE_GOOD, SenseOf(read));
    EXPECT_EQ(1024u, read.transferred);
    EXPECT_EQ(out, in);
    EXPECT_EQ(SENSE_LBA_OUT_OF_RANGE, SenseOf(Send(unit, BlockCdb(0x28, 299, 2), SimDirection::In, in)));
    EXPECT_EQ(SENSE_LBA_OUT_OF_RANGE, SenseOf(Send(unit, BlockCdb(0x2A, 300, 2), SimDirection::Out, out)));
    Bytes wrongLength(1000);
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, BlockCdb(0x28, 0, 2), SimDirection::In, wrongLength)));
}

TEST(SimUnitBlocks, WithoutCardTheCommandsAreNotReady)
{
    SimUnitConfig config;
    config.mediumPresent = false;
    SimUnit unit(config);
    Bytes capacity(8), block(512);
    EXPECT_EQ(SENSE_MEDIUM_NOT_PRESENT,
              SenseOf(Send(unit, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, SimDirection::In, capacity)));
    EXPECT_EQ(SENSE_MEDIUM_NOT_PRESENT, SenseOf(Send(unit, BlockCdb(0x28, 0, 1), SimDirection::In, block)));
}

TEST(SimUnitParameterPage, ReadsFortyTwoBytesAndTakesThemBack)
{
    SimUnit unit;
    Bytes page(42);
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, {0x06, 0, 0, 0, 0x2A, 0}, SimDirection::In, page)));
    EXPECT_EQ(0x29, page[0]);
    EXPECT_EQ(unit.ParameterPage(), page);

    page[34 + 2] = 0x7F;  // group 4 value32, most significant byte
    page[1] = 0x55;       // reserved: not kept
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, {0x05, 0, 0, 0, 0x2A, 0}, SimDirection::Out, page)));
    EXPECT_EQ(0x7F, unit.ParameterPage()[36]);
    EXPECT_EQ(0x00, unit.ParameterPage()[1]);

    Bytes bad = page;
    bad[0] = 0x28;
    EXPECT_EQ(SENSE_INVALID_PARAMETER_DATA, SenseOf(Send(unit, {0x05, 0, 0, 0, 0x2A, 0}, SimDirection::Out, bad)));
    Bytes shorter(41);
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, {0x05, 0, 0, 0, 0x29, 0}, SimDirection::Out, shorter)));
    EXPECT_EQ(0x29, unit.ParameterPage()[0]);
}

TEST(SimUnitVendorControl, Commands21And3DCheckTheirFields)
{
    SimUnit unit;
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, {0x21, 0x40, 1, 2, 3, 4, 5, 6, 7, 8})));
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, {0x21, 0x00, 0, 0, 0, 0, 0, 0, 0, 0})));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendNoData(unit, {0x21, 0x01, 0, 0, 0, 0, 0, 0, 0, 0})));
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, {0x3D, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0})));
    // Twelve bytes or nothing: ten bytes is a short CDB.
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendNoData(unit, {0x3D, 0, 1, 2, 3, 4, 5, 6, 7, 8})));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendNoData(unit, {0x3D, 0, 1, 2, 3, 4, 5, 6, 7, 8, 1, 0})));
}

}  // namespace
