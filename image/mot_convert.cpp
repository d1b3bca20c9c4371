// The conversion of S-record text into the memory image and its binary file.
#include "image/mot_convert.h"

#include <cstdio>
#include <cstring>

#include "image/mot_text_reader.h"
#include "platform/system_table.h"

uint8_t g_motBuffer[MOT_BUFFER_SIZE];

namespace {

// Temporary names tried beside the output before giving up: "<output>.tmp", "<output>.1.tmp", ...
const unsigned TEMPORARY_ATTEMPTS = 100;

bool AlreadyExists(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// Creates a new temporary file in the output's directory; its name goes to temporary
// (MAX_PATH + 16 bytes). Never opens an existing file.
HANDLE CreateTemporaryBeside(const char* outputPath, char* temporary, size_t size)
{
    for (unsigned attempt = 0; attempt < TEMPORARY_ATTEMPTS; ++attempt) {
        int formed = attempt == 0 ? std::snprintf(temporary, size, "%s.tmp", outputPath)
                                  : std::snprintf(temporary, size, "%s.%u.tmp", outputPath, attempt);
        if (formed < 0 || static_cast<size_t>(formed) >= size)
            break;
        HANDLE file = g_sys.CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                        nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        if (!AlreadyExists(g_sys.GetLastError()))
            break;
    }
    temporary[0] = '\0';
    return INVALID_HANDLE_VALUE;
}

// An existing output that cannot be replaced (a directory, a read-only file) is reported before
// any work, as creating it would have been.
bool OutputIsReplaceable(const char* outputPath)
{
    DWORD attributes = g_sys.GetFileAttributesA(outputPath);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

}  // namespace

MotStatus MotConvertStream(HANDLE input, HANDLE output, uint32_t capacity)
{
    if (capacity > MOT_BUFFER_SIZE)
        return MOT_CAPACITY_TOO_LARGE;
    std::memset(g_motBuffer, 0xFF, sizeof g_motBuffer);
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

    char temporary[MAX_PATH + 16];
    HANDLE output = INVALID_HANDLE_VALUE;
    if (outputPath && OutputIsReplaceable(outputPath))
        output = CreateTemporaryBeside(outputPath, temporary, sizeof temporary);
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
    if (result == MOT_OK && !g_sys.MoveFileExA(temporary, outputPath, MOVEFILE_REPLACE_EXISTING))
        result = MOT_OUTPUT_NOT_CREATED;
    if (result != MOT_OK)
        g_sys.DeleteFileA(temporary);
    return result;
}
