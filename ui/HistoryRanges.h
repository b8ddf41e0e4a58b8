// The history window's ranges over the history kept across runs, laid out without the platform:
// "7 d", the week's minutes as the 24 h range draws the day's (a column per pixel from the
// lowest to the highest temperature, the throttle band below, a label for each day), and
// "Days", the last 90 days (each day's peak as a line, the minutes it lowered the cap as bars),
// with the line that sums up the last 30 days and how their peaks moved against the 30 before.
#pragma once

#include "base/HistoryStore.h"
#include "base/TextTable.h"
#include "ui/HistoryGraph.h"

#include <cstddef>
#include <cstdint>

// The two ranges' codes, as the window's range (in minutes, as the others count).
const int32_t HISTORY_WEEK = WEEK_MINUTES;
const int32_t HISTORY_DAYS_SHOWN = 90;
const int32_t HISTORY_BY_DAY = HISTORY_DAYS_SHOWN * MINUTES_A_DAY;
// Every range the window offers, in the order it shows them: 30 min, 24 h, 7 d, Days.
const int HISTORY_RANGE_COUNT = 4;
const int32_t HISTORY_RANGES[HISTORY_RANGE_COUNT] = {30, 24 * 60, HISTORY_WEEK, HISTORY_BY_DAY};
bool IsHistoryRange(int32_t minutes);
// The range step ranges on from range (-1 the one before, 1 the one after; past the ends, the
// end), among the first count; wrap: past the last, the first.
int32_t SteppedRange(int32_t range, int step, int count, bool wrap);

// The days summed up, and the days before them that they are compared with.
const int32_t SUMMARY_DAYS = 30;

// The week up to the UTC minute now.
void LayOutWeek(const GraphInput& input, const HistoryStore& store, int32_t nowMinute,
                HistoryGraph& graph);
// The 90 local days up to today; the bars rise to the plot's top for the day that lowered
// longest (at least an hour).
void LayOutDays(const GraphInput& input, const HistoryStore& store, int32_t today,
                HistoryGraph& graph);

// The totals of the days summed up.
struct DaysSummary {
    // Days held with a run, days that lowered, and the minutes lowered in all.
    int32_t daysRun;
    int32_t daysLowered;
    int32_t minutesLowered;
    // The highest peak; DAY_NO_PEAK before any.
    int32_t peak;
    // The rounded difference of the mean daily peak against the 30 days before; compared only
    // where both hold a peak.
    bool compared;
    int32_t peakChange;
};

DaysSummary SumUpDays(const HistoryStore& store, int32_t today);
// "Last 30 days: lowered on 12 days, 5 h 20 min in all, peak 96 °C; the peaks rose 4 °C since
// the 30 days before", in the user's language and number format, cut to fit.
void ComposeDaysSummary(char16_t* text, size_t size, const DaysSummary& days,
                        const TextTable& words);
