// The command-line copy and its parse into an ImageCommandLine record.
#include "image/command_line.h"

#include <cstring>

#include "image/path_text.h"

namespace {

bool IsTokenSeparator(char c)
{
    return c == ' ' || c == '\t' || c == ';';
}

// Room for the joined arguments up to the copy's limit plus the longest character that may start
// just below it, so the copy can tell whether that character fits.
const size_t JOINED_MAX = IMAGE_COMMAND_LINE_MAX + 3;

}  // namespace

void ImageCopyCommandLine(char* dest, const char* source)
{
    size_t used = 0;
    for (const char* p = source; p && *p;) {
        const char* next = ImageNextChar(p);
        size_t length = static_cast<size_t>(next - p);
        if (used + length > IMAGE_COMMAND_LINE_MAX)
            break;
        std::memcpy(dest + used, p, length);
        used += length;
        p = next;
    }
    dest[used] = '\0';
    dest[IMAGE_COMMAND_LINE_MAX] = '\0';
}

void ImageJoinArguments(char* dest, int count, const char* const* arguments)
{
    char joined[JOINED_MAX + 1];
    size_t used = 0;
    for (int i = 0; i < count && used < JOINED_MAX; ++i) {
        if (i > 0)
            joined[used++] = ' ';
        for (const char* p = arguments[i]; p && *p && used < JOINED_MAX; ++p)
            joined[used++] = *p;
    }
    joined[used] = '\0';
    ImageCopyCommandLine(dest, joined);
}

int ImageParseSwitchValue(const char* value, int32_t* target)
{
    if (value[0] == '\0' || (value[0] == '+' && value[1] == '\0')) {
        *target = 1;
        return 1;
    }
    if (value[0] == '-' && value[1] == '\0') {
        *target = 0;
        return 1;
    }
    return 0;
}

int ImageParseSwitch(ImageCommandLine* record, const char* tail)
{
    int32_t* target;
    switch (tail[0]) {
    case 'V': target = &record->switchV; break;
    case 'W': target = &record->switchW; break;
    case 'c': target = &record->switchC; break;
    case 'r': target = &record->switchR; break;
    default: return 0;
    }
    return ImageParseSwitchValue(tail + 1, target);
}

int ImageSetPath(ImageCommandLine* record, char* token)
{
    if (record->imagePath)
        return 0;
    record->imagePath = token;
    return 1;
}

int ImageParseCommandLine(ImageCommandLine* record, char* text)
{
    record->imagePath = nullptr;
    record->nameBuffer[0] = '\0';
    record->switchC = 0;
    record->switchR = 0;
    record->switchV = 0;
    record->switchW = 1;

    char* p = text;
    while (p) {
        // A separator byte at a character boundary is always a character of its own.
        while (IsTokenSeparator(*p))
            ++p;
        if (*p == '\0')
            break;
        char* token = p;
        while (*p && !IsTokenSeparator(*p))
            p = ImageNextChar(p);
        if (*p)
            *p++ = '\0';
        int accepted = ImageIsSwitchIntroducer(token[0]) ? ImageParseSwitch(record, token + 1)
                                                          : ImageSetPath(record, token);
        if (!accepted)
            return 0;
    }
    return 1;
}
