// The standard Save As dialog for the history's export: a CSV file, a row a minute or (the
// second type offered) a row a day. comdlg32 is loaded from the system directory at the first
// use, never found beside the program.
#pragma once

#include "base/TextTable.h"

#include <windows.h>

// Asks for the file (path, size characters); false when the user cancels or the dialog cannot
// be shown. days says the user chose a row a day.
bool AskExportFile(HWND owner, const TextTable& words, wchar_t* path, size_t size, bool& days);
