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
    // The range shown (HISTORY_HALF_HOUR or HISTORY_DAY) and where each range's choice stands.
    int32_t range;
    const RECT* rangeBoxes;
    const HistoryPalette* palette;
    const TextTable* words;
    HFONT font;
    int dpi;
    int textHeight;
    // The line of text, and the day's summary where the day is shown.
    const char16_t* line;
    const char16_t* summary;
    bool day;
    // The processor's performance is drawn with its scale.
    bool performance;
};

void DrawHistoryFrame(HDC dc, const HistoryPicture& picture, int width, int height);
// Only what lies in due: the text stays as it is on the screen when time alone moves the plot.
void DrawHistoryContent(HDC dc, const HistoryPicture& picture, const RECT& due);
