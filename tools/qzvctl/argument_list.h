// The tool's command line: options ("--name" or "--name value", anywhere on the line) and the
// positional words in their order. Every option must be one the tool knows, and numbers are read
// strictly, so that a typing mistake ends in a clear message rather than a command on the unit.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

class ArgumentList {
public:
    // `flags` take no value, `valued` take the next word as their value. False with a message for an
    // unknown option, an option without its value, or an option given twice.
    bool Parse(const std::vector<std::string>& words, const std::set<std::string>& flags,
               const std::set<std::string>& valued, std::string* error);

    bool Has(const std::string& option) const;
    // The value of a valued option, or `fallback` when it was not given.
    std::string Value(const std::string& option, const std::string& fallback = std::string()) const;
    const std::vector<std::string>& Positional() const { return m_positional; }
    // Every option given, flags and valued ones.
    std::vector<std::string> Options() const;

private:
    std::set<std::string> m_flags;
    std::map<std::string, std::string> m_values;
    std::vector<std::string> m_positional;
};

// A number written in decimal or, after "0x"/"0X", in hexadecimal: digits only, no sign, no blanks,
// nothing after it, and at most `max`. False with a message that names `what` otherwise.
bool ParseNumber(const std::string& text, uint64_t max, const std::string& what, uint64_t* value, std::string* error);

// Bytes written as hexadecimal pairs ("0a1B2c"); blanks, ':' and '-' between pairs are allowed.
bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes, std::string* error);
