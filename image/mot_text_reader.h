// Reading S-record text in line pieces, with the text mode done here so that it is the same on
// every platform: a CR LF pair reads as LF, a byte 0x1A ends the input, and a piece holds at most
// MOT_PIECE_MAX characters and never goes past a line end (the LF, when read, is its last character).
//
// The reader fills one process-wide block with large reads and hands out pieces in place; it
// allocates nothing. Only one reader is in use at a time (the conversion is non-reentrant).
#pragma once

#include <cstddef>

#include "platform/win32_types.h"

struct MotTextReader {
    HANDLE input;
    size_t start;  // first unread byte in the block
    size_t end;    // end of the bytes read so far (or of the input, at a 0x1A)
    bool ended;    // no more bytes will be read
};

enum MotReadResult {
    MOT_READ_PIECE = 1,
    MOT_READ_END = 0,
    MOT_READ_FAILED = -1,  // the system's ReadFile failed
};

void MotTextReaderOpen(MotTextReader* reader, HANDLE input);

// The next piece: *piece points into the block and stays valid until the next call. A piece taken
// from a CR LF line still ends in CR LF here; that CR is not counted in its length limit, and a
// parser that stops at the first character it cannot use sees no difference.
MotReadResult MotTextReaderNext(MotTextReader* reader, const char** piece, size_t* length);
