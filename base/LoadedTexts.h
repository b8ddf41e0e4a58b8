// The program's string tables read in the user's UI language: each text from the table of that
// language, else of its primary language (German for Swiss German; the simplified Chinese table
// for every locale that writes simplified Chinese), else English. Loaded once at
// start on the main thread; the texts live as long as the object.
#pragma once

#include "base/TextTable.h"

#include <windows.h>

// Room for every text of one language, terminating zeros included (the longest, French, takes
// some 750 characters).
const int LOADED_TEXTS_SIZE = 4096;

class LoadedTexts
{
  public:
    TextTable table;

    // Loads every text of module for the language wanted (0: the user's UI language). A text
    // missing in every table stays empty, and the log says so.
    void Load(HMODULE module, LANGID wanted);
    void Release();

  private:
    char16_t pool[LOADED_TEXTS_SIZE];
    int used;
};

// Writes number whole as locale writes it (its grouping of digits and their separator, its form
// of a negative number) into text (NUMBER_SIZE characters); false when it cannot. The texts'
// table formats its numbers so for the user's locale.
bool LocaleNumber(LCID locale, long long number, char16_t* text);

// The text of id in the string table of exactly that language: its characters (not terminated)
// and length. False where the table or the text is missing.
bool FindTableText(HMODULE module, int id, LANGID language, const wchar_t** text, int* length);
