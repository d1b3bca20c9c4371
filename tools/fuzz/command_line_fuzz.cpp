// libFuzzer target for the command line: any text, copied and parsed under UTF-8 or under a
// double-byte code page, must stay inside its buffers and give consistent names.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/command_line.h"
#include "platform/system_table.h"

namespace {

LPSTR WINAPI DoubleByteCharNext(LPCSTR text)
{
    auto* p = reinterpret_cast<const unsigned char*>(text);
    if (*p == 0)
        return const_cast<LPSTR>(text);
    bool lead = (p[0] >= 0x81 && p[0] <= 0x9F) || (p[0] >= 0xE0 && p[0] <= 0xFC);
    return const_cast<LPSTR>(text + (lead && p[1] ? 2 : 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    g_sys.CharNextA = (data[0] & 1) ? DoubleByteCharNext : SystemNativeTable().CharNextA;
    ++data;
    --size;

    // The source as the platform hands it over: NUL-terminated, of any length.
    char* source = static_cast<char*>(std::malloc(size + 1));
    std::memcpy(source, data, size);
    source[size] = '\0';

    char copy[IMAGE_COMMAND_LINE_SIZE];
    ImageCopyCommandLine(copy, source);
    if (std::strlen(copy) > IMAGE_COMMAND_LINE_MAX || std::strncmp(copy, source, std::strlen(copy)) != 0)
        std::abort();

    ImageCommandLine record;
    int accepted = ImageParseCommandLine(&record, copy);
    if (accepted != 0 && accepted != 1)
        std::abort();
    if (record.imagePath) {
        if (record.imagePath < copy || record.imagePath >= copy + sizeof copy || record.imagePath[0] == '\0')
            std::abort();
        ImageIsMotFile(record.imagePath);
        if (ImageFormConversionName(&record) == IMAGE_CONVERSION_NAME_READY &&
            std::strlen(record.nameBuffer) >= MAX_PATH)
            std::abort();
    }

    // The whole source as a path and as a product identification.
    char name[MAX_PATH];
    if (ImageMakeBinName(name, source, ".bin") && std::strlen(name) >= MAX_PATH)
        std::abort();
    ImageIsMotFile(source);
    char defaultName[IMAGE_DEFAULT_NAME_SIZE];
    ImageMakeDefaultName(defaultName, source, size);
    for (const char* p = defaultName; *p; ++p) {
        if (*p == '/' || *p == '\\' || static_cast<unsigned char>(*p) < 0x21)
            std::abort();
    }

    const char* arguments[3] = {source, source, "-c"};
    ImageJoinArguments(copy, 3, arguments);
    if (std::strlen(copy) > IMAGE_COMMAND_LINE_MAX)
        std::abort();

    std::free(source);
    return 0;
}
