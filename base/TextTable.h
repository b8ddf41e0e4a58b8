// The user-facing texts in the user's language, by string id (res/resource.h), handed to the
// pieces that compose what the user reads: they compose without the platform and without
// knowing the language.
#pragma once

#include "res/resource.h"

#include <cstddef>

const int TEXT_COUNT = IDS_LAST - IDS_FIRST + 1;

// Room for a whole number as any locale writes it, terminating zero included.
const size_t NUMBER_SIZE = 32;

// Writes number as the user's locale does into text (NUMBER_SIZE characters); false when it
// cannot.
typedef bool (*NumberFormat)(long long number, char16_t* text);

struct TextTable {
    // Null where a text is missing.
    const char16_t* texts[TEXT_COUNT];
    // Null for plain digits with a leading minus sign.
    NumberFormat formatNumber;

    // The text of id; empty for an id out of range or a missing text, never null.
    const char16_t* operator[](int id) const;
    // A whole number for the user: by formatNumber, else as plain digits.
    void Number(long long number, char16_t* text) const;
};
