#include "sim/unit/firmware_download.h"

#include <algorithm>
#include <cstring>

#include "sim/unit/cdb_fields.h"
#include "sim/unit/crc32_bzip2.h"
#include "sim/unit/firmware_layout.h"

namespace {

constexpr uint8_t MODE_DOWNLOAD = 0x00;
constexpr uint8_t MODE_DOWNLOAD_AND_SAVE = 0x05;
constexpr uint8_t BUFFER_IMAGE = 0x00;
constexpr uint8_t BUFFER_HEADER = 0x01;
constexpr uint32_t HEADER_LENGTH = 8;
constexpr uint32_t PIECE_LENGTH = 0x10000;

}  // namespace

FirmwareDownload::FirmwareDownload() : m_staging(NEW_IMAGE_MAX_LENGTH, 0) {}

void FirmwareDownload::Reset()
{
    m_expected.clear();
    m_imageLength = 0;
    m_imageCrc = 0;
}

WriteBufferOutcome FirmwareDownload::WriteBuffer(bool oldGeneration, const uint8_t* cdb, SimDirection direction,
                                                 const uint8_t* data, uint32_t length)
{
    if (direction != SimDirection::Out || (length != 0 && data == nullptr) || (cdb[1] & 0xE0) != 0) {
        Reset();
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    if (oldGeneration) {
        return OldImage(cdb, data, length);
    }
    if (cdb[2] == BUFFER_HEADER) {
        return Header(cdb, data, length);
    }
    return NextPiece(cdb, data, length);
}

WriteBufferOutcome FirmwareDownload::OldImage(const uint8_t* cdb, const uint8_t* data, uint32_t length)
{
    const uint32_t n = ReadBe32(cdb + 6);
    // The host pads an odd image to an even length; the unit stores whole words.
    if (cdb[1] != MODE_DOWNLOAD || cdb[2] != BUFFER_IMAGE || ReadBe24(cdb + 3) != 0 || n == 0 ||
        n > OLD_IMAGE_MAX_LENGTH || (n & 1) != 0 || length != n) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    if (n < OLD_IMAGE_MIN_LENGTH ||
        std::memcmp(data + IMAGE_IDENTIFICATION_OFFSET, OLD_IMAGE_IDENTIFICATION, 14) != 0) {
        return {SENSE_INVALID_PARAMETER_DATA};
    }
    m_saved.assign(data, data + n);
    m_savedNewLayout = false;
    return {SENSE_GOOD, true};
}

WriteBufferOutcome FirmwareDownload::Header(const uint8_t* cdb, const uint8_t* data, uint32_t length)
{
    // A header always starts a fresh download, whatever was staged before.
    Reset();
    if (cdb[1] != MODE_DOWNLOAD || ReadBe24(cdb + 3) != 0 || ReadBe24(cdb + 6) != HEADER_LENGTH || cdb[9] != 0 ||
        length != HEADER_LENGTH) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    const uint32_t imageLength = ReadBe32(data);
    if (imageLength < NEW_IMAGE_MIN_LENGTH || imageLength > NEW_IMAGE_MAX_LENGTH) {
        return {SENSE_INVALID_PARAMETER_DATA};
    }
    m_imageLength = imageLength;
    m_imageCrc = ReadBe32(data + 4);
    const uint32_t even = imageLength + (imageLength & 1);
    if (even > 2 * PIECE_LENGTH) {
        m_expected.push_back({MODE_DOWNLOAD, 2 * PIECE_LENGTH, even - 2 * PIECE_LENGTH});
    }
    if (even > PIECE_LENGTH) {
        m_expected.push_back({MODE_DOWNLOAD, PIECE_LENGTH, std::min(even - PIECE_LENGTH, PIECE_LENGTH)});
    }
    m_expected.push_back({MODE_DOWNLOAD_AND_SAVE, 0, std::min(even, PIECE_LENGTH)});
    return {SENSE_GOOD};
}

WriteBufferOutcome FirmwareDownload::NextPiece(const uint8_t* cdb, const uint8_t* data, uint32_t length)
{
    if (m_expected.empty()) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    const Piece expected = m_expected.front();
    if (cdb[1] != expected.mode || cdb[2] != BUFFER_IMAGE || ReadBe24(cdb + 3) != expected.offset ||
        ReadBe24(cdb + 6) != expected.length || cdb[9] != 0 || length != expected.length) {
        Reset();
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    std::memcpy(m_staging.data() + expected.offset, data, expected.length);
    m_expected.erase(m_expected.begin());
    if (expected.mode != MODE_DOWNLOAD_AND_SAVE) {
        return {SENSE_GOOD};
    }
    const SenseCode verdict = CheckStagedImage();
    if (verdict.Good()) {
        m_saved.assign(m_staging.begin(), m_staging.begin() + m_imageLength);
        m_savedNewLayout = true;
    }
    Reset();
    return {verdict, verdict.Good()};
}

SenseCode FirmwareDownload::CheckStagedImage() const
{
    const uint8_t* image = m_staging.data();
    if (std::memcmp(image + IMAGE_IDENTIFICATION_OFFSET, NEW_IMAGE_TAG, 8) != 0 ||
        ReadBe32(image + NEW_IMAGE_LENGTH_OFFSET) != m_imageLength) {
        return SENSE_INVALID_PARAMETER_DATA;
    }
    if (SimCrc32(image, m_imageLength) != m_imageCrc) {
        return SENSE_CRC_MISMATCH;
    }
    return SENSE_GOOD;
}

std::string FirmwareDownload::SavedRevision(uint32_t configuration) const
{
    if (m_saved.empty()) {
        return std::string();
    }
    const uint32_t offset = m_savedNewLayout
                                ? NEW_IMAGE_SLOT_OFFSET + NEW_IMAGE_SLOT_SIZE * VersionSlotOfConfiguration(configuration)
                                : OLD_IMAGE_VERSION_OFFSET;
    return std::string(m_saved.begin() + offset, m_saved.begin() + offset + 4);
}
