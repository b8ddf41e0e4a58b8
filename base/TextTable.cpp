#include "base/TextTable.h"

const char16_t* TextTable::operator[](int id) const
{
    const int index = id - IDS_FIRST;
    if (index < 0 || index >= TEXT_COUNT || texts[index] == nullptr)
        return u"";
    return texts[index];
}
