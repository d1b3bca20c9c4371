// The firmware download procedures: SCSI WRITE BUFFER (operation code 0x3B) commands sent straight
// from the image buffer through the unit entry's operations.
#include "image/download.h"

#include <cstring>

#include "image/firmware_image.h"
#include "platform/byte_order.h"

namespace {

// WRITE BUFFER (operation code 0x3B, a 10-byte CDB): its modes, and the unit's buffers.
const BYTE WRITE_BUFFER = 0x3B;
enum WriteBufferMode : BYTE { MODE_DOWNLOAD = 0x00, MODE_DOWNLOAD_AND_SAVE = 0x05 };
enum WriteBufferId : BYTE { BUFFER_IMAGE = 0x00, BUFFER_HEADER = 0x01 };

// The new layout goes in pieces of at most this many bytes.
const DWORD PIECE_SIZE = 0x10000;

// The entry's CDB area, when a download of `length` bytes (at most `maximum`) may start; null when it
// is refused.
BYTE* DownloadArea(const UnitEntry& entry, DWORD length, DWORD maximum)
{
    BYTE* cdb = entry.getCdb(entry.transportIndex);
    return length <= maximum ? cdb : nullptr;
}

// Sends `length` bytes of `data` with the WRITE BUFFER whose first three bytes are given; the caller
// writes the offset and length fields (bytes 3..9) into the area first.
UnitStatus SendWriteBuffer(const UnitEntry& entry, BYTE* cdb, WriteBufferMode mode, WriteBufferId buffer, BYTE* data,
                           DWORD length)
{
    cdb[0] = WRITE_BUFFER;
    cdb[1] = mode;
    cdb[2] = buffer;
    return entry.execute(entry.transportIndex, UnitDataOut, 10, data, length);
}

// The new layout's form: a 24-bit buffer offset in bytes 3..5 and a 24-bit length in bytes 6..8.
UnitStatus SendAt(const UnitEntry& entry, BYTE* cdb, WriteBufferMode mode, WriteBufferId buffer, BYTE* data,
                  DWORD offset, DWORD length)
{
    const BYTE fields[7] = {BYTE(offset >> 16), BYTE(offset >> 8), BYTE(offset), BYTE(length >> 16),
                            BYTE(length >> 8),  BYTE(length),      0x00};
    std::memcpy(cdb + 3, fields, sizeof fields);
    return SendWriteBuffer(entry, cdb, mode, buffer, data, length);
}

DWORD PieceLength(DWORD remaining)
{
    return remaining < PIECE_SIZE ? remaining : PIECE_SIZE;
}

}  // namespace

UnitStatus ImageDownloadOld(UnitEntry* entry, DWORD length, BYTE* image)
{
    BYTE* cdb = DownloadArea(*entry, length, IMAGE_OLD_LAYOUT_MAX);
    if (!cdb)
        return UNIT_STATUS_BAD_ARGUMENT;
    // The unit's generation may have changed since the image was checked (another unit attached, or
    // an answer that names another revision): an image of the other layout is never sent.
    if (!ImageHasOldIdentification(image, length))
        return UNIT_STATUS_BAD_ARGUMENT;
    length += length & 1;
    // The old command carries a 32-bit length in bytes 6..9.
    cdb[3] = cdb[4] = cdb[5] = 0;
    WriteBigEndian32(cdb + 6, length);
    return SendWriteBuffer(*entry, cdb, MODE_DOWNLOAD, BUFFER_IMAGE, image, length);
}

UnitStatus ImageDownloadNew(UnitEntry* entry, DWORD length, BYTE* image)
{
    BYTE* cdb = DownloadArea(*entry, length, FIRMWARE_IMAGE_CAPACITY);
    // The length field must lie within the image before it is read.
    const DWORD lengthField = IMAGE_BLOCK_OFFSET + IMAGE_NEW_LENGTH_OFFSET;
    if (!cdb || length < lengthField + 4 || !ImageHasNewTag(image, length))
        return UNIT_STATUS_BAD_ARGUMENT;
    const DWORD imageLength = ReadBigEndian32(image + lengthField);
    if (static_cast<unsigned long long>(imageLength) + (imageLength & 1) != length)
        return UNIT_STATUS_BAD_ARGUMENT;

    BYTE header[8];
    WriteBigEndian32(header, imageLength);
    WriteBigEndian32(header + 4, ImageCrc32(image, imageLength));
    UnitStatus status = SendAt(*entry, cdb, MODE_DOWNLOAD, BUFFER_HEADER, header, 0, sizeof header);
    if (status != 0)
        return status;

    // The highest pieces first; the piece at offset 0 ends the download and makes the unit save.
    for (DWORD offset = 2 * PIECE_SIZE; offset > 0; offset -= PIECE_SIZE) {
        if (length > offset) {
            const DWORD piece = PieceLength(length - offset);
            status = SendAt(*entry, cdb, MODE_DOWNLOAD, BUFFER_IMAGE, image + offset, offset, piece);
            if (status != 0)
                return status;
        }
    }
    return SendAt(*entry, cdb, MODE_DOWNLOAD_AND_SAVE, BUFFER_IMAGE, image, 0, PieceLength(length));
}

DWORD ImageCrc32(const BYTE* data, DWORD length)
{
    DWORD crc = 0xFFFFFFFFu;
    for (DWORD i = 0; i < length; ++i) {
        crc ^= DWORD(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return ~crc;
}
