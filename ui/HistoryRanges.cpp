#include "ui/HistoryRanges.h"

#include "base/TextWriter.h"
#include "res/resource.h"
#include "ui/DayGraph.h"
#include "ui/DaySummary.h"
#include "ui/TrayTooltip.h"

#include <algorithm>

namespace
{

const size_t PIECE_SIZE = 40;
// The bars' scale: the longest lowering shown, but at least an hour.
const int32_t BAR_FLOOR_MINUTES = 60;

int32_t DayX(const HistoryGraph& graph, int32_t daysAgo)
{
    return MinutesAgoX(graph, daysAgo * MINUTES_A_DAY);
}

// Whether the store holds a day with a good reading, and its peak.
bool PeakOf(const HistoryStore& store, int32_t day, int32_t& peak)
{
    const YearDay* held = store.DayAt(day);
    if (held == nullptr || held->peak == DAY_NO_PEAK)
        return false;
    peak = held->peak;
    return true;
}

} // namespace

bool IsHistoryRange(int32_t minutes)
{
    return std::find(HISTORY_RANGES, HISTORY_RANGES + HISTORY_RANGE_COUNT, minutes) !=
           HISTORY_RANGES + HISTORY_RANGE_COUNT;
}

int32_t SteppedRange(int32_t range, int step, int count, bool wrap)
{
    int at =
        static_cast<int>(std::find(HISTORY_RANGES, HISTORY_RANGES + count, range) - HISTORY_RANGES);
    at = at >= count ? 0 : at + step;
    if (wrap)
        at = (at % count + count) % count;
    return HISTORY_RANGES[std::min(std::max(at, 0), count - 1)];
}

void LayOutWeek(const GraphInput& input, const HistoryStore& store, int32_t nowMinute,
                HistoryGraph& graph)
{
    BeginLayout(input, graph);
    graph.spanMinutes = HISTORY_WEEK;
    graph.tickMinutes = MINUTES_A_DAY;
    int32_t low = input.throttleAt, high = input.throttleAt;
    for (int32_t ago = 0; ago < WEEK_MINUTES; ++ago) {
        const WeekMinute* minute = store.MinuteAt(nowMinute - ago);
        if (minute != nullptr && (minute->flags & MINUTE_READING) != 0) {
            low = std::min<int32_t>(low, minute->low);
            high = std::max<int32_t>(high, minute->high);
        }
    }
    ChooseTemperatureScale(input, low, high, graph);
    // Oldest first, so that minutes on the same pixel merge into one column.
    for (int32_t ago = WEEK_MINUTES - 1; ago >= 0; --ago) {
        const WeekMinute* minute = store.MinuteAt(nowMinute - ago);
        if (minute == nullptr || (minute->flags & MINUTE_RAN) == 0)
            continue;
        const int32_t left = MinutesAgoX(graph, ago + 1);
        const int32_t right = MinutesAgoX(graph, ago);
        const bool paused = (minute->flags & MINUTE_PAUSED) != 0;
        AddBandSegment(graph, left, right + 1, paused ? 3 : minute->mode);
        if ((minute->flags & MINUTE_READING) != 0)
            AddDayColumn(graph, left, right, TemperatureY(graph, minute->high),
                         TemperatureY(graph, minute->low));
    }
}

