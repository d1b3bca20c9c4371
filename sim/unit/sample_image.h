// Sample firmware images of both layouts, built in memory, for tests and the demo.
//
//   std::vector<uint8_t> old = SampleOldImage("1.50");                 // 0x8000 bytes, old layout
//   std::vector<uint8_t> img = SampleNewImage({"2.00", "2.01", "2.02", "2.03"}, 0x12345);
//   std::vector<uint8_t> hdr = SampleNewImageHeader(img);             // what the host sends first
//
// The firmware bytes around the identification block are a pseudo-random filler drawn from `seed`,
// so that two images differ and a corrupted byte changes the CRC.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An old-layout image of `length` bytes (at least 0x201C, at most 0x10000): "VORNA   QZV-57" at
// 0x2000 and the first four characters of `version` (blank-padded) at 0x2018.
std::vector<uint8_t> SampleOldImage(const std::string& version, uint32_t length = 0x8000, uint32_t seed = 1);

// A new-layout image of exactly `length` bytes (L; at least 0x20BC, at most 0x30000): tag "VRNC7Q52"
// at 0x2000, L big-endian at 0x2008 and the four versions in slots 0..3 (0x202C + 36 * k). For an
// odd L a host sends one pad byte more; append it yourself if you need the file form.
std::vector<uint8_t> SampleNewImage(const std::array<std::string, 4>& slotVersions, uint32_t length = 0x12345,
                                    uint32_t seed = 1);

// CRC-32 (polynomial 0x04C11DB7, initial 0xFFFFFFFF, not reflected, complemented) of bytes 0..length-1.
uint32_t SampleImageCrc32(const uint8_t* data, size_t length);

// The 8-byte download header of a new-layout image: its length field L and the CRC-32 of bytes
// 0..L-1, both big-endian. The image must hold at least L bytes (L is read from 0x2008).
std::vector<uint8_t> SampleNewImageHeader(const std::vector<uint8_t>& image);
