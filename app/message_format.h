// printf-style formatting of the message texts, without trusting the texts: a conversion whose
// argument is missing or of the other kind prints nothing, so a text that does not match its use can
// never read a wrong argument. Understood: %% and %s (with h or l, precision in characters), and
// %x %X %u %d (with flags 0 and -, width and l). Texts and results are UTF-8.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

struct MessageArgument {
    enum Kind { TEXT, NUMBER };
    Kind kind;
    std::string text;
    uint32_t number;

    static MessageArgument Text(std::string value) { return {TEXT, std::move(value), 0}; }
    static MessageArgument Number(uint32_t value) { return {NUMBER, std::string(), value}; }
};

std::string FormatMessageText(const std::string& format, std::initializer_list<MessageArgument> arguments);
