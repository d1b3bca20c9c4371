// Terminal text measurement and wrapping.
#include "ui/tty/text_width.h"

namespace {

const char32_t REPLACEMENT = 0xFFFD;

bool InRange(char32_t code, char32_t low, char32_t high)
{
    return code >= low && code <= high;
}

}  // namespace

char32_t Utf8Decode(const std::string& text, size_t* at)
{
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    size_t i = *at;
    unsigned char lead = byte(i);
    if (lead < 0x80) {
        *at = i + 1;
        return lead;
    }
    size_t length;
    char32_t code, minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        *at = i + 1;
        return REPLACEMENT;
    }
    if (i + length > text.size()) {
        *at = i + 1;
        return REPLACEMENT;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            *at = i + 1;
            return REPLACEMENT;
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || InRange(code, 0xD800, 0xDFFF)) {
        *at = i + 1;
        return REPLACEMENT;
    }
    *at = i + length;
    return code;
}

void Utf8Append(std::string* text, char32_t code)
{
    if (code < 0x80) {
        *text += static_cast<char>(code);
    } else if (code < 0x800) {
        *text += static_cast<char>(0xC0 | (code >> 6));
        *text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *text += static_cast<char>(0xE0 | (code >> 12));
        *text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *text += static_cast<char>(0xF0 | (code >> 18));
        *text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        *text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

int CharacterWidth(char32_t code)
{
    if (InRange(code, 0x0300, 0x036F) || InRange(code, 0x200B, 0x200F) || InRange(code, 0x3099, 0x309A))
        return 0;
    if (InRange(code, 0x1100, 0x115F) || InRange(code, 0x2E80, 0x303E) || InRange(code, 0x3041, 0x33FF) ||
        InRange(code, 0x3400, 0x4DBF) || InRange(code, 0x4E00, 0x9FFF) || InRange(code, 0xA000, 0xA4CF) ||
        InRange(code, 0xAC00, 0xD7A3) || InRange(code, 0xF900, 0xFAFF) || InRange(code, 0xFE30, 0xFE4F) ||
        InRange(code, 0xFF00, 0xFF60) || InRange(code, 0xFFE0, 0xFFE6) || InRange(code, 0x20000, 0x3FFFD))
        return 2;
    return 1;
}

int DisplayWidth(const std::string& text)
{
    int width = 0;
    for (size_t at = 0; at < text.size();)
        width += CharacterWidth(Utf8Decode(text, &at));
    return width;
}

std::string SanitizeForTerminal(const std::string& text)
{
    std::string clean;
    for (size_t at = 0; at < text.size();) {
        char32_t code = Utf8Decode(text, &at);
        if (code == '\t')
            code = ' ';
        else if (code != '\n' && (code < 0x20 || InRange(code, 0x7F, 0x9F)))
            code = '?';
        Utf8Append(&clean, code);
    }
    return clean;
}

std::vector<std::string> WrapText(const std::string& text, int columns)
{
    std::vector<std::string> lines(1);
    int used = 0;
    for (size_t at = 0; at < text.size();) {
        size_t start = at;
        char32_t code = Utf8Decode(text, &at);
        if (code == '\n') {
            lines.emplace_back();
            used = 0;
            continue;
        }
        int width = CharacterWidth(code);
        if (used + width > columns && used > 0) {
            lines.emplace_back();
            used = 0;
        }
        lines.back().append(text, start, at - start);
        used += width;
    }
    while (lines.size() > 1 && lines.back().empty())
        lines.pop_back();
    if (lines.size() == 1 && lines[0].empty())
        lines.clear();
    return lines;
}

std::string FitToWidth(const std::string& text, int columns)
{
    std::string fitted;
    int used = 0;
    for (size_t at = 0; at < text.size();) {
        size_t start = at;
        int width = CharacterWidth(Utf8Decode(text, &at));
        if (used + width > columns)
            break;
        fitted.append(text, start, at - start);
        used += width;
    }
    return fitted;
}
