// The conversion of S-record text into the memory image and its binary file.
#include "image/mot_convert.h"

#include <cstring>

#include "image/file_replacement.h"
#include "image/mot_text_reader.h"
#include "platform/system_table.h"

namespace {

uint8_t g_motBuffer[MOT_BUFFER_SIZE];

}  // namespace

MotStatus MotConvertStream(HANDLE input, HANDLE output, uint32_t capacity)
{
    if (capacity > MOT_BUFFER_SIZE)
        return MOT_CAPACITY_TOO_LARGE;
    // Bytes beyond the capacity are never placed nor written, so only the capacity is filled and
    // the rest of the buffer is never touched.
    std::memset(g_motBuffer, 0xFF, capacity);
    uint32_t highestEnd = 0;

    MotTextReader reader;
    MotTextReaderOpen(&reader, input);
    const char* piece;
    size_t length;
    MotReadResult read = MotTextReaderNext(&reader, &piece, &length);
    if (read == MOT_READ_END)
        return MOT_NO_DATA;

    MotRecord record;
    while (read == MOT_READ_PIECE) {
        MotStatus status = MotParsePiece(piece, length, &record);
        if (status != MOT_OK)
            return status;
        if (record.endFlag)
            break;
        // A record is placed whole or not at all; one that does not fit the capacity is skipped.
        uint64_t end = static_cast<uint64_t>(record.address) + static_cast<uint32_t>(record.dataCount);
        if (record.dataCount > 0 && end <= capacity) {
            std::memcpy(g_motBuffer + record.address, record.data, static_cast<size_t>(record.dataCount));
            if (end > highestEnd)
                highestEnd = static_cast<uint32_t>(end);
        }
        read = MotTextReaderNext(&reader, &piece, &length);
    }
    // Reading that fails part-way must not pass for the end of the input.
    if (read == MOT_READ_FAILED)
        return MOT_INPUT_UNREADABLE;
    if (highestEnd == 0)
        return MOT_NO_DATA;

    DWORD written = 0;
    if (!g_sys.WriteFile(output, g_motBuffer, highestEnd, &written, nullptr) || written != highestEnd)
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
