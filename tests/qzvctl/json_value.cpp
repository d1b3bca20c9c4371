// The test's JSON reader: RFC 8259 values, strings with their escapes (as UTF-8).
#include "json_value.h"

#include <cstdlib>
#include <cstring>

namespace {

class Reader {
public:
    explicit Reader(const std::string& text) : m_text(text) {}

    bool Document(JsonValue* value, std::string* error)
    {
        if (!Value(value) || (Blanks(), m_at != m_text.size())) {
            *error = (m_error.empty() ? "text after the value" : m_error) + " at offset " + std::to_string(m_at);
            return false;
        }
        return true;
    }

private:
    void Blanks()
    {
        while (m_at < m_text.size() && std::strchr(" \t\r\n", m_text[m_at]) && m_text[m_at] != '\0')
            ++m_at;
    }

    bool Fail(const char* why)
    {
        m_error = why;
        return false;
    }

    bool Literal(const char* word)
    {
        const size_t length = std::strlen(word);
        if (m_text.compare(m_at, length, word) != 0)
            return Fail("unknown literal");
        m_at += length;
        return true;
    }

    bool Value(JsonValue* value)
    {
        Blanks();
        if (m_at >= m_text.size())
            return Fail("missing value");
        const char c = m_text[m_at];
        if (c == '{')
            return Object(value);
        if (c == '[')
            return Array(value);
        if (c == '"') {
            value->kind = JsonValue::STRING;
            return String(&value->text);
        }
        if (c == 't' || c == 'f') {
            value->kind = JsonValue::BOOLEAN;
            value->boolean = c == 't';
            return Literal(c == 't' ? "true" : "false");
        }
        if (c == 'n')
            return Literal("null");
        return Number(value);
    }

    bool Number(JsonValue* value)
    {
        const size_t start = m_at;
        if (m_text[m_at] == '-')
            ++m_at;
        if (m_at >= m_text.size() || m_text[m_at] < '0' || m_text[m_at] > '9')
            return Fail("bad number");
        if (m_text[m_at] == '0' && m_at + 1 < m_text.size() && m_text[m_at + 1] >= '0' && m_text[m_at + 1] <= '9')
            return Fail("number with a leading zero");
        while (m_at < m_text.size() && std::strchr("0123456789.eE+-", m_text[m_at]) && m_text[m_at] != '\0')
            ++m_at;
        value->kind = JsonValue::NUMBER;
        value->number = std::strtod(m_text.substr(start, m_at - start).c_str(), nullptr);
        return true;
    }

    void AppendUtf8(unsigned code, std::string* out)
    {
        if (code < 0x80) {
            *out += char(code);
        } else if (code < 0x800) {
            *out += char(0xC0 | code >> 6);
            *out += char(0x80 | (code & 0x3F));
        } else {
            *out += char(0xE0 | code >> 12);
            *out += char(0x80 | (code >> 6 & 0x3F));
            *out += char(0x80 | (code & 0x3F));
        }
    }

    bool String(std::string* out)
    {
        ++m_at;
        while (m_at < m_text.size() && m_text[m_at] != '"') {
            const unsigned char c = static_cast<unsigned char>(m_text[m_at++]);
            if (c < 0x20)
                return Fail("control character in a string");
            if (c != '\\') {
                *out += char(c);
                continue;
            }
            if (m_at >= m_text.size())
                return Fail("string ends in an escape");
            const char escape = m_text[m_at++];
            const char* simple = std::strchr("\"\\/bfnrt", escape);
            if (simple && escape != '\0') {
                *out += "\"\\/\b\f\n\r\t"[simple - "\"\\/bfnrt"];
            } else if (escape == 'u' && m_at + 4 <= m_text.size()) {
                char* end = nullptr;
                const std::string digits = m_text.substr(m_at, 4);
                const unsigned long code = std::strtoul(digits.c_str(), &end, 16);
                if (end != digits.c_str() + 4)
                    return Fail("bad \\u escape");
                AppendUtf8(unsigned(code), out);
                m_at += 4;
            } else {
                return Fail("unknown escape");
            }
        }
        if (m_at >= m_text.size())
            return Fail("unterminated string");
        ++m_at;
        return true;
    }

    bool Array(JsonValue* value)
    {
        value->kind = JsonValue::ARRAY;
        ++m_at;
        Blanks();
        if (m_at < m_text.size() && m_text[m_at] == ']') {
            ++m_at;
            return true;
        }
        for (;;) {
            value->items.emplace_back();
            if (!Value(&value->items.back()))
                return false;
            Blanks();
            if (m_at < m_text.size() && m_text[m_at] == ',') {
                ++m_at;
                continue;
            }
            if (m_at < m_text.size() && m_text[m_at] == ']') {
                ++m_at;
                return true;
            }
            return Fail("expected , or ]");
        }
    }

    bool Object(JsonValue* value)
    {
        value->kind = JsonValue::OBJECT;
        ++m_at;
        Blanks();
        if (m_at < m_text.size() && m_text[m_at] == '}') {
            ++m_at;
            return true;
        }
        for (;;) {
            Blanks();
            std::string name;
            if (m_at >= m_text.size() || m_text[m_at] != '"' || !String(&name))
                return Fail("expected a field name");
            if (value->Has(name))
                return Fail("field given twice");
            Blanks();
            if (m_at >= m_text.size() || m_text[m_at++] != ':')
                return Fail("expected :");
            value->fields.emplace_back(name, JsonValue());
            if (!Value(&value->fields.back().second))
                return false;
            Blanks();
            if (m_at < m_text.size() && m_text[m_at] == ',') {
                ++m_at;
                continue;
            }
            if (m_at < m_text.size() && m_text[m_at] == '}') {
                ++m_at;
                return true;
            }
            return Fail("expected , or }");
        }
    }

    const std::string& m_text;
    size_t m_at = 0;
    std::string m_error;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& name) const
{
    static const JsonValue none;
    for (const auto& field : fields)
        if (field.first == name)
            return field.second;
    return none;
}

bool JsonValue::Has(const std::string& name) const
{
    for (const auto& field : fields)
        if (field.first == name)
            return true;
    return false;
}

bool ParseJson(const std::string& text, JsonValue* value, std::string* error)
{
    *value = JsonValue();
    return Reader(text).Document(value, error);
}
