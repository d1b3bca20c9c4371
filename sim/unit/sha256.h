// SHA-256, for transcripts that name the data of a command by its digest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
public:
    Sha256();
    void Update(const uint8_t* data, size_t length);
    // The digest of everything updated so far; the object must not be updated afterwards.
    std::array<uint8_t, 32> Finish();

private:
    void Compress(const uint8_t* block);

    std::array<uint32_t, 8> m_hash;
    std::array<uint8_t, 64> m_block{};
    size_t m_blockUsed = 0;
    uint64_t m_totalBytes = 0;
};

// The digest of `length` bytes as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const uint8_t* data, size_t length);
