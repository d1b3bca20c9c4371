// The message formatter.
#include "app/message_format.h"

#include <cstdio>
#include <vector>

namespace {

// Bytes of the first `count` UTF-8 characters of text (all of it when it has fewer).
size_t CharactersPrefix(const std::string& text, size_t count)
{
    size_t at = 0;
    for (size_t seen = 0; at < text.size() && seen < count; ++seen) {
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
            ++at;
    }
    return at;
}

std::string FormatNumber(uint32_t value, char conversion, bool zeroPad, bool leftAlign, size_t width)
{
    char digits[16];
    switch (conversion) {
    case 'x': std::snprintf(digits, sizeof digits, "%x", value); break;
    case 'X': std::snprintf(digits, sizeof digits, "%X", value); break;
    case 'd': std::snprintf(digits, sizeof digits, "%d", static_cast<int32_t>(value)); break;
    default: std::snprintf(digits, sizeof digits, "%u", value); break;
    }
    std::string text = digits;
    if (text.size() >= width)
        return text;
    size_t pad = width - text.size();
    if (leftAlign)
        return text + std::string(pad, ' ');
    if (zeroPad) {
        size_t sign = !text.empty() && text[0] == '-' ? 1 : 0;
        return text.substr(0, sign) + std::string(pad, '0') + text.substr(sign);
    }
    return std::string(pad, ' ') + text;
}

}  // namespace

std::string FormatMessageText(const std::string& format, std::initializer_list<MessageArgument> arguments)
{
    std::vector<const MessageArgument*> pending;
    for (const MessageArgument& argument : arguments)
        pending.push_back(&argument);
    size_t next = 0;
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        size_t start = i++;
        if (i < format.size() && format[i] == '%') {
            out += '%';
            continue;
        }
        bool zeroPad = false, leftAlign = false;
        for (; i < format.size() && (format[i] == '0' || format[i] == '-'); ++i)
            (format[i] == '0' ? zeroPad : leftAlign) = true;
        size_t width = 0;
        for (; i < format.size() && format[i] >= '0' && format[i] <= '9' && width < 1000; ++i)
            width = width * 10 + static_cast<size_t>(format[i] - '0');
        bool limited = false;
        size_t precision = 0;
        if (i < format.size() && format[i] == '.') {
            limited = true;
            for (++i; i < format.size() && format[i] >= '0' && format[i] <= '9' && precision < 1000; ++i)
                precision = precision * 10 + static_cast<size_t>(format[i] - '0');
        }
        while (i < format.size() && (format[i] == 'h' || format[i] == 'l'))
            ++i;
        if (i >= format.size()) {
            // An unfinished conversion at the end is shown as written.
            out += format.substr(start);
            break;
        }
        char conversion = format[i];
        bool known = conversion == 's' || conversion == 'x' || conversion == 'X' || conversion == 'u' || conversion == 'd';
        if (!known) {
            // Not a conversion of ours: shown as written, and it takes no argument.
            out += format.substr(start, i - start + 1);
            continue;
        }
        const MessageArgument* argument = next < pending.size() ? pending[next++] : nullptr;
        if (conversion == 's') {
            if (argument && argument->kind == MessageArgument::TEXT) {
                const std::string& text = argument->text;
                out += limited ? text.substr(0, CharactersPrefix(text, precision)) : text;
            }
        } else if (argument && argument->kind == MessageArgument::NUMBER) {
            out += FormatNumber(argument->number, conversion, zeroPad, leftAlign, width);
        }
    }
    return out;
}
