// Line pieces from a block refilled with large reads.
#include "image/mot_text_reader.h"

#include <cstring>

#include "platform/system_table.h"

namespace {

// Large reads, few refills: the unread bytes kept at each refill are at most a lookahead's worth.
const size_t BLOCK_SIZE = 16384;
char s_block[BLOCK_SIZE];

}  // namespace

bool MotTextReaderRefill(MotTextReader* reader)
{
    size_t unread = reader->end - reader->start;
    std::memmove(s_block, s_block + reader->start, unread);
    reader->start = 0;
    reader->end = unread;
    while (!reader->ended && reader->end < MOT_READER_LOOKAHEAD) {
        DWORD got = 0;
        if (!g_sys.ReadFile(reader->input, s_block + reader->end, static_cast<DWORD>(BLOCK_SIZE - reader->end),
                            &got, nullptr))
            return false;
        if (got == 0) {
            reader->ended = true;
            break;
        }
        const void* stop = std::memchr(s_block + reader->end, 0x1A, got);
        if (stop) {
            reader->end = static_cast<size_t>(static_cast<const char*>(stop) - s_block);
            reader->ended = true;
        } else {
            reader->end += got;
        }
    }
    return true;
}

void MotTextReaderOpen(MotTextReader* reader, HANDLE input)
{
    reader->input = input;
    reader->block = s_block;
    reader->start = 0;
    reader->end = 0;
    reader->ended = false;
}

MotReadResult MotTextReaderNext(MotTextReader* reader, const char** piece, size_t* length)
{
    const char* text;
    size_t unread;
    MotReadResult read = MotTextReaderPeek(reader, &text, &unread);
    if (read != MOT_READ_PIECE)
        return read;

    size_t window = unread < MOT_READER_LOOKAHEAD ? unread : MOT_READER_LOOKAHEAD;
    size_t take = unread < MOT_PIECE_MAX ? unread : MOT_PIECE_MAX;
    const char* newline = static_cast<const char*>(std::memchr(text, '\n', window));
    if (newline) {
        size_t raw = static_cast<size_t>(newline - text) + 1;
        // Only the CR just before the LF is dropped by text mode; any other CR is a character.
        size_t characters = raw - (raw >= 2 && newline[-1] == '\r' ? 1 : 0);
        if (characters <= MOT_PIECE_MAX)
            take = raw;
    }
    // Without a line end in reach, the piece is the next MOT_PIECE_MAX characters: none of them can
    // be a dropped CR, which only ever stands right before an LF.
    *piece = text;
    *length = take;
    MotTextReaderSkip(reader, take);
    return MOT_READ_PIECE;
}
