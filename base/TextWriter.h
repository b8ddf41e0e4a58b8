// UTF-16 text composed into a fixed buffer without the platform, for the tooltip and the menu
// items: what does not fit is cut, and the text always stays terminated.
#pragma once

#include <cstddef>

class TextWriter
{
  public:
    // size is the buffer's length in characters, at least 1.
    TextWriter(char16_t* text, size_t size);

    TextWriter& Add(const char16_t* text);
    // Zone names are ASCII (ACPI names); other bytes are shown as '?' rather than misread.
    TextWriter& AddAscii(const char* text);
    TextWriter& AddNumber(long long number, const char* format = "%lld");
    // A translated pattern: "%1" to "%9" stand for inserts[0] to inserts[8] (an insert that was
    // not handed in stands for nothing), "%%" for a percent sign; any other character as it is.
    TextWriter& AddPattern(const char16_t* pattern, const char16_t* const* inserts, int count);

  private:
    void AddChar(char16_t c);

    char16_t* out;
    size_t room;
    size_t used;
};
