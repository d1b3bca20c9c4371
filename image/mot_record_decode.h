// Decoding one S-record where it stands in the text, shared by MotParsePiece and the conversion's
// loop. It is written here, inline, so that the loop holds it whole: a call for each line would
// cost as much as a dozen of its bytes.
#pragma once

#include <cstring>

#include "image/mot_record.h"

// The memory image the conversion decodes data records into: byte n is the image byte at address
// n, and bytes 0 to highestEnd - 1 are defined (the data of the last record that covered them, or
// the 0xFF fill); those beyond hold nothing that matters.
struct MotImage {
    uint8_t* bytes;
    uint32_t capacity;
    uint32_t highestEnd;
};

// The byte each pair of characters stands for, looked up with both characters at once so that a
// record costs one lookup per byte: the pair "3F" is entry '3' | 'F' << 8 and holds 0x3F plus
// MOT_PAIR_DIGITS. A pair with any character that is no hexadecimal digit (NUL, a line end, a
// blank) holds 0. Summing a record's pairs therefore counts its good pairs in the upper half at no
// cost of its own: all were digits when that count equals the number of pairs, and the low byte is
// the sum of the bytes for the checksum. 256 KiB of zeros until MotFillHexPairs writes the 484
// digit pairs: only the few pages that hold them are ever touched.
#define MOT_PAIR_DIGITS 0x10000u
extern uint32_t g_motHexPairs[0x10000];

// Fills g_motHexPairs; does nothing after the first call. Call before decoding.
void MotFillHexPairs(void);

// A record's pairs in order: each one's byte, and their sum as g_motHexPairs counts it.
struct MotPairReader {
    const unsigned char* first;
    const unsigned char* at;
    uint32_t sum;

    uint8_t Next()
    {
        uint32_t pair = g_motHexPairs[at[0] | at[1] << 8];
        at += 2;
        sum += pair;
        return static_cast<uint8_t>(pair);
    }

    // Eight pairs a round, as the loop's own counting costs about as much as a pair.
    void Decode(uint8_t* out, unsigned count)
    {
        uint8_t* end = out + count;
        for (; end - out >= 8; out += 8) {
            for (int i = 0; i < 8; ++i)
                out[i] = Next();
        }
        for (; out != end; ++out)
            *out = Next();
    }

    bool AllDigits() const { return sum / MOT_PAIR_DIGITS == static_cast<uint32_t>(at - first) / 2; }
};

// Decodes a record's byte count, address, data and checksum from text, the characters after its
// type, of which the piece holds `available`; *used receives the characters taken. One copy for
// each address length, so that the address is read without a loop of its own.
template <unsigned ADDRESS_BYTES>
inline MotStatus MotDecodeFields(const unsigned char* text, size_t available, unsigned type, MotRecord* record,
                                 MotImage* image, size_t* used)
{
    // The byte count and the address. Pairs that would run past the piece are no digits.
    if (2 * (1 + ADDRESS_BYTES) > available)
        return MOT_BAD_HEX_DIGIT;
    MotPairReader pairs = {text, text, 0};
    unsigned count = pairs.Next();
    uint32_t address = 0;
    for (unsigned i = 0; i < ADDRESS_BYTES; ++i)
        address = address << 8 | pairs.Next();
    if (!pairs.AllDigits())
        return MOT_BAD_HEX_DIGIT;
    record->address = address;

    // The data and the checksum. A count below the address length wraps to 252 bytes or more,
    // which no piece can hold.
    unsigned remaining = (count - ADDRESS_BYTES) & 0xFFu;
    if (remaining == 0)
        return MOT_NO_CHECKSUM_ROOM;
    *used = 2 * (1 + ADDRESS_BYTES + remaining);
    if (*used > available)
        return MOT_BAD_HEX_DIGIT;
    // Only S1, S2 and S3 carry data; a record is placed whole, when it fits the capacity, or not
    // at all.
    unsigned dataCount = type >= 1 && type <= 3 ? remaining - 1 : 0;
    bool placed = dataCount > 0 && address <= image->capacity && dataCount <= image->capacity - address;
    if (placed) {
        pairs.Decode(image->bytes + address, dataCount);
        record->data[dataCount] = pairs.Next();
    } else {
        pairs.Decode(record->data, remaining);
    }
    if (!pairs.AllDigits())
        return MOT_BAD_HEX_DIGIT;
    // The checksum is the ones' complement of the sum of the byte count, address and data bytes.
    if ((pairs.sum & 0xFFu) != 0xFFu)
        return MOT_CHECKSUM_MISMATCH;

    // The image grows to cover the record, with the fill where no record reached before.
    if (placed && address + dataCount > image->highestEnd) {
        if (address > image->highestEnd)
            std::memset(image->bytes + image->highestEnd, 0xFF, address - image->highestEnd);
        image->highestEnd = address + dataCount;
    }
    record->dataCount = static_cast<int32_t>(dataCount);
    record->endFlag = type >= 7 ? 1 : 0;
    return MOT_OK;
}

// The position of the record mark "S", or length when the piece ends, or a NUL ends it, first.
inline size_t MotFindMark(const unsigned char* text, size_t length)
{
    if (length > 0 && text[0] == 'S')
        return 0;
    const void* mark = length ? std::memchr(text, 'S', length) : nullptr;
    if (!mark)
        return length;
    size_t at = static_cast<size_t>(static_cast<const unsigned char*>(mark) - text);
    return std::memchr(text, '\0', at) ? length : at;
}

// MotParsePiece for the conversion. The record is not cleared first, and only what a successful
// parse sets is meaningful. An S1, S2 or S3 record that fits the image's capacity whole is decoded
// straight into the image, which grows to cover it; its data field then holds only the checksum
// byte in its place. A record that does not fit is checked and skipped. *used receives the
// characters from the start of the piece to the end of the checksum, or 0 when the piece holds no
// record.
inline MotStatus MotDecodePiece(const char* piece, size_t length, MotRecord* record, MotImage* image, size_t* used)
{
    auto* text = reinterpret_cast<const unsigned char*>(piece);
    *used = 0;
    record->address = 0;
    record->dataCount = 0;
    record->endFlag = 0;
    size_t mark = MotFindMark(text, length);
    MotStatus status = MOT_OK;
    if (mark < length) {
        // The type after the "S" gives the address length. A NUL, or the end of the piece, where
        // the type should be is no digit either.
        unsigned type = mark + 1 < length ? text[mark + 1] : 0;
        const unsigned char* pairs = text + mark + 2;
        size_t available = length - (mark + 2);
        size_t taken = 0;
        switch (type) {
        case '0': case '1': case '5': case '9':
            status = MotDecodeFields<2>(pairs, available, type - '0', record, image, &taken);
            break;
        case '2': case '8':
            status = MotDecodeFields<3>(pairs, available, type - '0', record, image, &taken);
            break;
        case '3': case '7':
            status = MotDecodeFields<4>(pairs, available, type - '0', record, image, &taken);
            break;
        default: status = MOT_BAD_RECORD_TYPE; break;
        }
        if (status == MOT_OK)
            *used = mark + 2 + taken;
    }
    record->status = status;
    return status;
}
