// The conversion of S-record text into the memory image and its binary file.
#include "image/mot_convert.h"

#include <cstring>

#include "image/file_replacement.h"
#include "image/mot_record_decode.h"
#include "image/mot_text_reader.h"
#include "platform/system_table.h"

namespace {

uint8_t g_motBuffer[MOT_BUFFER_SIZE];

// The line end right after a record: its length, 0 when something else follows.
size_t LineEndAt(const char* text, size_t available)
{
    if (available >= 2 && text[0] == '\r' && text[1] == '\n')
        return 2;
    if (available >= 1 && text[0] == '\n')
        return 1;
    return 0;
}

}  // namespace

MotStatus MotConvertStream(HANDLE input, HANDLE output, uint32_t capacity)
{
    if (capacity > MOT_BUFFER_SIZE)
        return MOT_CAPACITY_TOO_LARGE;
    MotFillHexPairs();
    MotImage image = {g_motBuffer, capacity, 0};
    MotTextReader reader;
    MotTextReaderOpen(&reader, input);
    const char* text;
    size_t available;
    MotReadResult read = MotTextReaderPeek(&reader, &text, &available);
    if (read == MOT_READ_END)
        return MOT_NO_DATA;

    while (read == MOT_READ_PIECE) {
        // A line that starts with its record, the usual case, is parsed where it stands: no
        // character of a record is a line end, so up to MOT_PIECE_MAX characters of the text say
        // what its piece says, and the piece's end need be looked for only when the record is
        // not followed by its line end. Any other line is cut into its piece first. (The piece is
        // in view already, so cutting it reads nothing and cannot fail.)
        bool inPlace = text[0] == 'S';
        const char* piece = text;
        size_t length = available < MOT_PIECE_MAX ? available : MOT_PIECE_MAX;
        if (!inPlace)
            MotTextReaderNext(&reader, &piece, &length);
        MotRecord record;
        size_t used;
        MotStatus status = MotDecodePiece(piece, length, &record, &image, &used);
        if (status != MOT_OK)
            return status;
        if (record.endFlag)
            break;
        if (inPlace) {
            size_t lineEnd = LineEndAt(text + used, available - used);
            if (lineEnd)
                MotTextReaderSkip(&reader, used + lineEnd);
            else
                MotTextReaderNext(&reader, &piece, &length);
        }
        read = MotTextReaderPeek(&reader, &text, &available);
    }
    // Reading that fails part-way must not pass for the end of the input.
    if (read == MOT_READ_FAILED)
        return MOT_INPUT_UNREADABLE;
    if (image.highestEnd == 0)
        return MOT_NO_DATA;

    DWORD written = 0;
    if (!g_sys.WriteFile(output, g_motBuffer, image.highestEnd, &written, nullptr) || written != image.highestEnd)
        return MOT_WRITE_FAILED;
    return MOT_OK;
}

MotStatus MotConvertFile(const char* inputPath, const char* outputPath, uint32_t capacity)
{
    if (!inputPath)
        return MOT_INPUT_UNREADABLE;
    HANDLE input = g_sys.CreateFileA(inputPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (input == INVALID_HANDLE_VALUE)
        return MOT_INPUT_UNREADABLE;

    FileReplacement replacement;
    HANDLE output = FileReplacementBegin(&replacement, outputPath);
    if (output == INVALID_HANDLE_VALUE) {
        g_sys.CloseHandle(input);
        return MOT_OUTPUT_NOT_CREATED;
    }

    MotStatus result = MotConvertStream(input, output, capacity);
    if (!g_sys.CloseHandle(output) && result == MOT_OK)
        result = MOT_OUTPUT_CLOSE_FAILED;
    if (!g_sys.CloseHandle(input) && result == MOT_OK)
        result = MOT_INPUT_CLOSE_FAILED;
    // Only a complete conversion replaces the output; anything else leaves it as it was.
    if (result != MOT_OK)
        FileReplacementAbandon(&replacement);
    else if (!FileReplacementCommit(&replacement))
        result = MOT_OUTPUT_NOT_CREATED;
    return result;
}
