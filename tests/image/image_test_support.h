// What the image tests share: a sink that records the messages shown, and files and images built
// in the test's scratch folder.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "image/firmware_image.h"

class RecordingSink : public ImageMessageSink {
public:
    void ShowImageMessage(ImageMessage message, const char* path) override
    {
        shown.emplace_back(message, path ? std::string(path) : std::string("<none>"));
    }
    // The only message shown, or 0 when none or several were.
    int Only() const { return shown.size() == 1 ? shown[0].first : 0; }

    std::vector<std::pair<int, std::string>> shown;
};

inline void WriteTestFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Bytes that differ from their neighbours, so that a shifted or misplaced transfer shows.
inline std::vector<uint8_t> Pattern(size_t size, uint8_t seed = 0)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>((i * 7 + (i >> 8) * 13 + seed) & 0xFF);
    return bytes;
}

inline void Put(std::vector<uint8_t>& bytes, size_t offset, const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i)
        bytes[offset + i] = static_cast<uint8_t>(text[i]);
}

inline void PutBigEndian32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value)
{
    bytes[offset] = uint8_t(value >> 24);
    bytes[offset + 1] = uint8_t(value >> 16);
    bytes[offset + 2] = uint8_t(value >> 8);
    bytes[offset + 3] = uint8_t(value);
}

// An old-layout image of `size` bytes with version text `version`.
inline std::vector<uint8_t> OldImage(size_t size, const std::string& version = "1.98")
{
    std::vector<uint8_t> bytes = Pattern(size);
    Put(bytes, 0x2000, "VORNA   QZV-57G   ");
    Put(bytes, 0x2018, version);
    return bytes;
}

// A new-layout image of `size` bytes whose length field is `lengthField`, with versions "V0.0" ..
// "V3.3" in its four slots.
inline std::vector<uint8_t> NewImage(size_t size, uint32_t lengthField)
{
    std::vector<uint8_t> bytes = Pattern(size, 0x55);
    Put(bytes, 0x2000, "VRNC7Q52");
    PutBigEndian32(bytes, 0x2008, lengthField);
    for (int slot = 0; slot < 4; ++slot)
        Put(bytes, 0x202C + 36 * slot, "V" + std::to_string(slot) + "." + std::to_string(slot));
    return bytes;
}
