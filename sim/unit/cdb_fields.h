// Big- and little-endian fields of CDBs and parameter data.
#pragma once

#include <cstdint>

inline uint32_t ReadBe16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }
inline uint32_t ReadBe24(const uint8_t* p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }
inline uint32_t ReadBe32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | ReadBe24(p + 1); }

inline void WriteBe16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void WriteBe24(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 16);
    WriteBe16(p + 1, v);
}
inline void WriteBe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
inline void WriteLe16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void WriteLe32(uint8_t* p, uint32_t v)
{
    WriteLe16(p, v);
    WriteLe16(p + 2, v >> 16);
}
