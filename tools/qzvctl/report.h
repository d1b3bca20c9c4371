// What a command found, as a small tree of values, shown either as text for a person or as JSON for
// a script. The commands build the tree; only the front end prints it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class Report {
public:
    enum Kind { NUMBER, HEX, TEXT, BOOLEAN, BYTES, DUMP, LIST, OBJECT, NONE };

    // "0x" and at least `digits` hexadecimal digits.
    static std::string HexText(uint64_t value, int digits = 8);

    static Report Number(uint64_t value);
    // A number shown in hexadecimal with at least `digits` digits (a number in JSON).
    static Report Hex(uint64_t value, int digits = 8);
    static Report Text(const std::string& text);
    static Report Boolean(bool value);
    // No value: null in JSON, "-" in text.
    static Report None();
    // Bytes on one line ("2a 00 00 ..."); a hexadecimal string in JSON.
    static Report Bytes(const std::vector<uint8_t>& bytes);
    // Bytes as a hex dump whose lines start at `address`; a hexadecimal string in JSON.
    static Report Dump(const std::vector<uint8_t>& bytes, uint64_t address);
    static Report List();
    static Report Object();

    // Adds a named field to an object, or an item to a list; returns the added value.
    Report& Add(const std::string& name, const Report& value);
    Report& Append(const Report& value);

    Kind GetKind() const { return m_kind; }
    // The field of an object with this name, or null.
    const Report* Field(const std::string& name) const;
    uint64_t NumberValue() const { return m_number; }
    const std::string& TextValue() const { return m_text; }
    const std::vector<uint8_t>& BytesValue() const { return m_bytes; }
    const std::vector<Report>& Items() const { return m_items; }
    const std::vector<std::pair<std::string, Report>>& Fields() const { return m_fields; }

private:
    friend void RenderText(const Report&, int, std::string*);
    friend void RenderJson(const Report&, std::string*);

    Kind m_kind = OBJECT;
    uint64_t m_number = 0;
    int m_digits = 0;
    std::string m_text;
    std::vector<uint8_t> m_bytes;
    std::vector<Report> m_items;
    std::vector<std::pair<std::string, Report>> m_fields;
};

// "name: value" lines, nested values indented by two blanks, list items after "- ".
std::string ReportText(const Report& report);
// One JSON value on one line.
std::string ReportJson(const Report& report);

// A hex dump: 16 bytes a line, the address, the bytes and their printable characters.
std::string HexDump(const std::vector<uint8_t>& bytes, uint64_t address);
