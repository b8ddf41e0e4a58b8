// The history window's drawing helpers: GDI objects made and released for one drawing step,
// text and numbers in the window's font, the plot's lines, the band's boxes and the scales, and
// the bitmaps that the window keeps between paints. Each takes what it draws as arguments.
#pragma once

#include "base/TextTable.h"
#include "ui/DayRing.h"
#include "ui/HistoryGraph.h"
#include "ui/HistoryPalette.h"

#include <windows.h>

#include <cstdint>

// The ranges the window offers, in minutes; its rangeMessage's wParam.
const int32_t HISTORY_HALF_HOUR = 30;
const int32_t HISTORY_DAY = DAY_MINUTES;
// The ranges on offer, in the order the window shows their choice.
const int32_t RANGES[2] = {HISTORY_HALF_HOUR, HISTORY_DAY};

// Room for a label of the scales or of the range choice.
const int LABEL_SIZE = 24;

// A bitmap selected into a memory DC, kept while the window is open.
struct CachedBitmap {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
    int width;
    int height;
};

// A pen made for one drawing step: selected into the DC, then deselected and deleted again.
struct SelectedPen {
    HPEN pen;
    HGDIOBJ previous;
};

// The window's font in a DC for one drawing step, and the text's colour over any ground.
struct SelectedFont {
    HDC dc;
    HGDIOBJ previous;
};

// The band holds a paused stretch, which the legend names.
bool BandShowsPause(const HistoryGraph& graph);
COLORREF Colour(PaletteColour colour);
int Scaled(int logical, int dpi);
// The system's message font, given for systemDpi, at the scale of dpi.
HFONT MessageFont(int dpi, int systemDpi);
void Text(HDC dc, int x, int y, const wchar_t* text, UINT align);
// Labels are composed as UTF-16, which is what the W functions take as wchar_t on Windows.
const wchar_t* Wide(const char16_t* text);
void Number(HDC dc, int x, int y, int value, int pattern, const TextTable& words, UINT align);
int TextWidth(HDC dc, const char16_t* text);
void HorizontalLine(HDC dc, int left, int right, int y);
void DrawLine(HDC dc, const GraphLine& line);
SelectedPen SelectPen(HDC dc, int style, int width, COLORREF colour);
void DropPen(HDC dc, SelectedPen& selected);
void FillBox(HDC dc, int left, int top, int right, int bottom, COLORREF colour);
// A stretch of the band in a mode: its colour, or, in high contrast, its hatching over the
// window's colour, framed so that the user's own values show as an empty box.
void BandBox(HDC dc, const RECT& box, int mode, const HistoryPalette& palette);
void DrawScales(HDC dc, const HistoryGraph& graph, int textHeight, bool performance,
                const HistoryPalette& palette, const TextTable& words);
void ReleaseBitmap(CachedBitmap& cached);
// A bitmap of width x height compatible with target, kept while its size stays; false when it
// cannot be made. made says that it is new and holds nothing yet.
bool PrepareBitmap(CachedBitmap& cached, HDC target, int width, int height, bool& made);
SelectedFont SelectFont(HDC dc, HFONT font, const HistoryPalette& palette);
void DropFont(SelectedFont& selected);
void RangeLabel(char16_t* label, int32_t minutes, const TextTable& words);
// A short line as the legend's mark of a line in the graph.
void LineMark(HDC dc, int left, int right, int y, int width, COLORREF colour);
