// The identifier of a power scheme, held without the platform's headers: the same 16 bytes, in
// the same layout, as the GUID that the power functions take. Its text form is the one the
// registry ledger uses as a value name: 36 characters, lower case, no braces.
#pragma once

#include <cstddef>
#include <cstdint>

struct SchemeId {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};

// Text form and its terminating zero.
const size_t SCHEME_ID_TEXT_SIZE = 37;

bool SameScheme(const SchemeId& a, const SchemeId& b);

// xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx, lower case.
void FormatSchemeId(const SchemeId& scheme, char text[SCHEME_ID_TEXT_SIZE]);

// Accepts exactly the form FormatSchemeId writes, in either case; false for anything else.
bool ParseSchemeId(const char* text, SchemeId& scheme);
