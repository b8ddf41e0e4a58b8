// The layout of the history window, computed without the platform from the history and the
// window's size: where the temperature line runs (broken where readings failed), the throttle
// band along the bottom, the °C scale and its dashed threshold lines, and the performance line
// on its scale from 0 to at least 100 % (a boosting processor runs above 100 %); or, over 24
// hours, a column per minute from its lowest to its highest temperature with the band below.
// Also where the window stands next to the notification area, and its line of text. The window
// (ui/HistoryWindow) only draws what is laid out here.
#pragma once

#include "ui/DayRing.h"
#include "ui/HistoryRing.h"

#include <cstddef>
#include <cstdint>

struct GraphPoint {
    int32_t x;
    int32_t y;
};

// A rectangle in pixels, right and bottom exclusive.
struct GraphBox {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// The performance scale's labels, and the highest percentage it shows (a broken counter may
// report anything).
const int32_t PERCENT_STEP = 50;
const int32_t PERCENT_CEILING = 500;

// Every entry adds at most two points (its start and its end).
const int GRAPH_MAX_POINTS = 2 * HISTORY_CAPACITY + 2;

// A line drawn as runs of connected points; runs are separated by gaps.
struct GraphLine {
    GraphPoint points[GRAPH_MAX_POINTS];
    int pointCount;
    // One past the last point of each run.
    int runEnds[HISTORY_CAPACITY + 1];
    int runCount;
};

// Pixel columns of the day: the minutes that fall on left to right (exclusive), from the
// highest temperature among them (top) to the lowest (bottom, inclusive).
struct DayColumn {
    int32_t left;
    int32_t right;
    int32_t top;
    int32_t bottom;
};

// Band segments: one per history entry, or per minute of the day.
const int GRAPH_MAX_SEGMENTS = DAY_MINUTES > HISTORY_CAPACITY ? DAY_MINUTES : HISTORY_CAPACITY;

// A stretch of the throttle band in one mode, from left to right (exclusive).
struct BandSegment {
    int32_t left;
    int32_t right;
    int32_t mode;
};

struct GraphInput {
    // The client area in pixels.
    int32_t width;
    int32_t height;
    // The height of one line of text, and the room for a scale's labels beside the plot.
    int32_t textHeight;
    int32_t labelWidth;
    int64_t nowMs;
    // The throttle threshold in °C; the throttle is released 5 °C below it.
    int32_t throttleAt;
    // There are performance samples to draw, with their scale on the right.
    bool performance;
    // The legend's rows below the line of text (LegendRows), 0 for none.
    int32_t legendRows;
    // A row for the day's summary below the legend.
    bool summary;
};

struct HistoryGraph {
    // The area of the lines; the band lies just below it, the minute labels below the band.
    GraphBox plot;
    // The top of the legend's first row (input.legendRows) and of the summary's (input.summary).
    int32_t legendTop;
    int32_t summaryTop;
    GraphBox band;
    // The time shown, up to HISTORY_SPAN_MS: a young history is spread over a shorter span (2, 5,
    // 10 or 15 minutes) rather than squeezed against "now". Labels every tickMinutes.
    int32_t spanMinutes;
    int32_t tickMinutes;
    // The °C at the bottom and the top of the plot, and the distance between labels.
    int32_t lowest;
    int32_t highest;
    int32_t step;
    int32_t throttleY;
    int32_t releaseY;
    // The percentage at the top of the performance scale: the highest sample shown, rounded up
    // to PERCENT_STEP, at least 100 and at most PERCENT_CEILING.
    int32_t percentTop;
    GraphLine temperature;
    GraphLine performance;
    BandSegment segments[GRAPH_MAX_SEGMENTS];
    int segmentCount;
    DayColumn columns[DAY_MINUTES];
    int columnCount;
};

// The legend's entries in their order along its rows: the temperature line, the throttle band,
// the pause (where the band shows one), the performance line.
enum LegendEntry {
    LEGEND_TEMPERATURE,
    LEGEND_STATE,
    LEGEND_PAUSED,
    LEGEND_PERFORMANCE,
    LEGEND_ENTRIES
};

// Where the legend's entries stand: each a mark as wide as one and a half lines of text are high,
// then its name. An entry that would run past the right end goes to the start of the next row.
struct LegendLayout {
    // The left end of each entry's mark, and its row from 0; x is -1 for an entry not shown.
    int32_t x[LEGEND_ENTRIES];
    int32_t row[LEGEND_ENTRIES];
    int32_t rows;
};

// The height of one row of the legend, and the room its mark and the gap after it take.
int32_t LegendRowHeight(int32_t textHeight);
int32_t LegendMarkWidth(int32_t textHeight);
int32_t LegendGap(int32_t textHeight);

// Lays out the entries whose nameWidths are above 0 (the names' widths in pixels) from left to
// right (exclusive), in rows of text textHeight high.
void LayOutLegend(const int32_t nameWidths[LEGEND_ENTRIES], int32_t left, int32_t right,
                  int32_t textHeight, LegendLayout& legend);

// Lays out readings (temperatures) and, when given, performance samples (percent) over the span
// that ends at input.nowMs.
void LayOutHistory(const GraphInput& input, const HistoryRing& readings,
                   const HistoryRing* performance, HistoryGraph& graph);

// The steps that every range's layout takes: a temperature held within the scale's bounds, the
// scale chosen for low .. high, the boxes placed (legend, summary, plot, band).
int32_t Bounded(int32_t celsius);
void ChooseScaleOf(int32_t low, int32_t high, HistoryGraph& graph);
void PlaceBoxes(const GraphInput& input, HistoryGraph& graph);

// Whether two layouts draw the same frame (the boxes, the scales and their labels, the threshold
// lines: what the window keeps in a bitmap while they stay), and the same altogether (also the
// lines, the columns and the band): a redraw that would change no pixel is not made.
bool SameFrame(const HistoryGraph& a, const HistoryGraph& b);
bool SameLayout(const HistoryGraph& a, const HistoryGraph& b);

// value's place on a length that begins at start, where from .. from + span is the whole length;
// start where the span is empty.
int32_t ScaleOnto(int64_t value, int64_t from, int64_t span, int32_t start, int32_t length);

// Where a temperature, a percentage or a time "minutes ago" falls on the laid-out graph.
int32_t TemperatureY(const HistoryGraph& graph, int32_t celsius);
int32_t PercentY(const HistoryGraph& graph, int32_t percent);
int32_t MinutesAgoX(const HistoryGraph& graph, int minutes);

// The top-left corner of a popup of width x height that stands next to anchor (the tray icon,
// or the cursor): above it when the taskbar is at the bottom (the anchor below the work area),
// below, left or right of it for a taskbar at the top, right or left, gap pixels away, and
// always wholly inside work (as far as it fits).
GraphPoint PlacePopup(const GraphBox& anchor, const GraphBox& work, int32_t width, int32_t height,
                      int32_t gap);
