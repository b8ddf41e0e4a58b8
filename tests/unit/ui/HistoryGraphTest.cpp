#include "ui/DayGraph.h"
#include "ui/HistoryGraph.h"

#include "watch/TempConversion.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{

const int64_t NOW = 10 * HISTORY_SPAN_MS;
const int64_t MINUTE = 60000;

// A plot 1800 px wide (from x 40) and 600 px high (rows 20 to 620).
GraphInput Input(bool performance = false)
{
    return {performance ? 1881 : 1851, 638, 10, 40, NOW, 85, performance, 0, false};
}

struct Reading {
    int64_t agoMs;
    int32_t value;
    int16_t mode;
    int16_t status;
};

std::unique_ptr<HistoryRing> Ring(const std::vector<Reading>& readings)
{
    std::unique_ptr<HistoryRing> ring(new HistoryRing());
    for (const Reading& r : readings)
        ring->Add({NOW - r.agoMs, r.value, r.mode, r.status});
    return ring;
}

std::vector<std::vector<int>> Runs(const GraphLine& line)
{
    std::vector<std::vector<int>> runs;
    for (int r = 0, p = 0; r < line.runCount; ++r) {
        runs.emplace_back();
        for (; p < line.runEnds[r]; ++p)
            runs.back().insert(runs.back().end(), {line.points[p].x, line.points[p].y});
    }
    return runs;
}

TEST(HistoryGraph, ScalesCoverThresholdEveryVisibleReadingAndTheHistorysAge)
{
    struct Row {
        std::vector<Reading> readings;
        int32_t lowest, highest, step, spanMinutes;
    } rows[] = {
        {{{5 * MINUTE, 50, 0, READING_OK}}, 40, 90, 10, 5},
        {{{6 * MINUTE, 120, 2, READING_OK}, {MINUTE, -10, 0, READING_OK}}, -50, 150, 50, 10},
        {{{MINUTE, 100000, 2, READING_OK}}, 50, 250, 50, 2},
        {{{11 * MINUTE, 50, 0, READING_OK}, {MINUTE, -273, 0, READING_FAILED}}, 40, 90, 10, 15},
        // Ended before the half hour shown.
        {{{40 * MINUTE, 120, 2, READING_OK}, {35 * MINUTE, 50, 0, READING_OK}}, 40, 90, 10, 30},
        {{{40 * MINUTE, 101, 2, READING_OK}, {20 * MINUTE, 50, 0, READING_OK}}, 40, 120, 20, 30},
    };
    std::unique_ptr<HistoryGraph> graph(new HistoryGraph());
    for (const Row& row : rows) {
        LayOutHistory(Input(), *Ring(row.readings), nullptr, *graph);
        EXPECT_EQ(
            (std::vector<int>{row.lowest, row.highest, row.step, row.spanMinutes}),
            (std::vector<int>{graph->lowest, graph->highest, graph->step, graph->spanMinutes}))
            << row.readings.front().value;
    }
}

// 50 -> 90 -> throttled -> no reading -> 70: a history of ten minutes, shown over ten minutes
// (3 px per second).
TEST(HistoryGraph, StepLineBrokenWhereReadingsFailedOverTheBand)
{
    std::unique_ptr<HistoryGraph> graph(new HistoryGraph());
    LayOutHistory(Input(),
                  *Ring({{10 * MINUTE, 50, 0, READING_OK},
                         {6 * MINUTE, 90, 0, READING_OK},
                         {4 * MINUTE, 90, 1, READING_OK},
                         {3 * MINUTE, 90, 1, READING_FAILED},
                         {2 * MINUTE, 70, 2, READING_OK}}),
                  nullptr, *graph);
    EXPECT_EQ((std::vector<int>{40, 20, 1841, 621}),
              (std::vector<int>{graph->plot.left, graph->plot.top, graph->plot.right,
                                graph->plot.bottom}));
    EXPECT_EQ((std::vector<int>{170, 220}), (std::vector<int>{graph->throttleY, graph->releaseY}));
    EXPECT_EQ((std::vector<std::vector<int>>{
                  {40, 520, 760, 520, 760, 120, 1120, 120, 1120, 120, 1300, 120},
                  {1480, 320, 1840, 320}}),
              Runs(graph->temperature));
    std::vector<int> band;
    for (int i = 0; i < graph->segmentCount; ++i)
        band.insert(band.end(),
                    {graph->segments[i].left, graph->segments[i].right, graph->segments[i].mode});
    EXPECT_EQ((std::vector<int>{40, 1121, 0, 1120, 1481, 1, 1480, 1841, 2}), band);
    EXPECT_EQ(0, graph->performance.runCount);
    EXPECT_EQ((std::vector<int>{10, 2, 1840, 1480, 40}),
              (std::vector<int>{graph->spanMinutes, graph->tickMinutes, MinutesAgoX(*graph, 0),
                                MinutesAgoX(*graph, 2), MinutesAgoX(*graph, 10)}));
}

