// The ATA register pass-through to the card: registers, IDENTIFY DEVICE and PIO sectors.
#include <gtest/gtest.h>

#include "tests/sim/sim_unit_driver.h"

namespace {

Bytes AtaCdb(uint8_t function, uint16_t sectors = 0)
{
    return {0x56, 0, function, 0, 0, 0, 0, uint8_t(sectors >> 8), uint8_t(sectors), 0};
}

Bytes ReadRegisters(SimUnit& unit)
{
    Bytes registers(8);
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, AtaCdb(2), SimDirection::In, registers)));
    return registers;
}

TEST(SimUnitAta, IdentifyThroughLoadReadSectorsAndReadBack)
{
    SimUnitConfig config;
    config.cardBlocks = 4096;
    SimUnit unit(config);
    Bytes load = {0, 0, 0, 0, 0, 0, 0xE0, 0xEC};
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, AtaCdb(1), SimDirection::Out, load)));
    Bytes identify(512);
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, AtaCdb(5, 1), SimDirection::In, identify)));
    EXPECT_EQ(0x50, ReadRegisters(unit)[7]);

    auto word = [&](unsigned i) { return unsigned(identify[2 * i] | (identify[2 * i + 1] << 8)); };
    EXPECT_EQ(4096u, word(60) | (word(61) << 16));
    EXPECT_EQ(unit.IdentifyWord(1), word(1));
    EXPECT_EQ(4u, word(3));
    EXPECT_EQ(32u, word(6));
    EXPECT_NE(0u, word(54));
    EXPECT_EQ(word(54) * word(55) * word(56), word(57) | (word(58) << 16));
    // Model text, two characters per word, first in the high byte.
    EXPECT_EQ('V', identify[2 * 27 + 1]);
    EXPECT_EQ('O', identify[2 * 27]);

    unit.SetIdentifyWord(54, 0);
    Send(unit, AtaCdb(1), SimDirection::Out, load);
    Send(unit, AtaCdb(5, 1), SimDirection::In, identify);
    EXPECT_EQ(0u, word(54));
}

TEST(SimUnitAta, PioSectorsGoToTheSameCardAsTheBlockCommands)
{
    SimUnit unit;
    Bytes load = {0, 0, 2, 0x10, 0, 0, 0xE0, 0x30};  // WRITE SECTORS, 2 sectors at LBA 16
    Send(unit, AtaCdb(1), SimDirection::Out, load);
    Bytes sectors(1024);
    for (size_t i = 0; i < sectors.size(); ++i) {
        sectors[i] = uint8_t(i ^ 0x5A);
    }
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, AtaCdb(4, 2), SimDirection::Out, sectors)));
    EXPECT_EQ(0x50, ReadRegisters(unit)[7]);
    EXPECT_EQ(Bytes(sectors.begin(), sectors.end()), Bytes(unit.Card().begin() + 16 * 512, unit.Card().begin() + 18 * 512));

    load[7] = 0x20;  // READ SECTORS
    Send(unit, AtaCdb(1), SimDirection::Out, load);
    Bytes back(1024);
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, AtaCdb(5, 2), SimDirection::In, back)));
    EXPECT_EQ(sectors, back);
}

TEST(SimUnitAta, AtaErrorsShowInTheRegistersNotAsSense)
{
    SimUnit unit;
    // A data command run as non-data is aborted.
    Bytes load = {0, 0, 0, 0, 0, 0, 0xE0, 0xEC};
    Send(unit, AtaCdb(1), SimDirection::Out, load);
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, AtaCdb(3))));
    Bytes registers = ReadRegisters(unit);
    EXPECT_EQ(0x51, registers[7]);
    EXPECT_EQ(0x04, registers[1]);

    // A non-data command completes.
    load[7] = 0xE7;
    Send(unit, AtaCdb(1), SimDirection::Out, load);
    SendNoData(unit, AtaCdb(3));
    EXPECT_EQ(0x50, ReadRegisters(unit)[7]);

    // Beyond the card: sector not found.
    load = {0, 0, 1, 0xFF, 0xFF, 0xFF, 0xEF, 0x20};
    Send(unit, AtaCdb(1), SimDirection::Out, load);
    Bytes sector(512);
    Send(unit, AtaCdb(5, 1), SimDirection::In, sector);
    registers = ReadRegisters(unit);
    EXPECT_EQ(0x51, registers[7]);
    EXPECT_EQ(0x10, registers[1]);
}

TEST(SimUnitAta, MalformedPassThroughCommandsAreIllegalRequests)
{
    SimUnit unit;
    Bytes eight(8), sector(512);
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendNoData(unit, AtaCdb(0))));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendNoData(unit, AtaCdb(6))));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, AtaCdb(5, 0), SimDirection::In, sector)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, AtaCdb(5, 2), SimDirection::In, sector)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, AtaCdb(1), SimDirection::In, eight)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, AtaCdb(2, 1), SimDirection::In, eight)));
    Bytes cdb = AtaCdb(3);
    cdb[4] = 1;
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendNoData(unit, cdb)));
}

TEST(SimUnitAta, PowerCycleResetsTheRegisters)
{
    SimUnit unit;
    Bytes load = {1, 2, 3, 4, 5, 6, 0xE0, 0xEC};
    Send(unit, AtaCdb(1), SimDirection::Out, load);
    EXPECT_EQ(load, ReadRegisters(unit));
    unit.PowerCycle();
    EXPECT_NE(load, ReadRegisters(unit));
}

}  // namespace
