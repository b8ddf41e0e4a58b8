#include "base/TextTable.h"

#include "base/TextWriter.h"

const char16_t* TextTable::operator[](int id) const
{
    const int index = id - IDS_FIRST;
    if (index < 0 || index >= TEXT_COUNT || texts[index] == nullptr)
        return u"";
    return texts[index];
}

void TextTable::Number(long long number, char16_t* text) const
{
    if (formatNumber == nullptr || !formatNumber(number, text))
        TextWriter(text, NUMBER_SIZE).AddNumber(number);
}
