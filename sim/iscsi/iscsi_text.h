// Text keys as login and text PDUs carry them: "key=value" pairs, each ended by a NUL byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct IscsiTextPair {
    std::string key;
    std::string value;
};

enum class IscsiTextError {
    NONE,
    NO_EQUALS,      // a pair without '='
    BAD_KEY,        // an empty key, one longer than 63 bytes or with characters a key may not hold
    LONG_VALUE,     // a value longer than 8192 bytes
    REPEATED,       // the same key twice in one request
    TOO_MANY,       // more pairs than any request needs
};

constexpr size_t ISCSI_MAX_TEXT_PAIRS = 64;

// Splits `length` bytes of text into pairs. Empty strings between NULs (padding) are skipped; the
// last pair may lack its NUL.
IscsiTextError IscsiParseText(const uint8_t* text, size_t length, std::vector<IscsiTextPair>* pairs);

// Appends "key=value" and its NUL.
void IscsiAppendPair(std::string* text, const std::string& key, const std::string& value);
