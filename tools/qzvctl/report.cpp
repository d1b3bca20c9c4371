// The report tree and its text and JSON renderings.
#include "report.h"

#include <cstdio>

namespace {

const char HEX_DIGITS[] = "0123456789abcdef";

std::string HexString(const std::vector<uint8_t>& bytes, const char* separator)
{
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += separator;
        text += HEX_DIGITS[bytes[i] >> 4];
        text += HEX_DIGITS[bytes[i] & 0xF];
    }
    return text;
}

std::string JsonString(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

bool IsScalar(const Report& value)
{
    return value.GetKind() != Report::LIST && value.GetKind() != Report::OBJECT && value.GetKind() != Report::DUMP;
}

std::string ScalarText(const Report& value)
{
    switch (value.GetKind()) {
    case Report::NUMBER:
        return std::to_string(value.NumberValue());
    case Report::TEXT:
        return value.TextValue();
    case Report::BOOLEAN:
        return value.NumberValue() ? "yes" : "no";
    case Report::BYTES:
        return HexString(value.BytesValue(), " ");
    case Report::NONE:
        return "-";
    default:
        return std::string();
    }
}

}  // namespace

std::string Report::HexText(uint64_t value, int digits)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

Report Report::Number(uint64_t value)
{
    Report report;
    report.m_kind = NUMBER;
    report.m_number = value;
    return report;
}

Report Report::Hex(uint64_t value, int digits)
{
    Report report = Number(value);
    report.m_kind = HEX;
    report.m_digits = digits;
    return report;
}

Report Report::Text(const std::string& text)
{
    Report report;
    report.m_kind = TEXT;
    report.m_text = text;
    return report;
}

Report Report::Boolean(bool value)
{
    Report report = Number(value ? 1 : 0);
    report.m_kind = BOOLEAN;
    return report;
}

Report Report::None()
{
    Report report;
    report.m_kind = NONE;
    return report;
}

Report Report::Bytes(const std::vector<uint8_t>& bytes)
{
    Report report;
    report.m_kind = BYTES;
    report.m_bytes = bytes;
    return report;
}

Report Report::Dump(const std::vector<uint8_t>& bytes, uint64_t address)
{
    Report report = Bytes(bytes);
    report.m_kind = DUMP;
    report.m_number = address;
    return report;
}

Report Report::List()
{
    Report report;
    report.m_kind = LIST;
    return report;
}

Report Report::Object()
{
    return Report();
}

Report& Report::Add(const std::string& name, const Report& value)
{
    m_fields.emplace_back(name, value);
    return m_fields.back().second;
}

Report& Report::Append(const Report& value)
{
    m_items.push_back(value);
    return m_items.back();
}

const Report* Report::Field(const std::string& name) const
{
    for (const auto& field : m_fields) {
        if (field.first == name)
            return &field.second;
    }
    return nullptr;
}

std::string HexDump(const std::vector<uint8_t>& bytes, uint64_t address)
{
    std::string text;
    for (size_t line = 0; line < bytes.size(); line += 16) {
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, "%08llx ", static_cast<unsigned long long>(address + line));
        text += prefix;
        std::string printable;
        for (size_t i = line; i < line + 16; ++i) {
            if (i < bytes.size()) {
                text += ' ';
                text += HEX_DIGITS[bytes[i] >> 4];
                text += HEX_DIGITS[bytes[i] & 0xF];
                printable += bytes[i] >= 0x20 && bytes[i] < 0x7F ? char(bytes[i]) : '.';
            } else {
                text += "   ";
            }
        }
        text += "  |" + printable + "|\n";
    }
    return text;
}

void RenderText(const Report& report, int indent, std::string* out)
{
    const std::string pad(size_t(indent), ' ');
    if (report.m_kind == Report::OBJECT) {
        for (const auto& field : report.m_fields) {
            const Report& value = field.second;
            if (value.m_kind == Report::HEX) {
                *out += pad + field.first + ": " + Report::HexText(value.m_number, value.m_digits) + "\n";
            } else if (IsScalar(value)) {
                *out += pad + field.first + ": " + ScalarText(value) + "\n";
            } else {
                *out += pad + field.first + ":\n";
                RenderText(value, indent + 2, out);
            }
        }
    } else if (report.m_kind == Report::LIST) {
        for (const Report& item : report.m_items) {
            std::string rendered;
            RenderText(item, indent + 2, &rendered);
            if (rendered.size() >= size_t(indent) + 2)
                rendered.replace(size_t(indent), 2, "- ");
            *out += rendered;
        }
    } else if (report.m_kind == Report::DUMP) {
        std::string dump = HexDump(report.m_bytes, report.m_number);
        for (size_t start = 0; start < dump.size();) {
            const size_t end = dump.find('\n', start);
            *out += pad + dump.substr(start, end - start + 1);
            start = end + 1;
        }
    } else if (report.m_kind == Report::HEX) {
        *out += pad + Report::HexText(report.m_number, report.m_digits) + "\n";
    } else {
        *out += pad + ScalarText(report) + "\n";
    }
}

void RenderJson(const Report& report, std::string* out)
{
    switch (report.m_kind) {
    case Report::NUMBER:
    case Report::HEX:
        *out += std::to_string(report.m_number);
        break;
    case Report::TEXT:
        *out += JsonString(report.m_text);
        break;
    case Report::BOOLEAN:
        *out += report.m_number ? "true" : "false";
        break;
    case Report::NONE:
        *out += "null";
        break;
    case Report::BYTES:
    case Report::DUMP:
        *out += JsonString(HexString(report.m_bytes, ""));
        break;
    case Report::LIST:
        *out += "[";
        for (size_t i = 0; i < report.m_items.size(); ++i) {
            if (i > 0)
                *out += ",";
            RenderJson(report.m_items[i], out);
        }
        *out += "]";
        break;
    case Report::OBJECT:
        *out += "{";
        for (size_t i = 0; i < report.m_fields.size(); ++i) {
            if (i > 0)
                *out += ",";
            *out += JsonString(report.m_fields[i].first) + ":";
            RenderJson(report.m_fields[i].second, out);
        }
        *out += "}";
        break;
    }
}

std::string ReportText(const Report& report)
{
    std::string out;
    RenderText(report, 0, &out);
    return out;
}

std::string ReportJson(const Report& report)
{
    std::string out;
    RenderJson(report, &out);
    return out;
}
