#include "base/JsonWriter.h"

#include <cstdio>

JsonWriter::JsonWriter(char* text, size_t size) : out(text), room(size)
{
    if (room > 0)
        out[0] = '\0';
    else
        fits = false;
}

JsonWriter& JsonWriter::Raw(const char* text)
{
    for (; *text != '\0'; ++text)
        Char(*text);
    return *this;
}

JsonWriter& JsonWriter::Key(const char* key)
{
    return Raw(used > 1 ? ",\"" : "\"").Raw(key).Raw("\":");
}

JsonWriter& JsonWriter::Int(const char* key, long long value)
{
    char digits[24];
    std::snprintf(digits, sizeof digits, "%lld", value);
    return Key(key).Raw(digits);
}

JsonWriter& JsonWriter::Bool(const char* key, bool value)
{
    return Key(key).Raw(value ? "true" : "false");
}

JsonWriter& JsonWriter::Null(const char* key)
{
    return Key(key).Raw("null");
}

JsonWriter& JsonWriter::String(const char* key, const char* value)
{
    Key(key).Raw("\"");
    for (; *value != '\0'; ++value)
        Unit(static_cast<unsigned char>(*value));
    return Raw("\"");
}

JsonWriter& JsonWriter::String16(const char* key, const char16_t* value)
{
    Key(key).Raw("\"");
    for (; *value != u'\0'; ++value)
        Unit(*value);
    return Raw("\"");
}

size_t JsonWriter::Used() const
{
    return used;
}

void JsonWriter::Unit(unsigned int unit)
{
    if (unit == '"' || unit == '\\') {
        Char('\\');
        Char(static_cast<char>(unit));
        return;
    }
    if (unit >= 0x20 && unit < 0x7f) {
        Char(static_cast<char>(unit));
        return;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", unit & 0xffffu);
    Raw(escaped);
}

void JsonWriter::Char(char c)
{
    if (used + 1 >= room) {
        fits = false;
        return;
    }
    out[used++] = c;
    out[used] = '\0';
}
