// The ATA register pass-through: single functions and the composite sequences built from them.
#include "unit/unit_ata.h"

#include <cstring>

#include "unit/unit_command_runner.h"

namespace {

const BYTE ATA_PASS_THROUGH = 0x56;
const BYTE ATA_DEVICE_LBA_DEVICE0 = 0xE0;
const BYTE ATA_IDENTIFY_DEVICE = 0xEC;

enum AtaFunction : BYTE {
    WRITE_REGISTERS = 1,
    READ_REGISTERS = 2,
    EXECUTE = 3,
    WRITE_SECTORS = 4,
    READ_SECTORS = 5,
};

// The unit's entry and CDB area for an ATA operation, or the status that ends it: 5 for a bad index
// or no area, then 11 when its arguments are missing (checked only once the area is taken).
struct AtaTarget {
    const UnitEntry* entry;
    BYTE* area;
    UnitStatus refusal;
};

AtaTarget AtaPreamble(DWORD unit, bool argumentsPresent)
{
    AtaTarget target = {UnitEntryAt(unit), nullptr, 0};
    if (target.entry)
        target.area = UnitCdbArea(*target.entry);
    if (!target.area)
        target.refusal = UNIT_STATUS_BAD_ARGUMENT;
    else if (!argumentsPresent)
        target.refusal = UNIT_STATUS_BUSY;
    return target;
}

// One pass-through function. The transports only read the buffer of a data-out command.
UnitStatus RunFunction(const AtaTarget& target, AtaFunction function, const void* data, WORD sectors)
{
    DWORD direction = UnitNoData;
    DWORD length = 0;
    switch (function) {
    case WRITE_REGISTERS:
        direction = UnitDataOut;
        length = sizeof(UnitAtaRegisters);
        break;
    case READ_REGISTERS:
        direction = UnitDataIn;
        length = sizeof(UnitAtaRegisters);
        break;
    case EXECUTE:
        break;
    case WRITE_SECTORS:
        direction = UnitDataOut;
        length = DWORD(sectors) * UNIT_ATA_SECTOR_SIZE;
        break;
    case READ_SECTORS:
        direction = UnitDataIn;
        length = DWORD(sectors) * UNIT_ATA_SECTOR_SIZE;
        break;
    }
    const UnitCommand command = {{ATA_PASS_THROUGH, 0x00, function, 0x00, 0x00, 0x00, 0x00, BYTE(sectors >> 8),
                                  BYTE(sectors), 0x00},
                                 10,
                                 direction,
                                 const_cast<void*>(data),
                                 length,
                                 function == WRITE_REGISTERS ? UNIT_RETRY_ONCE : UNIT_RETRY_NONE};
    return UnitRunInArea(*target.entry, target.area, command);
}

// Load, run, read back; the first failing command ends the sequence.
UnitStatus RunSequence(const AtaTarget& target, UnitAtaRegisterBlock* block, AtaFunction function, const void* data,
                       WORD sectors)
{
    UnitStatus status = RunFunction(target, WRITE_REGISTERS, &block->load, 0);
    if (status != 0)
        return status;
    status = RunFunction(target, function, data, sectors);
    if (status != 0)
        return status;
    return RunFunction(target, READ_REGISTERS, &block->readBack, 0);
}

WORD IdentifyWord(const BYTE* identify, unsigned index)
{
    return WORD(identify[2 * index] | identify[2 * index + 1] << 8);
}

}  // namespace

UnitStatus UnitAtaWriteRegisters(DWORD unit, const UnitAtaRegisters* registers)
{
    const AtaTarget target = AtaPreamble(unit, registers != nullptr);
    return target.refusal ? target.refusal : RunFunction(target, WRITE_REGISTERS, registers, 0);
}

UnitStatus UnitAtaReadRegisters(DWORD unit, UnitAtaRegisters* registers)
{
    const AtaTarget target = AtaPreamble(unit, registers != nullptr);
    return target.refusal ? target.refusal : RunFunction(target, READ_REGISTERS, registers, 0);
}

UnitStatus UnitAtaExecute(DWORD unit)
{
    const AtaTarget target = AtaPreamble(unit, true);
    return target.refusal ? target.refusal : RunFunction(target, EXECUTE, nullptr, 0);
}

UnitStatus UnitAtaWriteSectors(DWORD unit, const BYTE* data, WORD sectors)
{
    const AtaTarget target = AtaPreamble(unit, data != nullptr && sectors != 0);
    return target.refusal ? target.refusal : RunFunction(target, WRITE_SECTORS, data, sectors);
}

UnitStatus UnitAtaReadSectors(DWORD unit, BYTE* data, WORD sectors)
{
    const AtaTarget target = AtaPreamble(unit, data != nullptr && sectors != 0);
    return target.refusal ? target.refusal : RunFunction(target, READ_SECTORS, data, sectors);
}

UnitStatus UnitAtaNonData(DWORD unit, UnitAtaRegisterBlock* block)
{
    const AtaTarget target = AtaPreamble(unit, block != nullptr);
    return target.refusal ? target.refusal : RunSequence(target, block, EXECUTE, nullptr, 0);
}

UnitStatus UnitAtaPioOut(DWORD unit, UnitAtaRegisterBlock* block, const BYTE* data, WORD sectors)
{
    const AtaTarget target = AtaPreamble(unit, block != nullptr && data != nullptr && sectors != 0);
    return target.refusal ? target.refusal : RunSequence(target, block, WRITE_SECTORS, data, sectors);
}

UnitStatus UnitAtaPioIn(DWORD unit, UnitAtaRegisterBlock* block, BYTE* data, WORD sectors)
{
    const AtaTarget target = AtaPreamble(unit, block != nullptr && data != nullptr && sectors != 0);
    return target.refusal ? target.refusal : RunSequence(target, block, READ_SECTORS, data, sectors);
}

UnitStatus UnitAtaIdentify(DWORD unit, UnitAtaGeometry* geometry, UnitAtaIdentifyData* details)
{
    const AtaTarget target = AtaPreamble(unit, geometry != nullptr);
    if (target.refusal)
        return target.refusal;
    UnitAtaRegisterBlock block = {};
    block.load.registers[UNIT_ATA_DEVICE] = ATA_DEVICE_LBA_DEVICE0;
    block.load.registers[UNIT_ATA_COMMAND] = ATA_IDENTIFY_DEVICE;
    BYTE data[UNIT_ATA_SECTOR_SIZE] = {};
    const UnitStatus status = RunSequence(target, &block, READ_SECTORS, data, 1);
    if (status != 0)
        return status;
    *geometry = UnitAtaGeometryFromIdentify(data);
    if (details) {
        std::memcpy(details->identify, data, sizeof data);
        details->readBack = block.readBack;
    }
    return 0;
}

UnitAtaGeometry UnitAtaGeometryFromIdentify(const BYTE* identify)
{
    const bool current = IdentifyWord(identify, 54) != 0;
    UnitAtaGeometry geometry;
    geometry.totalSectors = uint64_t(IdentifyWord(identify, 60)) | uint64_t(IdentifyWord(identify, 61)) << 16;
    geometry.cylinders = current ? IdentifyWord(identify, 54) : IdentifyWord(identify, 1);
    geometry.heads = current ? IdentifyWord(identify, 55) : IdentifyWord(identify, 3);
    geometry.sectorsPerTrack = current ? IdentifyWord(identify, 56) : IdentifyWord(identify, 6);
    return geometry;
}
