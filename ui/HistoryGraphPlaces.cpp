#include "ui/HistoryGraph.h"

#include <algorithm>
#include <cstring>

// Where the laid-out parts go and whether two layouts differ: a temperature's, a percentage's and
// a minute's place on the graph, the legend's rows, the popup's place beside its anchor.

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
