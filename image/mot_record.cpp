// Parsing one S-record line piece. Every record that is parsed, whatever its type, has its digits
// and its checksum verified.
#include "image/mot_record.h"

#include <cstring>

#include "image/mot_record_decode.h"

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

}  // namespace

uint32_t g_motHexPairs[0x10000];

void MotFillHexPairs(void)
{
    static const bool filled = [] {
        static const char DIGITS[] = "0123456789ABCDEFabcdef";
        for (const char* high = DIGITS; *high; ++high) {
            for (const char* low = DIGITS; *low; ++low) {
                int value = HEX.value[static_cast<unsigned char>(*high)] * 16 +
                            HEX.value[static_cast<unsigned char>(*low)];
                g_motHexPairs[static_cast<unsigned char>(*high) | static_cast<unsigned char>(*low) << 8] =
                    static_cast<uint32_t>(value) + MOT_PAIR_DIGITS;
            }
        }
        return true;
    }();
    (void)filled;
}

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
    MotFillHexPairs();
    // An image without room: every record keeps its bytes.
    MotImage none = {nullptr, 0, 0};
    size_t used;
    return MotDecodePiece(piece, length, record, &none, &used);
}
