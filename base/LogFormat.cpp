#include "base/LogFormat.h"

#include <cstdio>
#include <cstring>

namespace
{

const char kConversionFlags[] = "-+ #0";
const char kLengthModifiers[] = "hlLqjztI";
const char kConversions[] = "diouxXfFeEgGaAcspn";

bool IsOneOf(char c, const char* set)
{
    return c != '\0' && std::strchr(set, c) != nullptr;
}

// Returns the length of the longest prefix of text[0..length) that ends on a whole character
// or a whole conversion, so that a cut never leaves "%" or "%-0" or "%l" at the end.
size_t WholeConversionsPrefix(const char* text, size_t length)
{
    size_t i = 0;
    while (i < length) {
        if (text[i] != '%') {
            ++i;
            continue;
        }
        size_t start = i++;
        if (i < length && text[i] == '%') {
            ++i;
            continue;
        }
        while (i < length && IsOneOf(text[i], kConversionFlags))
            ++i;
        while (i < length && (text[i] == '*' || (text[i] >= '0' && text[i] <= '9')))
            ++i;
        if (i < length && text[i] == '.') {
            ++i;
            while (i < length && (text[i] == '*' || (text[i] >= '0' && text[i] <= '9')))
                ++i;
        }
        while (i < length && (IsOneOf(text[i], kLengthModifiers) || text[i] == '6' ||
                              text[i] == '4' || text[i] == '3' || text[i] == '2'))
            ++i;
        if (i >= length || !IsOneOf(text[i], kConversions))
            return start;
        ++i;
    }
    return length;
}

} // namespace

void ComposeLogFormat(char* out, size_t size, const LogStamp& stamp, const char* format)
{
    if (size == 0)
        return;
    int prefix = std::snprintf(out, size, "%02d/%02d/%02d %02d:%02d:%02d.%03d %04lu ",
                               stamp.year % 100, stamp.month, stamp.day, stamp.hour, stamp.minute,
                               stamp.second, stamp.millisecond, stamp.threadId);
    if (prefix < 0 || static_cast<size_t>(prefix) >= size) {
        out[size - 1] = '\0';
        return;
    }
    size_t room = size - 1 - static_cast<size_t>(prefix);
    size_t length = std::strlen(format);
    if (length > room)
        length = WholeConversionsPrefix(format, room);
    std::memcpy(out + prefix, format, length);
    out[prefix + length] = '\0';
}

void FormatLogEntry(char* out, size_t size, const char* composed, va_list args)
{
    if (size == 0)
        return;
    if (std::vsnprintf(out, size, composed, args) < 0)
        out[0] = '\0';
    out[size - 1] = '\0';
}

bool AppendToPath(char* path, size_t size, const char* name)
{
    size_t used = std::strlen(path);
    size_t needed = used + std::strlen(name) + 1;
    if (needed > size)
        return false;
    std::memcpy(path + used, name, needed - used);
    return true;
}
