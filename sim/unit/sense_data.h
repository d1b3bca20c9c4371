// Sense codes the simulated unit answers with, and their fixed-format form.
#pragma once

#include <cstdint>
#include <vector>

struct SenseCode {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;

    bool Good() const { return key == 0 && asc == 0 && ascq == 0; }
};

// Sense keys.
enum : uint8_t {
    SENSE_KEY_NO_SENSE = 0x00,
    SENSE_KEY_NOT_READY = 0x02,
    SENSE_KEY_ILLEGAL_REQUEST = 0x05,
    SENSE_KEY_UNIT_ATTENTION = 0x06,
};

// The answers the unit gives; tests and other helpers compare against these.
constexpr SenseCode SENSE_GOOD{};
constexpr SenseCode SENSE_INVALID_OPCODE{SENSE_KEY_ILLEGAL_REQUEST, 0x20, 0x00};
constexpr SenseCode SENSE_INVALID_FIELD_IN_CDB{SENSE_KEY_ILLEGAL_REQUEST, 0x24, 0x00};
constexpr SenseCode SENSE_LBA_OUT_OF_RANGE{SENSE_KEY_ILLEGAL_REQUEST, 0x21, 0x00};
// Parameter data refused: a firmware image without its identification, a header whose length does
// not match the staged image, a parameter page with a wrong length byte.
constexpr SenseCode SENSE_INVALID_PARAMETER_DATA{SENSE_KEY_ILLEGAL_REQUEST, 0x26, 0x00};
// The staged image does not have the CRC-32 its header announced.
constexpr SenseCode SENSE_CRC_MISMATCH{SENSE_KEY_ILLEGAL_REQUEST, 0x26, 0x02};
constexpr SenseCode SENSE_MEDIUM_NOT_PRESENT{SENSE_KEY_NOT_READY, 0x3A, 0x00};

constexpr unsigned FIXED_SENSE_LENGTH = 18;

// 18 bytes of fixed-format current sense (response code 0x70).
std::vector<uint8_t> FixedSense(SenseCode code);