// A boosting processor runs above 100 %: the scale reaches the highest sample shown, rounded up,
// and a counter gone wild is held to the ceiling.
TEST(HistoryGraph, PerformanceJoinsSamplesAndBreaksAtAFailedOne)
{
    std::unique_ptr<HistoryGraph> graph(new HistoryGraph());
    std::unique_ptr<HistoryRing> samples = Ring({{31 * MINUTE, 10, 0, READING_OK},
                                                 {60000, 40, 0, READING_OK},
                                                 {58000, 0, 0, READING_FAILED},
                                                 {56000, 100, 0, READING_OK},
                                                 {54000, 150, 0, READING_OK}});
    LayOutHistory(Input(true), *Ring({{MINUTE, 50, 0, READING_OK}}), samples.get(), *graph);
    EXPECT_EQ(1841, graph->plot.right);
    // Two minutes shown, 15 px per second, 0 to 150 %.
    EXPECT_EQ(150, graph->percentTop);
    EXPECT_EQ((std::vector<std::vector<int>>{{940, 460}, {1000, 220, 1030, 20}}),
              Runs(graph->performance));
    // A steady value is one level however many samples it has, so a new sample moves only its end.
    std::unique_ptr<HistoryRing> steady = Ring({{6000, 100, 0, READING_OK},
                                                {4000, 100, 0, READING_OK},
                                                {2000, 100, 0, READING_OK},
                                                {0, 100, 0, READING_OK}});
    LayOutHistory(Input(true), *Ring({{MINUTE, 50, 0, READING_OK}}), steady.get(), *graph);
    EXPECT_EQ((std::vector<std::vector<int>>{{1750, 20, 1840, 20}}), Runs(graph->performance));
    LayOutHistory(Input(false), *Ring({{MINUTE, 50, 0, READING_OK}}), samples.get(), *graph);
    EXPECT_EQ(0, graph->performance.runCount);
    EXPECT_EQ(100, graph->percentTop);
    // Only the samples shown count; a failed one counts for nothing.
    std::unique_ptr<HistoryRing> wild = Ring({{31 * MINUTE, 400, 0, READING_OK},
                                              {50000, 99, 0, READING_OK},
                                              {40000, 100000, 0, READING_FAILED}});
    LayOutHistory(Input(true), *Ring({{MINUTE, 50, 0, READING_OK}}), wild.get(), *graph);
    EXPECT_EQ(100, graph->percentTop);
    wild->Add({NOW, 100000, 0, READING_OK});
    LayOutHistory(Input(true), *Ring({{MINUTE, 50, 0, READING_OK}}), wild.get(), *graph);
    EXPECT_EQ((std::vector<int>{PERCENT_CEILING, 20}),
              (std::vector<int>{graph->percentTop, PercentY(*graph, 100000)}));
    // The legend takes a row of text (and a quarter) above the plot.
    GraphInput withLegend = Input(true);
    withLegend.legendRows = 1;
    LayOutHistory(withLegend, *Ring({{MINUTE, 50, 0, READING_OK}}), wild.get(), *graph);
    EXPECT_EQ((std::vector<int>{15, 32}), (std::vector<int>{graph->legendTop, graph->plot.top}));
}

