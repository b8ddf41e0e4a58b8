// One JSON object written into a fixed buffer: keys and values appended in order, text escaped
// so that the object is valid whatever the text holds. What does not fit is left out and fits
// says so; the buffer always holds a terminated string.
#pragma once

#include <cstddef>

class JsonWriter
{
  public:
    JsonWriter(char* text, size_t size);
    // False once something did not fit.
    bool fits = true;

    // Text as it is: the braces, and values already written as JSON.
    JsonWriter& Raw(const char* text);
    // "key": after a comma where something came before.
    JsonWriter& Key(const char* key);
    JsonWriter& Int(const char* key, long long value);
    JsonWriter& Bool(const char* key, bool value);
    JsonWriter& Null(const char* key);
    // Quotes, backslashes and everything but printable ASCII escaped; a byte of a narrow text
    // beyond ASCII goes out as the character of that number, never as a broken sequence.
    JsonWriter& String(const char* key, const char* value);
    JsonWriter& String16(const char* key, const char16_t* value);
    size_t Used() const;

  private:
    void Unit(unsigned int unit);
    void Char(char c);

    char* out;
    size_t room;
    size_t used = 0;
};
