// Strict reading of the tool's options, numbers and hexadecimal byte strings.
#include "argument_list.h"

namespace {

int DigitValue(char c, unsigned base)
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value >= 0 && unsigned(value) < base ? value : -1;
}

std::string HexLimit(uint64_t max)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[max & 0xF]);
        max >>= 4;
    } while (max != 0);
    return "0x" + text;
}

}  // namespace

bool ArgumentList::Parse(const std::vector<std::string>& words, const std::set<std::string>& flags,
                         const std::set<std::string>& valued, std::string* error)
{
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.size() < 3 || word.compare(0, 2, "--") != 0) {
            m_positional.push_back(word);
            continue;
        }
        if (m_flags.count(word) || m_values.count(word)) {
            *error = "option " + word + " given twice";
            return false;
        }
        if (flags.count(word)) {
            m_flags.insert(word);
        } else if (valued.count(word)) {
            if (i + 1 >= words.size()) {
                *error = "option " + word + " needs a value";
                return false;
            }
            m_values[word] = words[++i];
        } else {
            *error = "unknown option " + word;
            return false;
        }
    }
    return true;
}

bool ArgumentList::Has(const std::string& option) const
{
    return m_flags.count(option) != 0 || m_values.count(option) != 0;
}

std::string ArgumentList::Value(const std::string& option, const std::string& fallback) const
{
    const auto found = m_values.find(option);
    return found == m_values.end() ? fallback : found->second;
}

std::vector<std::string> ArgumentList::Options() const
{
    std::vector<std::string> options(m_flags.begin(), m_flags.end());
    for (const auto& value : m_values)
        options.push_back(value.first);
    return options;
}

bool ParseNumber(const std::string& text, uint64_t max, const std::string& what, uint64_t* value, std::string* error)
{
    unsigned base = 10;
    size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        start = 2;
    }
    bool valid = start < text.size();
    uint64_t result = 0;
    for (size_t i = start; valid && i < text.size(); ++i) {
        const int digit = DigitValue(text[i], base);
        if (digit < 0 || unsigned(digit) > max || result > (max - unsigned(digit)) / base) {
            valid = false;
            break;
        }
        result = result * base + unsigned(digit);
    }
    if (!valid) {
        *error = "bad " + what + " '" + text + "': expected a number from 0 to " + std::to_string(max) + " (" +
                 HexLimit(max) + "), in decimal or with 0x in hexadecimal";
        return false;
    }
    *value = result;
    return true;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes, std::string* error)
{
    bytes->clear();
    int high = -1;
    for (const char c : text) {
        if (high < 0 && (c == ' ' || c == ':' || c == '-'))
            continue;
        const int digit = DigitValue(c, 16);
        if (digit < 0) {
            *error = "bad byte string '" + text + "': expected pairs of hexadecimal digits";
            return false;
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes->push_back(uint8_t(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0 || bytes->empty()) {
        *error = "bad byte string '" + text + "': expected pairs of hexadecimal digits";
        return false;
    }
    return true;
}
