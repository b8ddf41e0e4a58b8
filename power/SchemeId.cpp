#include "power/SchemeId.h"

#include <cstdio>
#include <cstring>

namespace
{

// Positions of the dashes in the text form.
bool IsDashAt(size_t i)
{
    return i == 8 || i == 13 || i == 18 || i == 23;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool SameScheme(const SchemeId& a, const SchemeId& b)
{
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

void FormatSchemeId(const SchemeId& s, char text[SCHEME_ID_TEXT_SIZE])
{
    std::snprintf(text, SCHEME_ID_TEXT_SIZE, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  static_cast<unsigned long>(s.data1), s.data2, s.data3, s.data4[0], s.data4[1],
                  s.data4[2], s.data4[3], s.data4[4], s.data4[5], s.data4[6], s.data4[7]);
}

bool ParseSchemeId(const char* text, SchemeId& scheme)
{
    // The 32 hexadecimal digits in order, dashes skipped.
    uint8_t digits[32];
    size_t count = 0;
    for (size_t i = 0; i < SCHEME_ID_TEXT_SIZE - 1; ++i) {
        if (text[i] == '\0')
            return false;
        if (IsDashAt(i)) {
            if (text[i] != '-')
                return false;
            continue;
        }
        int digit = HexDigit(text[i]);
        if (digit < 0)
            return false;
        digits[count++] = static_cast<uint8_t>(digit);
    }
    if (text[SCHEME_ID_TEXT_SIZE - 1] != '\0')
        return false;
    SchemeId parsed = {};
    for (size_t i = 0; i < 8; ++i)
        parsed.data1 = parsed.data1 << 4 | digits[i];
    for (size_t i = 8; i < 12; ++i)
        parsed.data2 = static_cast<uint16_t>(parsed.data2 << 4 | digits[i]);
    for (size_t i = 12; i < 16; ++i)
        parsed.data3 = static_cast<uint16_t>(parsed.data3 << 4 | digits[i]);
    for (size_t i = 0; i < 8; ++i)
        parsed.data4[i] = static_cast<uint8_t>(digits[16 + 2 * i] << 4 | digits[17 + 2 * i]);
    scheme = parsed;
    return true;
}
