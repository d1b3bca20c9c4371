// READ(10) / WRITE(10) in commands of at most 0x10000 bytes, and READ CAPACITY(10).
#include "unit/unit_blocks.h"

#include "platform/byte_order.h"
#include "unit/unit_command_runner.h"

namespace {

const DWORD BYTES_PER_COMMAND = 0x10000;
const BYTE READ_10 = 0x28;
const BYTE WRITE_10 = 0x2A;
const BYTE READ_CAPACITY_10 = 0x25;

UnitStatus TransferBlocks(DWORD unit, BYTE opcode, DWORD block, DWORD blockCount, const BYTE* buffer, DWORD blockSize)
{
    const UnitEntry* entry = UnitEntryAt(unit);
    if (!entry || blockSize < UNIT_BLOCK_SIZE_MIN || blockSize > UNIT_BLOCK_SIZE_MAX)
        return UNIT_STATUS_BAD_ARGUMENT;
    if (blockCount == 0)
        return 0;
    if (!buffer || static_cast<unsigned long long>(block) + blockCount > 0x100000000ull)
        return UNIT_STATUS_BAD_ARGUMENT;

    const DWORD blocksPerCommand = BYTES_PER_COMMAND / blockSize;
    // The transports only read the buffer of a data-out command.
    BYTE* data = const_cast<BYTE*>(buffer);
    while (blockCount > 0) {
        const DWORD n = blockCount < blocksPerCommand ? blockCount : blocksPerCommand;
        const DWORD bytes = n * blockSize;
        const UnitCommand command = {
            {opcode, 0x00, BYTE(block >> 24), BYTE(block >> 16), BYTE(block >> 8), BYTE(block), 0x00, BYTE(n >> 8),
             BYTE(n), 0x00},
            10,
            opcode == WRITE_10 ? DWORD(UnitDataOut) : DWORD(UnitDataIn),
            data,
            bytes,
            UNIT_RETRY_ONCE};
        const UnitStatus status = UnitRunOnEntry(*entry, command);
        if (status != 0)
            return status;
        block += n;
        data += bytes;
        blockCount -= n;
    }
    return 0;
}

}  // namespace

UnitStatus UnitReadBlocks(DWORD unit, DWORD firstBlock, DWORD blockCount, BYTE* buffer, DWORD blockSize)
{
    return TransferBlocks(unit, READ_10, firstBlock, blockCount, buffer, blockSize);
}

UnitStatus UnitWriteBlocks(DWORD unit, DWORD firstBlock, DWORD blockCount, const BYTE* buffer, DWORD blockSize)
{
    return TransferBlocks(unit, WRITE_10, firstBlock, blockCount, buffer, blockSize);
}

UnitStatus UnitReadCapacity(DWORD unit, DWORD blockAddress, DWORD* capacity)
{
    const UnitEntry* entry = UnitEntryAt(unit);
    if (!entry || !capacity)
        return UNIT_STATUS_BAD_ARGUMENT;
    BYTE data[8] = {};  // a short answer leaves zeros, never stray bytes
    const UnitCommand command = {{READ_CAPACITY_10, 0x00, BYTE(blockAddress >> 24), BYTE(blockAddress >> 16),
                                  BYTE(blockAddress >> 8), BYTE(blockAddress), 0x00, 0x00, 0x00, 0x00},
                                 10,
                                 UnitDataIn,
                                 data,
                                 sizeof data,
                                 UNIT_RETRY_ONCE};
    const UnitStatus status = UnitRunOnEntry(*entry, command);
    if (status != 0)
        return status;
    capacity[0] = ReadBigEndian32(data);
    capacity[1] = ReadBigEndian32(data + 4);
    return 0;
}
