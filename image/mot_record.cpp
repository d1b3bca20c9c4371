// Parsing one S-record line piece. Every record that is parsed, whatever its type, has its digits
// and its checksum verified.
#include "image/mot_record.h"

#include <cstring>

namespace {

// Value of each byte as a hexadecimal digit, -1 for every other byte.
struct HexTable {
    int8_t value[256];
    constexpr HexTable() : value()
    {
        for (int i = 0; i < 256; ++i)
            value[i] = -1;
        for (int i = 0; i < 10; ++i)
            value['0' + i] = static_cast<int8_t>(i);
        for (int i = 0; i < 6; ++i) {
            value['A' + i] = static_cast<int8_t>(10 + i);
            value['a' + i] = static_cast<int8_t>(10 + i);
        }
    }
};
constexpr HexTable HEX;

// Address bytes of each record type "0".."9"; 0 marks the unsupported S4 and S6.
constexpr int ADDRESS_LENGTH[10] = {2, 2, 3, 4, 0, 2, 0, 4, 3, 2};

MotStatus Finish(MotRecord* record, MotStatus status)
{
    record->status = status;
    return status;
}

// Reads hexadecimal pairs from a piece of known length; a position past the end reads as NUL.
class PairReader {
public:
    PairReader(const unsigned char* text, size_t length, size_t position)
        : m_text(text), m_length(length), m_position(position) {}

    bool Next(uint8_t* byte)
    {
        int high = Digit(m_position);
        if (high < 0)
            return false;
        int low = Digit(m_position + 1);
        if (low < 0)
            return false;
        *byte = static_cast<uint8_t>(high * 16 + low);
        m_position += 2;
        return true;
    }

    // Decodes count pairs into out and adds them to *sum; false at the first bad digit.
    bool Run(uint8_t* out, size_t count, unsigned* sum)
    {
        if (m_position + 2 * count <= m_length) {
            // The whole run lies inside the piece: no bounds to check per digit.
            const unsigned char* p = m_text + m_position;
            unsigned total = 0;
            for (size_t i = 0; i < count; ++i) {
                int high = HEX.value[p[2 * i]], low = HEX.value[p[2 * i + 1]];
                if ((high | low) < 0)
                    return false;
                out[i] = static_cast<uint8_t>(high * 16 + low);
                total += out[i];
            }
            m_position += 2 * count;
            *sum += total;
            return true;
        }
        for (size_t i = 0; i < count; ++i) {
            if (!Next(&out[i]))
                return false;
            *sum += out[i];
        }
        return true;
    }

private:
    int Digit(size_t position) const { return position < m_length ? HEX.value[m_text[position]] : -1; }

    const unsigned char* m_text;
    size_t m_length;
    size_t m_position;
};

}  // namespace

int MotHexDigit(int character)
{
    return character >= 0 && character < 256 ? HEX.value[character] : -1;
}

int MotHexByte(const char* text, uint8_t* byte)
{
    int high = MotHexDigit(static_cast<unsigned char>(text[0]));
    if (high < 0)
        return -1;
    int low = MotHexDigit(static_cast<unsigned char>(text[1]));
    if (low < 0)
        return -1;
    *byte = static_cast<uint8_t>(high * 16 + low);
    return 0;
}

MotStatus MotParseRecord(const char* piece, MotRecord* record)
{
    return MotParsePiece(piece, piece ? std::strlen(piece) : 0, record);
}

MotStatus MotParsePiece(const char* piece, size_t length, MotRecord* record)
{
    std::memset(record, 0, sizeof *record);
    auto* text = reinterpret_cast<const unsigned char*>(piece);

    // A NUL ends the piece as far as the record is concerned.
    const void* nul = length ? std::memchr(text, '\0', length) : nullptr;
    if (nul)
        length = static_cast<size_t>(static_cast<const unsigned char*>(nul) - text);
    const void* mark = length ? std::memchr(text, 'S', length) : nullptr;
    if (!mark)
        return Finish(record, MOT_OK);
    size_t position = static_cast<size_t>(static_cast<const unsigned char*>(mark) - text) + 1;

    unsigned type = position < length ? text[position] - '0' : 10;
    if (type > 9 || ADDRESS_LENGTH[type] == 0)
        return Finish(record, MOT_BAD_RECORD_TYPE);
    unsigned addressLength = static_cast<unsigned>(ADDRESS_LENGTH[type]);

    PairReader pairs(text, length, position + 1);
    uint8_t count;
    if (!pairs.Next(&count))
        return Finish(record, MOT_BAD_HEX_DIGIT);
    unsigned sum = count;

    uint8_t address[4];
    if (!pairs.Run(address, addressLength, &sum))
        return Finish(record, MOT_BAD_HEX_DIGIT);
    for (unsigned i = 0; i < addressLength; ++i)
        record->address = (record->address << 8) | address[i];

    // A count below the address length wraps to 252 bytes or more, which no piece can hold.
    unsigned remaining = (count - addressLength) & 0xFFu;
    if (remaining == 0)
        return Finish(record, MOT_NO_CHECKSUM_ROOM);
    if (!pairs.Run(record->data, remaining, &sum))
        return Finish(record, MOT_BAD_HEX_DIGIT);
    if ((sum & 0xFFu) != 0xFFu)
        return Finish(record, MOT_CHECKSUM_MISMATCH);

    if (type >= 1 && type <= 3)
        record->dataCount = static_cast<int32_t>(remaining - 1);
    record->endFlag = type >= 7 ? 1 : 0;
    return Finish(record, MOT_OK);
}
