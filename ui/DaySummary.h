// The line over the day at a glance: "Today: lowered 3 times, 14 min in all, peak 94 °C", from
// today's totals, in the user's language and number format. Platform-free.
#pragma once

#include "base/TextTable.h"
#include "base/TextWriter.h"
#include "ui/DayRing.h"

#include <cstddef>

// Writes the summary into text (size characters, at least 1), cut to fit. A lowering of part of
// a minute counts as a minute, so that a lowering is never said to have taken "0 min"; the peak
// is "--" before any reading today.
void ComposeDaySummary(char16_t* text, size_t size, const DayTotals& today, const TextTable& words);

// What the day's summary and the days' summary (HistoryRanges) say alike: the peak, "--" where
// there is none; and the pattern for no lowering, one, or many (patterns[0..2]), with the count,
// the duration and the peak as its inserts.
void ComposePeak(char16_t* peak, size_t size, bool known, int32_t celsius, const TextTable& words);
void AddLoweringsPattern(TextWriter& writer, long long times, const char16_t* duration,
                         const char16_t* peak, const int (&patterns)[3], const TextTable& words);
