// The conversion's rules written the plain way, as the comparison for the converter: text mode
// first (a CR before an LF dropped, the input ended at 0x1A), then each line cut into pieces of at
// most 513 characters, each piece read one character at a time. Slow and obvious on purpose.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MotReferenceResult {
    int status;
    std::string image;  // the output on success
};

inline int MotReferenceDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

inline std::vector<std::string> MotReferencePieces(std::string raw)
{
    raw = raw.substr(0, raw.find('\x1A'));
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n'))
            text += raw[i];
    }
    std::vector<std::string> pieces;
    for (size_t at = 0; at < text.size();) {
        size_t newline = text.find('\n', at);
        size_t lineEnd = newline == std::string::npos ? text.size() : newline + 1;
        size_t length = lineEnd - at < 513 ? lineEnd - at : 513;
        pieces.push_back(text.substr(at, length));
        at += length;
    }
    return pieces;
}

inline MotReferenceResult MotReferenceConvert(const std::string& raw, uint32_t capacity)
{
    static const int addressLength[10] = {2, 2, 3, 4, -1, 2, -1, 4, 3, 2};
    if (capacity > 0x40000)
        return {12, ""};
    std::vector<std::string> pieces = MotReferencePieces(raw);
    if (pieces.empty())
        return {11, ""};
    // 0xFF wherever no record writes; as long as the highest end reached.
    std::string image;
    for (std::string piece : pieces) {
        piece = piece.substr(0, piece.find('\0'));
        size_t at = piece.find('S');
        if (at == std::string::npos)
            continue;
        ++at;
        // Past the end of the piece reads as NUL, which is no digit.
        auto charAt = [&](size_t i) { return i < piece.size() ? piece[i] : '\0'; };
        char typeChar = charAt(at++);
        if (typeChar < '0' || typeChar > '9' || addressLength[typeChar - '0'] < 0)
            return {7, ""};
        int type = typeChar - '0';
        auto byteAt = [&](size_t i, int* byte) {
            int high = MotReferenceDigit(charAt(i)), low = high < 0 ? -1 : MotReferenceDigit(charAt(i + 1));
            *byte = high * 16 + low;
            return high >= 0 && low >= 0;
        };
        int count;
        if (!byteAt(at, &count))
            return {8, ""};
        at += 2;
        unsigned sum = static_cast<unsigned>(count);
        uint32_t address = 0;
        for (int i = 0; i < addressLength[type]; ++i, at += 2) {
            int byte;
            if (!byteAt(at, &byte))
                return {8, ""};
            address = address << 8 | static_cast<uint32_t>(byte);
            sum += static_cast<unsigned>(byte);
        }
        int remaining = (count - addressLength[type]) & 0xFF;
        if (remaining == 0)
            return {9, ""};
        std::string data;
        for (int i = 0; i < remaining; ++i, at += 2) {
            int byte;
            if (!byteAt(at, &byte))
                return {8, ""};
            data += static_cast<char>(byte);
            sum += static_cast<unsigned>(byte);
        }
        if ((sum & 0xFF) != 0xFF)
            return {10, ""};
        if (type >= 7)
            break;
        uint64_t dataCount = type >= 1 && type <= 3 ? static_cast<uint64_t>(remaining - 1) : 0;
        if (dataCount >= 1 && address < capacity && address + dataCount <= capacity) {
            if (image.size() < address + dataCount)
                image.resize(address + dataCount, '\xFF');
            image.replace(address, dataCount, data, 0, dataCount);
        }
    }
    if (image.empty())
        return {11, ""};
    return {0, image};
}
