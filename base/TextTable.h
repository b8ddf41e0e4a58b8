// The user-facing texts in the user's language, by string id (res/resource.h), handed to the
// pieces that compose what the user reads: they compose without the platform and without
// knowing the language.
#pragma once

#include "res/resource.h"

const int TEXT_COUNT = IDS_LAST - IDS_FIRST + 1;

struct TextTable {
    // Null where a text is missing.
    const char16_t* texts[TEXT_COUNT];

    // The text of id; empty for an id out of range or a missing text, never null.
    const char16_t* operator[](int id) const;
};
