#include "ui/DayGraph.h"

#include "power/Ambrel.h"

#include <algorithm>

namespace
{

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
