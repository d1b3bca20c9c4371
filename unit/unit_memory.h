// The unit's two memory spaces. Both are addressed in bytes, but the unit moves whole 16-bit words:
// every command starts at an even address, moves an even count and at most 0x10000 bytes. These
// operations take any address and count and split them into such commands; an odd first or last
// byte is read as part of its word (and, in the word-wide space, written by read-modify-write).
//
// Each command is issued a second time when it is answered with 0x28000006. A failing command ends
// the operation with its status; bytes already moved stay moved. Arguments the unit cannot be asked
// for end with 5 before any command: an index out of range, a null buffer with a nonzero count, or a
// range that runs past address 0xFFFFFFFF.
#pragma once

#include "unit/unit_table.h"

// The word-wide space (read 0x20, write 0x22).
UnitStatus UnitReadMemory(DWORD unit, DWORD address, DWORD count, BYTE* buffer);
UnitStatus UnitWriteMemory(DWORD unit, DWORD address, DWORD count, const BYTE* buffer);

// The even-address space (read 0x24, write 0x26): only even addresses hold data. Reading gives 0xFF
// for every odd address (an odd first byte costs no command); writing skips an odd first byte and
// pads a last even byte with 0xFF.
UnitStatus UnitReadEvenMemory(DWORD unit, DWORD address, DWORD count, BYTE* buffer);
UnitStatus UnitWriteEvenMemory(DWORD unit, DWORD address, DWORD count, const BYTE* buffer);
