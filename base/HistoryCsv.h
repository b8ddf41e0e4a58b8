// The history as a spreadsheet opens it: UTF-8 with a byte-order mark, a header row, then one
// row for each minute of the week in which the program ran (its local time in ISO 8601 with the
// offset of that moment), or one row for each day held. The cells are separated by the list
// separator of the user's locale (handed in). Platform-free: the caller hands in the local
// offset of each minute.
#pragma once

#include "base/HistoryStore.h"

#include <cstddef>
#include <cstdint>

// Local time minus UTC in minutes at utcMinute, under the time zone's rules for that moment.
typedef int32_t (*LocalOffsetAt)(int32_t utcMinute, void* context);

struct HistoryCsvChoice {
    // One row a day instead of a minute.
    bool days;
    // The list separator, UTF-8, at most 3 bytes (',' or ';' mostly); empty means ','.
    char separator[4];
    LocalOffsetAt offsetAt;
    void* context;
};

// The bytes the text may take at most: the room to hand ComposeHistoryCsv.
size_t HistoryCsvBound(bool days);
// Writes the text into out (room bytes) and returns its size, or 0 when it does not fit.
size_t ComposeHistoryCsv(const HistoryStore& store, const HistoryCsvChoice& choice, char* out,
                         size_t room);
// The rows (beside the header) that the text holds.
int HistoryCsvRows(const HistoryStore& store, bool days);

// The civil date of a day counted from 1601-01-01 (day 0).
void CivilDate(int32_t day, int& year, int& month, int& dayOfMonth);
