// libFuzzer target for the S-record parser and the whole stream conversion: any bytes, read in
// short pieces, must end in a status of the documented set, with the image inside the capacity.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/mot_convert.h"
#include "platform/system_table.h"

namespace {

const uint8_t* s_input;
size_t s_inputSize;
size_t s_inputAt;
size_t s_chunk;
size_t s_written;

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

BOOL WINAPI CountingWriteFile(HANDLE, LPCVOID, DWORD size, LPDWORD done, LPOVERLAPPED)
{
    s_written += size;
    *done = size;
    return TRUE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // One record parse of the bytes as a piece and as text.
    MotRecord record;
    MotStatus status = MotParsePiece(reinterpret_cast<const char*>(data), size, &record);
    if (record.status != status || record.dataCount < 0 || record.dataCount > 255)
        std::abort();
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
    s_written = 0;
    g_sys.ReadFile = MemoryReadFile;
    g_sys.WriteFile = CountingWriteFile;
    status = MotConvertStream(nullptr, nullptr, capacity);
    switch (status) {
    case MOT_OK:
        if (s_written == 0 || s_written > capacity)
            std::abort();
        break;
    case MOT_BAD_RECORD_TYPE:
    case MOT_BAD_HEX_DIGIT:
    case MOT_NO_CHECKSUM_ROOM:
    case MOT_CHECKSUM_MISMATCH:
    case MOT_NO_DATA:
    case MOT_CAPACITY_TOO_LARGE:
        if (s_written != 0)
            std::abort();
        break;
    default: std::abort();
    }
    return 0;
}
