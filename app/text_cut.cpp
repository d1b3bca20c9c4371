// Character-boundary cuts, stepping with the system's CharNextA.
#include "app/text_cut.h"

#include <cstring>

#include "platform/system_table.h"

size_t TextCutLength(const char* text, size_t length, size_t limit)
{
    size_t used = 0;
    while (used < length && text[used] != '\0') {
        const char* next = g_sys.CharNextA(text + used);
        size_t step = next > text + used ? static_cast<size_t>(next - (text + used)) : 1;
        if (used + step > limit || used + step > length)
            break;
        used += step;
    }
    return used;
}

void TextCopyCut(char* dest, const char* text, size_t length, size_t limit)
{
    size_t used = TextCutLength(text, length, limit);
    std::memcpy(dest, text, used);
    dest[used] = '\0';
}