// Minute by minute up to now, one pixel a minute: a column from each minute's highest to its
// lowest temperature, none where it had no reading, the band in each minute's mode; older than 24
// hours is left out. At half a pixel a minute two minutes share each column.
TEST(HistoryGraph, TheDayHasAColumnPerMinuteAndItsBand)
{
    const int32_t now = 3000000;
    std::unique_ptr<DayRing> day(new DayRing());
    const DayMinute minutes[] = {{now - DAY_MINUTES, 120, 120, 2, DAY_READING},
                                 {now - 3, 50, 50, 0, DAY_READING},
                                 {now - 2, 60, 90, 1, DAY_READING | DAY_LOWERED},
                                 {now - 1, 0, 0, 2, DAY_LOWERED},
                                 {now, 70, 70, 2, DAY_READING | DAY_LOWERED}};
    for (const DayMinute& m : minutes)
        day->minutes[day->count++] = m;
    GraphInput input = Input();
    input.width = 1491;
    std::unique_ptr<HistoryGraph> graph(new HistoryGraph());
    LayOutDay(input, *day, now, *graph);
    EXPECT_EQ((std::vector<int>{40, 100, 10, DAY_MINUTES}),
              (std::vector<int>{graph->lowest, graph->highest, graph->step, graph->spanMinutes}));
    std::vector<int> columns, band;
    for (int i = 0; i < graph->columnCount; ++i)
        columns.insert(columns.end(), {graph->columns[i].left, graph->columns[i].right,
                                       graph->columns[i].top, graph->columns[i].bottom});
    for (int i = 0; i < graph->segmentCount; ++i)
        band.insert(band.end(),
                    {graph->segments[i].left, graph->segments[i].right, graph->segments[i].mode});
    EXPECT_EQ((std::vector<int>{1476, 1477, 520, 520, 1477, 1478, 120, 420, 1479, 1480, 320, 320}),
              columns);
    EXPECT_EQ((std::vector<int>{1476, 1478, 0, 1477, 1479, 1, 1478, 1481, 2}), band);

    day->count = 0;
    for (int ago = DAY_MINUTES - 1; ago >= 0; --ago)
        day->minutes[day->count++] = {now - ago, 50, static_cast<int16_t>(ago == 0 ? 60 : 50), 0,
                                      DAY_READING};
    input.width = 771;
    input.legendRows = 1;
    input.summary = true;
    LayOutDay(input, *day, now, *graph);
    ASSERT_EQ(DAY_MINUTES / 2, graph->columnCount);
    EXPECT_EQ(
        (std::vector<int>{40, 41, 759, 760, 390}),
        (std::vector<int>{graph->columns[0].left, graph->columns[0].right, graph->columns[719].left,
                          graph->columns[719].right, graph->columns[719].top}));
    // The summary takes a row below the legend.
    EXPECT_EQ((std::vector<int>{15, 27, 44}),
              (std::vector<int>{graph->legendTop, graph->summaryTop, graph->plot.top}));

    // Within the minute nothing moves; a minute later the oldest minute has gone and the
    // columns have moved, over the same frame; a new highest reading makes another scale.
    std::unique_ptr<HistoryGraph> later(new HistoryGraph());
    LayOutDay(input, *day, now, *later);
    EXPECT_TRUE(SameLayout(*graph, *later));
    LayOutDay(input, *day, now + 1, *later);
    EXPECT_TRUE(SameFrame(*graph, *later));
    EXPECT_FALSE(SameLayout(*graph, *later));
    day->minutes[day->count - 1].high = 95;
    LayOutDay(input, *day, now, *later);
    EXPECT_FALSE(SameFrame(*graph, *later));
}

TEST(HistoryGraph, RingKeepsTheNewestWhenFull)
{
    std::unique_ptr<HistoryRing> ring(new HistoryRing());
    for (int i = 0; i < HISTORY_CAPACITY + 3; ++i)
        ring->Add({i, i, 0, READING_OK});
    EXPECT_EQ(HISTORY_CAPACITY, ring->count);
    EXPECT_EQ(3, ring->At(0).timeMs);
    EXPECT_EQ(HISTORY_CAPACITY + 2, ring->At(HISTORY_CAPACITY - 1).value);
}

TEST(HistoryGraph, PopupStandsBesideTheIconInsideTheWorkArea)
{
    struct Row {
        GraphBox anchor, work;
        int32_t x, y;
    } rows[] = {
        {{1500, 1050, 1516, 1066}, {0, 0, 1920, 1040}, 1328, 840}, // taskbar at the bottom
        {{1900, 1050, 1916, 1066}, {0, 0, 1920, 1040}, 1560, 840}, // at the right edge
        {{1500, 12, 1516, 28}, {0, 40, 1920, 1080}, 1328, 40},     // taskbar at the top
        {{20, 1000, 36, 1016}, {60, 0, 1920, 1080}, 60, 880},      // at the left
        {{1890, 500, 1906, 516}, {0, 0, 1860, 1080}, 1500, 408},   // at the right
        {{500, 10, 501, 11}, {0, 0, 1920, 1040}, 320, 19},         // the cursor, near the top
        {{-100, 1050, -84, 1066}, {-1920, 0, 0, 1040}, -360, 840}, // a monitor on the left
    };
    for (const Row& row : rows) {
        GraphPoint at = PlacePopup(row.anchor, row.work, 360, 200, 8);
        EXPECT_EQ((std::vector<int>{row.x, row.y}), (std::vector<int>{at.x, at.y}))
            << row.anchor.left << "," << row.anchor.top;
    }
}

} // namespace
