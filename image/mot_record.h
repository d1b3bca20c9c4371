// One Motorola S-record line: hexadecimal digits, the record layout and its checksum.
#pragma once

#include <cstddef>
#include <cstdint>

// The result of a conversion and of parsing one record; 0 is success. Code 5 is not used.
enum MotStatus {
    MOT_OK = 0,
    MOT_INPUT_UNREADABLE = 1,       // the input cannot be opened (or read)
    MOT_OUTPUT_NOT_CREATED = 2,     // the output cannot be created (or put in place)
    MOT_INPUT_CLOSE_FAILED = 3,     // closing the input failed, and nothing failed before
    MOT_OUTPUT_CLOSE_FAILED = 4,    // closing the output failed, and nothing failed before
    MOT_WRITE_FAILED = 6,           // writing the output failed
    MOT_BAD_RECORD_TYPE = 7,        // S4, S6, or "S" followed by a character that is not a digit
    MOT_BAD_HEX_DIGIT = 8,          // a character that has to be a hexadecimal digit is not one
    MOT_NO_CHECKSUM_ROOM = 9,       // the byte count equals the address length
    MOT_CHECKSUM_MISMATCH = 10,     // the ones' complement sum does not match
    MOT_NO_DATA = 11,               // no line at all, or no data record placed
    MOT_CAPACITY_TOO_LARGE = 12,    // the capacity exceeds the conversion buffer
};

// The longest line piece read in one go; longer lines are read as several pieces.
#define MOT_PIECE_MAX 513

struct MotRecord {
    uint32_t address;    // load address, big-endian from the record's 2, 3 or 4 address bytes
    int32_t status;      // MotStatus of the parse
    int32_t endFlag;     // 1 for the termination records S7, S8 and S9
    int32_t dataCount;   // data bytes of S1, S2 and S3; 0 for every other type
    uint8_t data[256];   // the bytes after the address, the checksum byte last
};

// "0"-"9", "A"-"F" and "a"-"f" give 0 to 15; every other character, NUL included, gives -1.
int MotHexDigit(int character);

// Two hexadecimal digits into *byte: returns 0, or -1 (the second character is not read when the
// first is not a digit, so a text ending after one character is safe).
int MotHexByte(const char* text, uint8_t* byte);

// Parses one NUL-terminated line piece into record (cleared first) and returns its status. A piece
// without an upper-case "S" is no record: status 0, data count 0, end flag 0.
MotStatus MotParseRecord(const char* piece, MotRecord* record);

// The same for a piece of known length; a NUL inside it ends the piece as it does for text.
MotStatus MotParsePiece(const char* piece, size_t length, MotRecord* record);
