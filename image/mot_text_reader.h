// Reading S-record text in line pieces, with the text mode done here so that it is the same on
// every platform: a CR LF pair reads as LF, a byte 0x1A ends the input, and a piece holds at most
// MOT_PIECE_MAX characters and never goes past a line end (the LF, when read, is its last character).
//
// The reader fills one process-wide block with large reads and hands out pieces in place; it
// allocates nothing. Only one reader is in use at a time (the conversion is non-reentrant).
#pragma once

#include <cstddef>

#include "image/mot_record.h"
#include "platform/win32_types.h"

// Unread bytes the reader keeps in view: enough to decide where a piece ends (the longest piece and
// a CR LF after it).
#define MOT_READER_LOOKAHEAD (MOT_PIECE_MAX + 2)

struct MotTextReader {
    HANDLE input;
    const char* block;  // the bytes read
    size_t start;       // first unread byte in the block
    size_t end;         // end of the bytes read so far (or of the input, at a 0x1A)
    bool ended;         // no more bytes will be read
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

// Keeps the unread bytes and reads more behind them until MOT_READER_LOOKAHEAD bytes are there, the
// input ends or reading fails (false).
bool MotTextReaderRefill(MotTextReader* reader);

// The unread text without taking it: at least MOT_READER_LOOKAHEAD bytes of it, fewer only where
// the input ends (at its end or a 0x1A). Valid until the next call. Called for every line, so
// written here to be inlined.
inline MotReadResult MotTextReaderPeek(MotTextReader* reader, const char** text, size_t* available)
{
    if (reader->end - reader->start < MOT_READER_LOOKAHEAD && !reader->ended && !MotTextReaderRefill(reader))
        return MOT_READ_FAILED;
    *text = reader->block + reader->start;
    *available = reader->end - reader->start;
    return *available == 0 ? MOT_READ_END : MOT_READ_PIECE;
}

// Takes count bytes of the text Peek showed, a whole piece's worth and its line end at most.
inline void MotTextReaderSkip(MotTextReader* reader, size_t count)
{
    reader->start += count;
}
