#include "ui/HistoryGraph.h"

#include "power/Ambrel.h"
#include "watch/TempConversion.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

int32_t ScaleOnto(int64_t value, int64_t from, int64_t span, int32_t start, int32_t length)
{
    if (span <= 0)
        return start;
    return start + static_cast<int32_t>((value - from) * length / span);
}

namespace
{

// A broken sensor may report anything; the scale follows readings only within these bounds,
// and the line is kept inside the plot.
const int32_t SCALE_FLOOR = -100;
const int32_t SCALE_CEILING = 200;
// The degrees kept free above the highest and below the lowest value on the scale.
const int32_t SCALE_MARGIN = 5;
// At most this many label steps from the bottom to the top of the scale.
const int32_t MAX_STEPS = 6;

int32_t FloorTo(int32_t value, int32_t step)
{
    int32_t q = value / step;
    if (value % step != 0 && value < 0)
        --q;
    return q * step;
}

int32_t CeilTo(int32_t value, int32_t step)
{
    return -FloorTo(-value, step);
}

// The spans offered, with the distance of their labels, in minutes.
const int32_t SPANS[][2] = {{2, 1}, {5, 1}, {10, 2}, {15, 5}, {30, 5}};

int64_t SpanMs(const HistoryGraph& graph)
{
    return int64_t(graph.spanMinutes) * 60000;
}

int32_t TimeX(const HistoryGraph& graph, const GraphInput& input, int64_t timeMs)
{
    const int64_t start = input.nowMs - SpanMs(graph);
    const int64_t clamped = std::min(std::max(timeMs, start), input.nowMs);
    return ScaleOnto(clamped, start, SpanMs(graph), graph.plot.left,
                     graph.plot.right - 1 - graph.plot.left);
}

// The shortest span that holds the oldest reading.
void ChooseSpan(const GraphInput& input, const HistoryRing& readings, HistoryGraph& graph)
{
    const int64_t age = readings.count > 0 ? input.nowMs - readings.At(0).timeMs : 0;
    for (const int32_t* span : SPANS) {
        graph.spanMinutes = span[0];
        graph.tickMinutes = span[1];
        if (age <= SpanMs(graph))
            break;
    }
}

// The end of entry i: the start of the next one, or now.
int64_t EntryEnd(const HistoryRing& ring, int i, int64_t nowMs)
{
    return i + 1 < ring.count ? ring.At(i + 1).timeMs : nowMs;
}

bool Visible(const HistoryRing& ring, int i, const GraphInput& input)
{
    return EntryEnd(ring, i, input.nowMs) > input.nowMs - HISTORY_SPAN_MS &&
           ring.At(i).timeMs <= input.nowMs;
}

int32_t Bounded(int32_t celsius)
{
    return std::min(std::max(celsius, SCALE_FLOOR), SCALE_CEILING);
}

void ChooseScaleOf(int32_t low, int32_t high, HistoryGraph& graph)
{
    for (int32_t step : {10, 20, 50}) {
        graph.step = step;
        graph.lowest = FloorTo(low - SCALE_MARGIN, step);
        graph.highest = CeilTo(high + SCALE_MARGIN, step);
        if ((graph.highest - graph.lowest) / step <= MAX_STEPS)
            break;
    }
}

void ChooseScale(const GraphInput& input, const HistoryRing& readings, HistoryGraph& graph)
{
    int32_t low = Bounded(input.throttleAt - AMBREL_BAND_WIDTH);
    int32_t high = Bounded(input.throttleAt);
    for (int i = 0; i < readings.count; ++i) {
        const HistoryEntry& entry = readings.At(i);
        if (entry.status == READING_OK && Visible(readings, i, input)) {
            low = std::min(low, Bounded(entry.value));
            high = std::max(high, Bounded(entry.value));
        }
    }
    ChooseScaleOf(low, high, graph);
}

void PlaceBoxes(const GraphInput& input, HistoryGraph& graph)
{
    const int32_t text = input.textHeight;
    const int32_t bandHeight = std::max(text / 2, 3);
    graph.plot.left = input.labelWidth;
    graph.plot.right = input.width - (input.performance ? input.labelWidth : text);
    const int32_t row = LegendRowHeight(text);
    graph.legendTop = text + text / 2;
    graph.summaryTop = graph.legendTop + input.legendRows * row;
    graph.plot.top = graph.summaryTop + text / 2 + input.summary * row;
    graph.plot.bottom = input.height - text - text / 4 - bandHeight;
    graph.band = {graph.plot.left, graph.plot.bottom, graph.plot.right,
                  graph.plot.bottom + bandHeight};
}

void AddPoint(GraphLine& line, int32_t x, int32_t y)
{
    if (line.pointCount < GRAPH_MAX_POINTS)
        line.points[line.pointCount++] = {x, y};
}

// A point at the height of the run's last two continues their level: it moves the last point
// instead of adding one. The line drawn is the same, and a level that only grows to the right
// (samples of a steady value) keeps the same layout, so nothing is drawn again for it.
void ExtendPoint(GraphLine& line, int32_t x, int32_t y)
{
    const int start = line.runCount > 0 ? line.runEnds[line.runCount - 1] : 0;
    const int n = line.pointCount;
    if (n - start >= 2 && line.points[n - 1].y == y && line.points[n - 2].y == y)
        line.points[n - 1].x = x;
    else
        AddPoint(line, x, y);
}

// Closes the run under way, if it has any points.
void EndRun(GraphLine& line)
{
    int start = line.runCount > 0 ? line.runEnds[line.runCount - 1] : 0;
    if (line.pointCount > start)
        line.runEnds[line.runCount++] = line.pointCount;
}

// The temperature holds from one report to the next (the watcher reports changes only), so
// each entry is a level: a step line, broken where there was no reading.
void LayOutTemperature(const GraphInput& input, const HistoryRing& readings, HistoryGraph& graph)
{
    GraphLine& line = graph.temperature;
    for (int i = 0; i < readings.count; ++i) {
        if (!Visible(readings, i, input))
            continue;
        const HistoryEntry& entry = readings.At(i);
        if (entry.status != READING_OK) {
            EndRun(line);
            continue;
        }
        int32_t y = TemperatureY(graph, entry.value);
        AddPoint(line, TimeX(graph, input, entry.timeMs), y);
        AddPoint(line, TimeX(graph, input, EntryEnd(readings, i, input.nowMs)), y);
    }
    EndRun(line);
}

bool SampleShown(const HistoryEntry& sample, const GraphInput& input, const HistoryGraph& graph)
{
    return sample.timeMs >= input.nowMs - SpanMs(graph) && sample.timeMs <= input.nowMs;
}

void ChoosePercentScale(const GraphInput& input, const HistoryRing* samples, HistoryGraph& graph)
{
    int32_t highest = 100;
    for (int i = 0; samples != nullptr && i < samples->count; ++i) {
        const HistoryEntry& sample = samples->At(i);
        if (sample.status == READING_OK && SampleShown(sample, input, graph))
            highest = std::max(highest, std::min(sample.value, PERCENT_CEILING));
    }
    graph.percentTop = CeilTo(highest, PERCENT_STEP);
}

// Samples are points in time: neighbours are joined straight, a failed sample breaks the line.
void LayOutPerformance(const GraphInput& input, const HistoryRing& samples, HistoryGraph& graph)
{
    GraphLine& line = graph.performance;
    for (int i = 0; i < samples.count; ++i) {
        const HistoryEntry& sample = samples.At(i);
        if (!SampleShown(sample, input, graph))
            continue;
        if (sample.status != READING_OK) {
            EndRun(line);
            continue;
        }
        ExtendPoint(line, TimeX(graph, input, sample.timeMs), PercentY(graph, sample.value));
    }
    EndRun(line);
}

// The mode holds whether or not the readings succeed; neighbours in one mode are merged.
void LayOutBand(const GraphInput& input, const HistoryRing& readings, HistoryGraph& graph)
{
    for (int i = 0; i < readings.count; ++i) {
        if (!Visible(readings, i, input))
            continue;
        const HistoryEntry& entry = readings.At(i);
        int32_t left = TimeX(graph, input, entry.timeMs);
        int32_t right = TimeX(graph, input, EntryEnd(readings, i, input.nowMs)) + 1;
        BandSegment* last =
            graph.segmentCount > 0 ? &graph.segments[graph.segmentCount - 1] : nullptr;
        if (last != nullptr && last->mode == entry.mode && last->right >= left)
            last->right = std::max(last->right, right);
        else if (graph.segmentCount < GRAPH_MAX_SEGMENTS)
            graph.segments[graph.segmentCount++] = {left, right, entry.mode};
    }
}

// How long before now a minute of the day ended; a minute ahead of the clock (put back by
// seconds) counts as the minute under way.
int32_t MinutesAgo(const DayMinute& minute, int32_t now)
{
    return std::max(now - minute.minute, 0);
}

void ChooseDayScale(const GraphInput& input, const DayRing& day, int32_t now, HistoryGraph& graph)
{
    int32_t low = Bounded(input.throttleAt - AMBREL_BAND_WIDTH);
    int32_t high = Bounded(input.throttleAt);
    for (int i = 0; i < day.count; ++i) {
        const DayMinute& minute = day.At(i);
        if ((minute.flags & DAY_READING) != 0 && MinutesAgo(minute, now) < DAY_MINUTES) {
            low = std::min(low, Bounded(minute.low));
            high = std::max(high, Bounded(minute.high));
        }
    }
    ChooseScaleOf(low, high, graph);
}

// Minutes that fall on the same pixel share a column, which covers all their temperatures.
void AddColumn(HistoryGraph& graph, int32_t left, int32_t right, int32_t top, int32_t bottom)
{
    DayColumn* last = graph.columnCount > 0 ? &graph.columns[graph.columnCount - 1] : nullptr;
    if (last != nullptr && left < last->right) {
        last->right = std::max(last->right, right);
        last->top = std::min(last->top, top);
        last->bottom = std::max(last->bottom, bottom);
    } else if (graph.columnCount < DAY_MINUTES) {
        graph.columns[graph.columnCount++] = {left, std::max(right, left + 1), top, bottom};
    }
}

void AddSegment(HistoryGraph& graph, int32_t left, int32_t right, int32_t mode)
{
    BandSegment* last = graph.segmentCount > 0 ? &graph.segments[graph.segmentCount - 1] : nullptr;
    if (last != nullptr && last->mode == mode && last->right >= left)
        last->right = std::max(last->right, right);
    else if (graph.segmentCount < GRAPH_MAX_SEGMENTS)
        graph.segments[graph.segmentCount++] = {left, right, mode};
}

void LayOutMinutes(const DayRing& day, int32_t now, HistoryGraph& graph)
{
    for (int i = 0; i < day.count; ++i) {
        const DayMinute& minute = day.At(i);
        const int32_t ago = MinutesAgo(minute, now);
        if (ago >= DAY_MINUTES)
            continue;
        const int32_t left = MinutesAgoX(graph, ago + 1);
        const int32_t right = MinutesAgoX(graph, ago);
        AddSegment(graph, left, right + 1, minute.mode);
        if ((minute.flags & DAY_READING) != 0)
            AddColumn(graph, left, right, TemperatureY(graph, minute.high),
                      TemperatureY(graph, minute.low));
    }
}

} // namespace

