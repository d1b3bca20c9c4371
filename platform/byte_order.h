// Multi-byte fields in CDBs, in firmware images and in INQUIRY data are big-endian; these read and
// write the 32-bit ones.
#pragma once

#include "platform/win32_types.h"

inline DWORD ReadBigEndian32(const BYTE* bytes)
{
    return DWORD(bytes[0]) << 24 | DWORD(bytes[1]) << 16 | DWORD(bytes[2]) << 8 | DWORD(bytes[3]);
}

inline void WriteBigEndian32(BYTE* bytes, DWORD value)
{
    bytes[0] = BYTE(value >> 24);
    bytes[1] = BYTE(value >> 16);
    bytes[2] = BYTE(value >> 8);
    bytes[3] = BYTE(value);
}
