#include "sim/unit/sample_image.h"

#include <algorithm>
#include <cstring>

#include "sim/unit/cdb_fields.h"
#include "sim/unit/crc32_bzip2.h"
#include "sim/unit/firmware_layout.h"

namespace {

std::vector<uint8_t> Filler(uint32_t length, uint32_t seed)
{
    std::vector<uint8_t> bytes(length);
    uint32_t state = seed * 2654435761u + 12345u;
    for (uint8_t& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
    return bytes;
}

void PutVersion(uint8_t* at, const std::string& version)
{
    std::memset(at, ' ', 4);
    std::memcpy(at, version.data(), std::min<size_t>(version.size(), 4));
}

}  // namespace

std::vector<uint8_t> SampleOldImage(const std::string& version, uint32_t length, uint32_t seed)
{
    length = std::min(std::max(length, OLD_IMAGE_MIN_LENGTH), OLD_IMAGE_MAX_LENGTH);
    std::vector<uint8_t> image = Filler(length, seed);
    std::memcpy(&image[IMAGE_IDENTIFICATION_OFFSET], OLD_IMAGE_IDENTIFICATION, 14);
    PutVersion(&image[OLD_IMAGE_VERSION_OFFSET], version);
    return image;
}

std::vector<uint8_t> SampleNewImage(const std::array<std::string, 4>& slotVersions, uint32_t length, uint32_t seed)
{
    length = std::min(std::max(length, NEW_IMAGE_MIN_LENGTH), NEW_IMAGE_MAX_LENGTH);
    std::vector<uint8_t> image = Filler(length, seed);
    std::memcpy(&image[IMAGE_IDENTIFICATION_OFFSET], NEW_IMAGE_TAG, 8);
    WriteBe32(&image[NEW_IMAGE_LENGTH_OFFSET], length);
    for (unsigned k = 0; k < NEW_IMAGE_SLOT_COUNT; ++k) {
        PutVersion(&image[NEW_IMAGE_SLOT_OFFSET + NEW_IMAGE_SLOT_SIZE * k], slotVersions[k]);
    }
    return image;
}

uint32_t SampleImageCrc32(const uint8_t* data, size_t length) { return SimCrc32(data, length); }

std::vector<uint8_t> SampleNewImageHeader(const std::vector<uint8_t>& image)
{
    std::vector<uint8_t> header(8, 0);
    if (image.size() < NEW_IMAGE_LENGTH_OFFSET + 4) {
        return header;
    }
    const uint32_t length = std::min<uint32_t>(ReadBe32(&image[NEW_IMAGE_LENGTH_OFFSET]),
                                               static_cast<uint32_t>(image.size()));
    WriteBe32(&header[0], ReadBe32(&image[NEW_IMAGE_LENGTH_OFFSET]));
    WriteBe32(&header[4], SimCrc32(image.data(), length));
    return header;
}