void LayOutDay(const GraphInput& input, const DayRing& day, int32_t now, HistoryGraph& graph)
{
    graph.temperature.pointCount = graph.temperature.runCount = 0;
    graph.performance.pointCount = graph.performance.runCount = 0;
    graph.segmentCount = 0;
    graph.columnCount = 0;
    PlaceBoxes(input, graph);
    graph.spanMinutes = DAY_MINUTES;
    graph.tickMinutes = DAY_MINUTES / 4;
    ChooseDayScale(input, day, now, graph);
    graph.throttleY = TemperatureY(graph, input.throttleAt);
    graph.releaseY = TemperatureY(graph, input.throttleAt - AMBREL_BAND_WIDTH);
    graph.percentTop = 100;
    LayOutMinutes(day, now, graph);
}

void BeginLayout(const GraphInput& input, HistoryGraph& graph)
{
    graph.temperature.pointCount = graph.temperature.runCount = 0;
    graph.performance.pointCount = graph.performance.runCount = 0;
    graph.segmentCount = graph.columnCount = 0;
    graph.percentTop = 100;
    PlaceBoxes(input, graph);
}

void ChooseTemperatureScale(const GraphInput& input, int32_t low, int32_t high, HistoryGraph& graph)
{
    ChooseScaleOf(std::min(Bounded(low), Bounded(input.throttleAt - AMBREL_BAND_WIDTH)),
                  std::max(Bounded(high), Bounded(input.throttleAt)), graph);
    graph.throttleY = TemperatureY(graph, input.throttleAt);
    graph.releaseY = TemperatureY(graph, input.throttleAt - AMBREL_BAND_WIDTH);
}

void AddDayColumn(HistoryGraph& graph, int32_t left, int32_t right, int32_t top, int32_t bottom)
{
    AddColumn(graph, left, right, top, bottom);
}

void AddBandSegment(HistoryGraph& graph, int32_t left, int32_t right, int32_t mode)
{
    AddSegment(graph, left, right, mode);
}

void LayOutHistory(const GraphInput& input, const HistoryRing& readings,
                   const HistoryRing* performance, HistoryGraph& graph)
{
    graph.temperature.pointCount = graph.temperature.runCount = 0;
    graph.performance.pointCount = graph.performance.runCount = 0;
    graph.segmentCount = 0;
    graph.columnCount = 0;
    PlaceBoxes(input, graph);
    ChooseSpan(input, readings, graph);
    ChooseScale(input, readings, graph);
    graph.throttleY = TemperatureY(graph, input.throttleAt);
    graph.releaseY = TemperatureY(graph, input.throttleAt - AMBREL_BAND_WIDTH);
    LayOutTemperature(input, readings, graph);
    LayOutBand(input, readings, graph);
    ChoosePercentScale(input, input.performance ? performance : nullptr, graph);
    if (input.performance && performance != nullptr)
        LayOutPerformance(input, *performance, graph);
}
