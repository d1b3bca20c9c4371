#include "sim/iscsi/iscsi_text.h"

#include <cstring>

namespace {

constexpr size_t MAX_KEY_LENGTH = 63;
constexpr size_t MAX_VALUE_LENGTH = 8192;

bool KeyCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '+' || c == '@' || c == '_' || c == '#';
}

}  // namespace

IscsiTextError IscsiParseText(const uint8_t* text, size_t length, std::vector<IscsiTextPair>* pairs)
{
    pairs->clear();
    const char* at = reinterpret_cast<const char*>(text);
    const char* end = at + length;
    while (at < end) {
        const void* nul = std::memchr(at, '\0', static_cast<size_t>(end - at));
        const char* stop = nul ? static_cast<const char*>(nul) : end;
        if (stop == at) {
            ++at;
            continue;
        }
        const void* equals = std::memchr(at, '=', static_cast<size_t>(stop - at));
        if (!equals)
            return IscsiTextError::NO_EQUALS;
        const char* split = static_cast<const char*>(equals);
        std::string key(at, split);
        if (key.empty() || key.size() > MAX_KEY_LENGTH)
            return IscsiTextError::BAD_KEY;
        for (char c : key) {
            if (!KeyCharacter(c))
                return IscsiTextError::BAD_KEY;
        }
        if (static_cast<size_t>(stop - split - 1) > MAX_VALUE_LENGTH)
            return IscsiTextError::LONG_VALUE;
        for (const IscsiTextPair& seen : *pairs) {
            if (seen.key == key)
                return IscsiTextError::REPEATED;
        }
        if (pairs->size() == ISCSI_MAX_TEXT_PAIRS)
            return IscsiTextError::TOO_MANY;
        pairs->push_back({std::move(key), std::string(split + 1, stop)});
        at = stop + 1;
    }
    return IscsiTextError::NONE;
}

void IscsiAppendPair(std::string* text, const std::string& key, const std::string& value)
{
    text->append(key);
    text->push_back('=');
    text->append(value);
    text->push_back('\0');
}
