#include "base/TextWriter.h"

#include <cstdio>

TextWriter::TextWriter(char16_t* text, size_t size) : out(text), room(size), used(0)
{
    out[0] = u'\0';
}

TextWriter& TextWriter::Add(const char16_t* text)
{
    while (*text != u'\0' && used + 1 < room)
        out[used++] = *text++;
    out[used] = u'\0';
    return *this;
}

TextWriter& TextWriter::AddAscii(const char* text)
{
    while (*text != '\0' && used + 1 < room) {
        unsigned char c = static_cast<unsigned char>(*text++);
        out[used++] = c < 0x80 ? static_cast<char16_t>(c) : u'?';
    }
    out[used] = u'\0';
    return *this;
}

TextWriter& TextWriter::AddNumber(long long number, const char* format)
{
    char digits[24];
    std::snprintf(digits, sizeof digits, format, number);
    return AddAscii(digits);
}

void TextWriter::AddChar(char16_t c)
{
    if (used + 1 < room)
        out[used++] = c;
    out[used] = u'\0';
}

TextWriter& TextWriter::AddPattern(const char16_t* pattern, const char16_t* const* inserts,
                                   int count)
{
    for (; *pattern != u'\0'; ++pattern) {
        if (pattern[0] != u'%' || pattern[1] == u'\0') {
            AddChar(pattern[0]);
            continue;
        }
        ++pattern;
        const int index = *pattern - u'1';
        if (*pattern == u'%')
            AddChar(u'%');
        else if (index >= 0 && index < 9 && index < count && inserts[index] != nullptr)
            Add(inserts[index]);
        else if (index < 0 || index >= 9) {
            AddChar(u'%');
            AddChar(*pattern);
        }
    }
    return *this;
}
