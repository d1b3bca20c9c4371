// ATA register pass-through to the card in the unit's slot (vendor opcode 0x56): load the eight
// command-block registers, run a command with or without a PIO data phase, read the registers back.
// ATA errors show in the registers read back; the status returned is the SCSI command's.
//
// Every operation first checks the unit index and takes the CDB area (5 when either fails), then
// its pointers and sector count: a null pointer or a zero count gives 11 without any command.
#pragma once

#include <cstdint>

#include "unit/unit_table.h"

// ATA command-block registers in their register order.
enum UnitAtaRegister {
    UNIT_ATA_DATA = 0,
    UNIT_ATA_FEATURES = 1,      // the error register when read back
    UNIT_ATA_SECTOR_COUNT = 2,
    UNIT_ATA_LBA_LOW = 3,       // sector number
    UNIT_ATA_LBA_MID = 4,       // cylinder low
    UNIT_ATA_LBA_HIGH = 5,      // cylinder high
    UNIT_ATA_DEVICE = 6,        // device/head
    UNIT_ATA_COMMAND = 7,       // the status register when read back
};

enum { UNIT_ATA_SECTOR_SIZE = 512 };

struct UnitAtaRegisters {
    BYTE registers[8];
};

// What the composite operations take: the registers to load and, after the command, the registers
// read back.
struct UnitAtaRegisterBlock {
    UnitAtaRegisters load;
    UnitAtaRegisters readBack;
};

// The card's geometry from its IDENTIFY DEVICE data: the current translation (words 54..56) when
// word 54 is set, else the default one (words 1, 3, 6); the sector count from words 60..61.
struct UnitAtaGeometry {
    uint64_t totalSectors;
    uint64_t cylinders;
    DWORD heads;
    DWORD sectorsPerTrack;
};

// The single functions. Only loading the registers is repeated once on 0x28000006.
UnitStatus UnitAtaWriteRegisters(DWORD unit, const UnitAtaRegisters* registers);  // function 1, out 8
UnitStatus UnitAtaReadRegisters(DWORD unit, UnitAtaRegisters* registers);         // function 2, in 8
UnitStatus UnitAtaExecute(DWORD unit);                                            // function 3, no data
UnitStatus UnitAtaWriteSectors(DWORD unit, const BYTE* data, WORD sectors);       // function 4, out S * 512
UnitStatus UnitAtaReadSectors(DWORD unit, BYTE* data, WORD sectors);              // function 5, in S * 512

// Composite sequences: load block->load (repeated once on 0x28000006), run the command (no data,
// PIO out or PIO in of sectors * 512 bytes in one command), read the registers back into
// block->readBack. The first failing command ends the sequence with its status; otherwise the
// status of the read-back.
UnitStatus UnitAtaNonData(DWORD unit, UnitAtaRegisterBlock* block);
UnitStatus UnitAtaPioOut(DWORD unit, UnitAtaRegisterBlock* block, const BYTE* data, WORD sectors);
UnitStatus UnitAtaPioIn(DWORD unit, UnitAtaRegisterBlock* block, BYTE* data, WORD sectors);

// What an IDENTIFY DEVICE delivered beyond the geometry: the data itself and the registers read back
// after it (a card that refuses the command sets ERR in the status register and sends no data).
struct UnitAtaIdentifyData {
    BYTE identify[UNIT_ATA_SECTOR_SIZE];
    UnitAtaRegisters readBack;
};

// IDENTIFY DEVICE (device register 0xE0, command 0xEC) through a PIO-in sequence of one sector. On a
// nonzero status the geometry is untouched. `details`, when not null, receives the data and the
// registers read back on success.
UnitStatus UnitAtaIdentify(DWORD unit, UnitAtaGeometry* geometry, UnitAtaIdentifyData* details = nullptr);

// The geometry from 512 bytes of IDENTIFY DEVICE data (256 little-endian words).
UnitAtaGeometry UnitAtaGeometryFromIdentify(const BYTE* identify);
