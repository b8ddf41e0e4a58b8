// The history written as a CSV file that a spreadsheet on this machine opens: the text of
// HistoryCsv with the list separator of the user's locale (LOCALE_SLIST) and each minute's local
// time under the system time zone's rules for that moment.
#pragma once

#include "base/HistoryStore.h"

#include <windows.h>

// Writes store (a row a minute run, or with days a row a day) to path, replacing what is there:
// 0, or the error (ERROR_OUTOFMEMORY, or the file's; nothing is left of a file half written).
// rows gets the rows written beside the header.
DWORD ExportHistoryCsv(const HistoryStore& store, bool days, const wchar_t* path, int& rows);
