// A small JSON reader for the tests: the tool's output must be one well-formed JSON value, and the
// tests read its fields rather than search its text.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct JsonValue {
    enum Kind { NUL, BOOLEAN, NUMBER, STRING, ARRAY, OBJECT };
    Kind kind = NUL;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> fields;

    // The field of an object, or a null value when there is none.
    const JsonValue& operator[](const std::string& name) const;
    bool Has(const std::string& name) const;
    bool IsNull() const { return kind == NUL; }
    uint64_t Unsigned() const { return static_cast<uint64_t>(number); }
};

// Reads exactly one value, with nothing but white space after it. False with the reason otherwise.
bool ParseJson(const std::string& text, JsonValue* value, std::string* error);
