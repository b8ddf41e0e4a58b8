// The line over the day at a glance: "Today: lowered 3 times, 14 min in all, peak 94 °C", from
// today's totals, in the user's language and number format. Platform-free.
#pragma once

#include "base/TextTable.h"
#include "ui/DayRing.h"

#include <cstddef>

// Writes the summary into text (size characters, at least 1), cut to fit. A lowering of part of
// a minute counts as a minute, so that a lowering is never said to have taken "0 min"; the peak
// is "--" before any reading today.
void ComposeDaySummary(char16_t* text, size_t size, const DayTotals& today, const TextTable& words);
