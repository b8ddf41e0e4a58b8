// The string tables as res/Strings.rc writes them, with the ids of res/resource.h, for the unit
// tests that compose what the user reads in every language; and UTF-8 to compare the results.
#pragma once

#include "base/TextTable.h"

#include <map>
#include <memory>
#include <string>

struct SourceTable {
    std::map<int, std::u16string> texts;
    TextTable table{};
};

// One language's table; language as its LANGUAGE line names it ("LANG_GERMAN").
std::unique_ptr<SourceTable> ReadTable(const std::string& language);
const TextTable& English();
std::string Utf8(const char16_t* text);
