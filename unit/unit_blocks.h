// Block access to the card in the unit's slot: READ(10), WRITE(10) and READ CAPACITY(10). Each
// command is issued a second time when it is answered with 0x28000006.
#pragma once

#include "unit/unit_table.h"

// The block sizes the block operations take; no command moves more than the largest.
enum {
    UNIT_BLOCK_SIZE_MIN = 2,
    UNIT_BLOCK_SIZE_MAX = 0x10000,
};

// `blockCount` blocks of `blockSize` bytes from `firstBlock` on, split into commands of at most
// 0x10000 bytes (0x10000 / blockSize blocks each). A block count of 0 sends nothing and returns 0.
// 5 without a command for an index out of range, a block size outside 2..0x10000, a null buffer or
// a range that runs past block 0xFFFFFFFF. The first failing command ends the operation.
UnitStatus UnitReadBlocks(DWORD unit, DWORD firstBlock, DWORD blockCount, BYTE* buffer, DWORD blockSize);
UnitStatus UnitWriteBlocks(DWORD unit, DWORD firstBlock, DWORD blockCount, const BYTE* buffer, DWORD blockSize);

// READ CAPACITY(10) with `blockAddress` in the CDB. On 0, capacity[0] is the last logical block
// address and capacity[1] the block length, in host order. A null `capacity` gives 5.
UnitStatus UnitReadCapacity(DWORD unit, DWORD blockAddress, DWORD* capacity);