void LayOutDays(const GraphInput& input, const HistoryStore& store, int32_t today,
                HistoryGraph& graph)
{
    BeginLayout(input, graph);
    graph.spanMinutes = HISTORY_BY_DAY;
    graph.tickMinutes = SUMMARY_DAYS * MINUTES_A_DAY;
    int32_t low = input.throttleAt, high = input.throttleAt, longest = BAR_FLOOR_MINUTES;
    for (int32_t ago = 0; ago < HISTORY_DAYS_SHOWN; ++ago) {
        int32_t peak = 0;
        if (PeakOf(store, today - ago, peak)) {
            low = std::min(low, peak);
            high = std::max(high, peak);
        }
        if (const YearDay* day = store.DayAt(today - ago))
            longest = std::max<int32_t>(longest, day->minutesLowered);
    }
    ChooseTemperatureScale(input, low, high, graph);
    GraphLine& line = graph.temperature;
    const int32_t plotHeight = graph.plot.bottom - graph.plot.top;
    for (int32_t ago = HISTORY_DAYS_SHOWN - 1; ago >= 0; --ago) {
        // Today ends at now: its column is the last one, as wide as the others.
        const int32_t left = DayX(graph, ago + 1);
        const int32_t right = std::max(DayX(graph, ago), left + 1);
        const YearDay* day = store.DayAt(today - ago);
        if (day != nullptr && day->minutesLowered > 0) {
            const int32_t height = std::max<int32_t>(
                1, static_cast<int32_t>(int64_t(day->minutesLowered) * plotHeight / longest));
            AddDayColumn(graph, left + (right - left) / 4, right - (right - left) / 4,
                         graph.plot.bottom - height, graph.plot.bottom - 1);
        }
        int32_t peak = 0;
        const bool shown = PeakOf(store, today - ago, peak);
        if (shown && line.pointCount < GRAPH_MAX_POINTS)
            line.points[line.pointCount++] = {left + (right - left) / 2, TemperatureY(graph, peak)};
        // A day without a peak breaks the line.
        const int start = line.runCount > 0 ? line.runEnds[line.runCount - 1] : 0;
        if ((!shown || ago == 0) && line.pointCount > start && line.runCount < HISTORY_CAPACITY)
            line.runEnds[line.runCount++] = line.pointCount;
    }
}

DaysSummary SumUpDays(const HistoryStore& store, int32_t today)
{
    DaysSummary summary = {0, 0, 0, DAY_NO_PEAK, false, 0};
    int64_t peaks[2] = {0, 0};
    int32_t counted[2] = {0, 0};
    for (int32_t ago = 0; ago < 2 * SUMMARY_DAYS; ++ago) {
        const YearDay* day = store.DayAt(today - ago);
        if (day == nullptr)
            continue;
        const int half = ago < SUMMARY_DAYS ? 0 : 1;
        if (day->peak != DAY_NO_PEAK) {
            peaks[half] += day->peak;
            ++counted[half];
        }
        if (half != 0)
            continue;
        summary.daysRun += day->minutesRun > 0 ? 1 : 0;
        summary.daysLowered += day->minutesLowered > 0 ? 1 : 0;
        summary.minutesLowered += day->minutesLowered;
        summary.peak = std::max<int32_t>(summary.peak, day->peak);
    }
    summary.compared = counted[0] > 0 && counted[1] > 0;
    if (summary.compared) {
        // The mean daily peaks, in tenths, rounded to whole degrees only at the end.
        const int64_t now = peaks[0] * 10 / counted[0], before = peaks[1] * 10 / counted[1];
        const int64_t change = now - before;
        summary.peakChange =
            static_cast<int32_t>(change >= 0 ? (change + 5) / 10 : -((5 - change) / 10));
    }
    return summary;
}

void ComposeDaysSummary(char16_t* text, size_t size, const DaysSummary& days,
                        const TextTable& words)
{
    char16_t peak[PIECE_SIZE];
    ComposePeak(peak, PIECE_SIZE, days.peak != DAY_NO_PEAK, days.peak, words);
    char16_t duration[PIECE_SIZE];
    if (days.minutesLowered < 60) {
        ComposeQuantity(duration, PIECE_SIZE, days.minutesLowered, IDS_RANGE_MINUTES, words);
    } else {
        char16_t hours[NUMBER_SIZE], minutes[NUMBER_SIZE];
        words.Number(days.minutesLowered / 60, hours);
        words.Number(days.minutesLowered % 60, minutes);
        const char16_t* inserts[] = {hours, minutes};
        TextWriter(duration, PIECE_SIZE).AddPattern(words[IDS_DURATION_HOURS], inserts, 2);
    }
    TextWriter writer(text, size);
    AddLoweringsPattern(writer, days.daysLowered, duration, peak,
                        {IDS_DAYS_NONE, IDS_DAYS_ONE, IDS_DAYS_MANY}, words);
    if (!days.compared)
        return;
    char16_t change[PIECE_SIZE];
    ComposeQuantity(change, PIECE_SIZE, days.peakChange < 0 ? -days.peakChange : days.peakChange,
                    IDS_DEGREES, words);
    const char16_t* inserts[] = {change};
    const int pattern = days.peakChange > 0   ? IDS_DAYS_ROSE
                        : days.peakChange < 0 ? IDS_DAYS_FELL
                                              : IDS_DAYS_SAME;
    writer.AddPattern(words[pattern], inserts, 1);
}
