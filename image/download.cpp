// The firmware download procedures: SCSI WRITE BUFFER (operation code 0x3B) commands sent straight
// from the image buffer through the unit entry's operations.
#include "image/download.h"

#include <cstring>

#include "image/firmware_image.h"

namespace {

const BYTE WRITE_BUFFER = 0x3B;
const BYTE MODE_DOWNLOAD = 0x00;
const BYTE MODE_DOWNLOAD_AND_SAVE = 0x05;
const BYTE BUFFER_IMAGE = 0x00;
const BYTE BUFFER_HEADER = 0x01;
const DWORD WRITE_BUFFER_CDB_LENGTH = 10;
const DWORD PIECE_SIZE = 0x10000;
const UnitStatus DOWNLOAD_REFUSED = 5;

void PutBigEndian32(BYTE* bytes, DWORD value)
{
    bytes[0] = BYTE(value >> 24);
    bytes[1] = BYTE(value >> 16);
    bytes[2] = BYTE(value >> 8);
    bytes[3] = BYTE(value);
}

DWORD GetBigEndian32(const BYTE* bytes)
{
    return DWORD(bytes[0]) << 24 | DWORD(bytes[1]) << 16 | DWORD(bytes[2]) << 8 | DWORD(bytes[3]);
}

UnitStatus SendWriteBuffer(const UnitEntry& entry, void* data, DWORD length)
{
    return entry.execute(entry.transportIndex, UnitDataOut, WRITE_BUFFER_CDB_LENGTH, data, length);
}

// One piece of a new-layout image: `length` bytes at image offset `offset`, the offset and a 24-bit
// length in the CDB.
UnitStatus SendPiece(const UnitEntry& entry, BYTE* cdb, BYTE mode, BYTE* image, DWORD offset, DWORD length)
{
    const BYTE command[10] = {WRITE_BUFFER,       mode,
                              BUFFER_IMAGE,       BYTE(offset >> 16),
                              BYTE(offset >> 8),  BYTE(offset),
                              BYTE(length >> 16), BYTE(length >> 8),
                              BYTE(length),       0x00};
    std::memcpy(cdb, command, sizeof command);
    return SendWriteBuffer(entry, image + offset, length);
}

DWORD PieceLength(DWORD remaining)
{
    return remaining < PIECE_SIZE ? remaining : PIECE_SIZE;
}

}  // namespace

UnitStatus ImageDownloadOld(UnitEntry* entry, DWORD length, BYTE* image)
{
    BYTE* cdb = entry->getCdb(entry->transportIndex);
    if (!cdb)
        return DOWNLOAD_REFUSED;
    if (length > IMAGE_OLD_LAYOUT_MAX)
        return DOWNLOAD_REFUSED;
    // The unit's generation may have changed since the image was checked (another unit attached, or
    // an answer that names another revision): an image of the other layout is never sent.
    if (!ImageHasOldIdentification(image, length))
        return DOWNLOAD_REFUSED;
    length += length & 1;
    // The old command carries a 32-bit length in bytes 6..9.
    const BYTE command[10] = {WRITE_BUFFER, MODE_DOWNLOAD, BUFFER_IMAGE, 0, 0, 0, 0, 0, 0, 0};
    std::memcpy(cdb, command, sizeof command);
    PutBigEndian32(cdb + 6, length);
    return SendWriteBuffer(*entry, image, length);
}

UnitStatus ImageDownloadNew(UnitEntry* entry, DWORD length, BYTE* image)
{
    BYTE* cdb = entry->getCdb(entry->transportIndex);
    if (!cdb)
        return DOWNLOAD_REFUSED;
    if (length > FIRMWARE_IMAGE_CAPACITY)
        return DOWNLOAD_REFUSED;
    // The length field must lie within the image before it is read.
    const DWORD lengthField = IMAGE_BLOCK_OFFSET + IMAGE_NEW_LENGTH_OFFSET;
    if (length < lengthField + 4 || !ImageHasNewTag(image, length))
        return DOWNLOAD_REFUSED;
    const DWORD imageLength = GetBigEndian32(image + lengthField);
    if (static_cast<unsigned long long>(imageLength) + (imageLength & 1) != length)
        return DOWNLOAD_REFUSED;

    BYTE header[8];
    PutBigEndian32(header, imageLength);
    PutBigEndian32(header + 4, ImageCrc32(image, imageLength));
    const BYTE headerCommand[10] = {WRITE_BUFFER, MODE_DOWNLOAD, BUFFER_HEADER, 0, 0, 0, 0, 0, sizeof header, 0};
    std::memcpy(cdb, headerCommand, sizeof headerCommand);
    UnitStatus status = SendWriteBuffer(*entry, header, sizeof header);
    if (status != 0)
        return status;

    // The highest pieces first; the piece at offset 0 ends the download and makes the unit save.
    for (DWORD offset = 2 * PIECE_SIZE; offset > 0; offset -= PIECE_SIZE) {
        if (length > offset) {
            status = SendPiece(*entry, cdb, MODE_DOWNLOAD, image, offset, PieceLength(length - offset));
            if (status != 0)
                return status;
        }
    }
    return SendPiece(*entry, cdb, MODE_DOWNLOAD_AND_SAVE, image, 0, PieceLength(length));
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
