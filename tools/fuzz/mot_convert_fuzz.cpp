// libFuzzer target for the S-record parser and the whole stream conversion: any bytes, read in
// short pieces, must give the status and the image that the plain reading of the rules gives
// (tests/image/mot_reference.h), and the record parser must stay within its record.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/mot_convert.h"
#include "platform/system_table.h"
#include "tests/image/mot_reference.h"

namespace {

const uint8_t* s_input;
size_t s_inputSize;
size_t s_inputAt;
size_t s_chunk;
std::string s_written;

// Reads of a size the input chooses, to reach every way a line can straddle a refill.
BOOL WINAPI MemoryReadFile(HANDLE, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED)
{
    size_t n = s_inputSize - s_inputAt;
    if (n > s_chunk)
        n = s_chunk;
    if (n > size)
        n = size;
    std::memcpy(buffer, s_input + s_inputAt, n);
    s_inputAt += n;
    *done = static_cast<DWORD>(n);
    return TRUE;
}

BOOL WINAPI CapturingWriteFile(HANDLE, LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED)
{
    s_written.append(static_cast<const char*>(buffer), size);
    *done = size;
    return TRUE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // One record parse of the bytes as a piece (in a copy of exactly their size, so that a read
    // past them is caught) and as text.
    char* piece = static_cast<char*>(std::malloc(size ? size : 1));
    std::memcpy(piece, data, size);
    MotRecord record;
    MotStatus status = MotParsePiece(piece, size, &record);
    if (record.status != status || record.dataCount < 0 || record.dataCount > 255)
        std::abort();
    std::free(piece);
    char* text = static_cast<char*>(std::malloc(size + 1));
    std::memcpy(text, data, size);
    text[size] = '\0';
    MotParseRecord(text, &record);
    std::free(text);

    if (size < 2)
        return 0;
    static const uint32_t capacities[4] = {0x30000, 0x100, MOT_BUFFER_SIZE, MOT_BUFFER_SIZE + 1};
    uint32_t capacity = capacities[data[0] & 3];
    s_chunk = 1 + (data[1] * 61u);
    s_input = data + 2;
    s_inputSize = size - 2;
    s_inputAt = 0;
    s_written.clear();
    g_sys.ReadFile = MemoryReadFile;
    g_sys.WriteFile = CapturingWriteFile;
    status = MotConvertStream(nullptr, nullptr, capacity);
    MotReferenceResult expected =
        MotReferenceConvert(std::string(reinterpret_cast<const char*>(s_input), s_inputSize), capacity);
    if (status != expected.status || s_written != expected.image)
        std::abort();
    return 0;
}
