// The history window's picture, drawn from values handed in: the frame (background, legend,
// range choice, scales, threshold lines), which stays until the layout or the look changes, and
// the content (the line of text, the band, the columns or the lines), which moves with time.
#pragma once

#include "base/TextTable.h"
#include "ui/HistoryGraph.h"
#include "ui/HistoryPalette.h"

#include <windows.h>

struct HistoryPicture {
    const HistoryGraph* graph;
    const LegendLayout* legend;
    // The range shown (one of HISTORY_RANGES), where each range's choice stands, and how many
    // are offered.
    int32_t range;
    const RECT* rangeBoxes;
    int rangeCount;
    const HistoryPalette* palette;
    const TextTable* words;
    HFONT font;
    int dpi;
    int textHeight;
    // The line of text, and the summary of the day or the days in its rows (0: none).
    const char16_t* line;
    const char16_t* summary;
    int32_t summaryRows;
    // The graph's columns are the day's or the week's minutes; or bars of the days' lowering,
    // under the line of their peaks.
    bool day;
    bool bars;
    // The processor's performance is drawn with its scale.
    bool performance;
};

void DrawHistoryFrame(HDC dc, const HistoryPicture& picture, int width, int height);
// Only what lies in due: the text stays as it is on the screen when time alone moves the plot.
void DrawHistoryContent(HDC dc, const HistoryPicture& picture, const RECT& due);
