// Where the two firmware image layouts keep their identification and version texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t IMAGE_IDENTIFICATION_OFFSET = 0x2000;

// Old layout: "VORNA   QZV-57" at 0x2000, four version characters at 0x2018; at most 64 KiB.
constexpr uint32_t OLD_IMAGE_VERSION_OFFSET = 0x2018;
constexpr uint32_t OLD_IMAGE_MIN_LENGTH = 0x201C;
constexpr uint32_t OLD_IMAGE_MAX_LENGTH = 0x10000;
constexpr char OLD_IMAGE_IDENTIFICATION[] = "VORNA   QZV-57";  // 14 characters

// New layout: tag at 0x2000, length L big-endian at 0x2008, four 36-byte version slots from 0x202C.
constexpr char NEW_IMAGE_TAG[] = "VRNC7Q52";  // 8 characters
constexpr uint32_t NEW_IMAGE_LENGTH_OFFSET = 0x2008;
constexpr uint32_t NEW_IMAGE_SLOT_OFFSET = 0x202C;
constexpr uint32_t NEW_IMAGE_SLOT_SIZE = 36;
constexpr unsigned NEW_IMAGE_SLOT_COUNT = 4;
constexpr uint32_t NEW_IMAGE_MIN_LENGTH = 0x20BC;
constexpr uint32_t NEW_IMAGE_MAX_LENGTH = 0x30000;

// The version slot a unit of the new generation reads: bits 13 and 14 of its configuration value.
inline unsigned VersionSlotOfConfiguration(uint32_t configuration) { return (configuration >> 13) & 3; }

// Units whose revision text, read as a big-endian number, is below "1.99" take the old layout.
bool RevisionTakesOldLayout(const std::string& revision);
