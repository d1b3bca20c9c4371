// The CRC the unit checks a new-layout download with: polynomial 0x04C11DB7, initial value
// 0xFFFFFFFF, most significant bit first, result complemented ("123456789" gives 0xFC891918).
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t SimCrc32(const uint8_t* data, size_t length);
