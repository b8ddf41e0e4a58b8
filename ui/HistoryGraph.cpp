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

} // namespace

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

void PlaceBoxes(const GraphInput& input, HistoryGraph& graph)
{
    const int32_t text = input.textHeight;
    const int32_t bandHeight = std::max(text / 2, 3);
    graph.plot.left = input.labelWidth;
    graph.plot.right = input.width - (input.performance ? input.labelWidth : text);
    const int32_t row = LegendRowHeight(text);
    graph.legendTop = text + text / 2;
    graph.summaryTop = graph.legendTop + input.legendRows * row;
    graph.plot.top = graph.summaryTop + text / 2 + (input.summary ? row : 0);
    graph.plot.bottom = input.height - text - text / 4 - bandHeight;
    graph.band = {graph.plot.left, graph.plot.bottom, graph.plot.right,
                  graph.plot.bottom + bandHeight};
}

namespace
{

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

} // namespace

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

namespace
{

int32_t Centred(int32_t anchorLow, int32_t anchorHigh, int32_t length)
{
    return anchorLow + (anchorHigh - anchorLow) / 2 - length / 2;
}

int32_t Inside(int32_t value, int32_t low, int32_t high, int32_t length)
{
    return std::max(low, std::min(value, high - length));
}

bool SameBox(const GraphBox& a, const GraphBox& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Only what is in use is compared.
template <typename T> bool SameItems(const T* a, const T* b, int count)
{
    return std::memcmp(a, b, sizeof(T) * static_cast<size_t>(count)) == 0;
}

bool SameLine(const GraphLine& a, const GraphLine& b)
{
    return a.pointCount == b.pointCount && a.runCount == b.runCount &&
           SameItems(a.points, b.points, a.pointCount) &&
           SameItems(a.runEnds, b.runEnds, a.runCount);
}

} // namespace

bool SameFrame(const HistoryGraph& a, const HistoryGraph& b)
{
    return SameBox(a.plot, b.plot) && SameBox(a.band, b.band) && a.legendTop == b.legendTop &&
           a.summaryTop == b.summaryTop && a.spanMinutes == b.spanMinutes &&
           a.tickMinutes == b.tickMinutes && a.lowest == b.lowest && a.highest == b.highest &&
           a.step == b.step && a.throttleY == b.throttleY && a.releaseY == b.releaseY &&
           a.percentTop == b.percentTop;
}

bool SameLayout(const HistoryGraph& a, const HistoryGraph& b)
{
    return SameFrame(a, b) && SameLine(a.temperature, b.temperature) &&
           SameLine(a.performance, b.performance) && a.segmentCount == b.segmentCount &&
           SameItems(a.segments, b.segments, a.segmentCount) && a.columnCount == b.columnCount &&
           SameItems(a.columns, b.columns, a.columnCount);
}

int32_t TemperatureY(const HistoryGraph& graph, int32_t celsius)
{
    int32_t bounded = std::min(std::max(celsius, graph.lowest), graph.highest);
    const int32_t bottom = graph.plot.bottom - 1;
    return bottom - ScaleOnto(bounded, graph.lowest, graph.highest - graph.lowest, 0,
                              bottom - graph.plot.top);
}

int32_t PercentY(const HistoryGraph& graph, int32_t percent)
{
    const int32_t bottom = graph.plot.bottom - 1;
    const int32_t top = std::max(graph.percentTop, 1);
    return bottom -
           ScaleOnto(std::min(std::max(percent, 0), top), 0, top, 0, bottom - graph.plot.top);
}

int32_t MinutesAgoX(const HistoryGraph& graph, int minutes)
{
    return ScaleOnto(graph.spanMinutes - minutes, 0, graph.spanMinutes, graph.plot.left,
                     graph.plot.right - 1 - graph.plot.left);
}

int32_t LegendRowHeight(int32_t textHeight)
{
    return textHeight + textHeight / 4;
}

int32_t LegendMarkWidth(int32_t textHeight)
{
    return textHeight * 3 / 2;
}

int32_t LegendGap(int32_t textHeight)
{
    return textHeight / 3;
}

void LayOutLegend(const int32_t nameWidths[LEGEND_ENTRIES], int32_t left, int32_t right,
                  int32_t textHeight, LegendLayout& legend)
{
    legend.rows = 0;
    int32_t x = left;
    for (int i = 0; i < LEGEND_ENTRIES; ++i) {
        if (nameWidths[i] <= 0) {
            legend.x[i] = legend.row[i] = -1;
            continue;
        }
        const int32_t width = LegendMarkWidth(textHeight) + LegendGap(textHeight) + nameWidths[i];
        // An entry wider than a whole row still starts one of its own.
        if (legend.rows == 0 || (x > left && x + width > right)) {
            ++legend.rows;
            x = left;
        }
        legend.x[i] = x;
        legend.row[i] = legend.rows - 1;
        // The space between two entries is as wide as a line of text is high.
        x += width + textHeight;
    }
}

GraphPoint PlacePopup(const GraphBox& anchor, const GraphBox& work, int32_t width, int32_t height,
                      int32_t gap)
{
    const int32_t centreX = anchor.left + (anchor.right - anchor.left) / 2;
    const int32_t centreY = anchor.top + (anchor.bottom - anchor.top) / 2;
    GraphPoint at = {Centred(anchor.left, anchor.right, width), anchor.top - gap - height};
    if (centreX >= work.right)
        at = {anchor.left - gap - width, Centred(anchor.top, anchor.bottom, height)};
    else if (centreX < work.left)
        at = {anchor.right + gap, Centred(anchor.top, anchor.bottom, height)};
    else if (centreY < work.top || (centreY < work.bottom && at.y < work.top))
        at.y = anchor.bottom + gap;
    at.x = Inside(at.x, work.left, work.right, width);
    at.y = Inside(at.y, work.top, work.bottom, height);
    return at;
}
