#include "ui/HistoryDrawing.h"

#include "base/TextWriter.h"
#include "power/Ambrel.h"
#include "res/resource.h"
#include "ui/TrayTooltip.h"

bool BandShowsPause(const HistoryGraph& graph)
{
    for (int i = 0; i < graph.segmentCount; ++i) {
        if (graph.segments[i].mode == AMBREL_PAUSED_MODE)
            return true;
    }
    return false;
}

COLORREF Colour(PaletteColour colour)
{
    return RGB(colour.red, colour.green, colour.blue);
}

int Scaled(int logical, int dpi)
{
    return MulDiv(logical, dpi, 96);
}

// The system's message font, given for systemDpi, at the scale of dpi.
HFONT MessageFont(int dpi, int systemDpi)
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return nullptr;
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, systemDpi);
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

void Text(HDC dc, int x, int y, const wchar_t* text, UINT align)
{
    SetTextAlign(dc, align);
    TextOutW(dc, x, y, text, static_cast<int>(wcslen(text)));
}

// Labels are composed as UTF-16, which is what the W functions take as wchar_t on Windows.
const wchar_t* Wide(const char16_t* text)
{
    return reinterpret_cast<const wchar_t*>(text);
}

void Number(HDC dc, int x, int y, int value, int pattern, const TextTable& words, UINT align)
{
    char16_t text[LABEL_SIZE];
    ComposeQuantity(text, LABEL_SIZE, value, pattern, words);
    Text(dc, x, y, Wide(text), align);
}

int TextWidth(HDC dc, const char16_t* text)
{
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, Wide(text), static_cast<int>(wcslen(Wide(text))), &size);
    return size.cx;
}

void HorizontalLine(HDC dc, int left, int right, int y)
{
    MoveToEx(dc, left, y, nullptr);
    LineTo(dc, right, y);
}

void DrawLine(HDC dc, const GraphLine& line)
{
    int start = 0;
    for (int r = 0; r < line.runCount; start = line.runEnds[r++]) {
        const POINT* points = reinterpret_cast<const POINT*>(&line.points[start]);
        const int count = line.runEnds[r] - start;
        if (count > 1)
            Polyline(dc, points, count);
        else
            HorizontalLine(dc, points[0].x, points[0].x + 2, points[0].y);
    }
}

SelectedPen SelectPen(HDC dc, int style, int width, COLORREF colour)
{
    SelectedPen selected = {CreatePen(style, width, colour), nullptr};
    if (selected.pen != nullptr)
        selected.previous = SelectObject(dc, selected.pen);
    return selected;
}

void DropPen(HDC dc, SelectedPen& selected)
{
    if (selected.pen == nullptr)
        return;
    SelectObject(dc, selected.previous);
    DeleteObject(selected.pen);
    selected = SelectedPen{};
}

void FillBox(HDC dc, int left, int top, int right, int bottom, COLORREF colour)
{
    RECT box = {left, top, right, bottom};
    SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &box, nullptr, 0, nullptr);
}

// A stretch of the band in a mode: its colour, or, in high contrast, its hatching over the
// window's colour, framed so that the user's own values show as an empty box.
void BandBox(HDC dc, const RECT& box, int mode, const HistoryPalette& palette)
{
    const int index = mode >= 0 && mode <= AMBREL_PAUSED_MODE ? mode : 2;
    if (!palette.hatched) {
        FillBox(dc, box.left, box.top, box.right, box.bottom, Colour(palette.band[index]));
        return;
    }
    FillBox(dc, box.left, box.top, box.right, box.bottom, Colour(palette.background));
    const BandHatch hatch = HatchOfMode(mode);
    if (hatch != BandHatch::None) {
        const int style = hatch == BandHatch::Diagonal     ? HS_BDIAGONAL
                          : hatch == BandHatch::Horizontal ? HS_HORIZONTAL
                                                           : HS_DIAGCROSS;
        HBRUSH brush = CreateHatchBrush(style, Colour(palette.band[index]));
        if (brush != nullptr) {
            FillRect(dc, &box, brush);
            DeleteObject(brush);
        }
    }
    HBRUSH frame = CreateSolidBrush(Colour(palette.band[index]));
    if (frame != nullptr) {
        FrameRect(dc, &box, frame);
        DeleteObject(frame);
    }
}

void DrawScales(HDC dc, const HistoryGraph& graph, int textHeight, bool performance,
                const HistoryPalette& palette, const TextTable& words)
{
    const GraphBox& plot = graph.plot;
    const int pad = textHeight / 3;
    SelectedPen grid = SelectPen(dc, PS_SOLID, 1, Colour(palette.grid));
    for (int t = graph.lowest; t <= graph.highest; t += graph.step) {
        const int y = TemperatureY(graph, t);
        HorizontalLine(dc, plot.left, plot.right, y);
        Number(dc, plot.left - pad, y - textHeight / 2, t, IDS_DEGREES, words, TA_RIGHT | TA_TOP);
    }
    // Labels from the left; one that would run into the last one drawn is left out.
    int free = plot.left - textHeight;
    for (int minutes = graph.spanMinutes; minutes >= 0; minutes -= graph.tickMinutes) {
        const int x = MinutesAgoX(graph, minutes);
        MoveToEx(dc, x, plot.top, nullptr);
        LineTo(dc, x, graph.band.bottom);
        char16_t label[LABEL_SIZE];
        ComposeAxisLabel(label, LABEL_SIZE, minutes, graph.spanMinutes, graph.tickMinutes, words);
        const int width = TextWidth(dc, label);
        const int left = minutes == graph.spanMinutes ? x
                         : minutes == 0               ? x - width
                                                      : x - width / 2;
        if (left < free)
            continue;
        Text(dc, left, graph.band.bottom + textHeight / 8, Wide(label), TA_LEFT | TA_TOP);
        free = left + width + pad;
    }
    DropPen(dc, grid);
    if (!performance)
        return;
    const int step = graph.percentTop <= 4 * PERCENT_STEP ? PERCENT_STEP : 2 * PERCENT_STEP;
    for (int percent = 0; percent <= graph.percentTop; percent += step)
        Number(dc, plot.right + pad, PercentY(graph, percent) - textHeight / 2, percent,
               IDS_PERCENT, words, TA_LEFT | TA_TOP);
}

void ReleaseBitmap(CachedBitmap& cached)
{
    if (cached.dc != nullptr) {
        SelectObject(cached.dc, cached.previous);
        DeleteDC(cached.dc);
    }
    if (cached.bitmap != nullptr)
        DeleteObject(cached.bitmap);
    cached = CachedBitmap{};
}

// A bitmap of width x height compatible with target, kept while its size stays; false when it
// cannot be made. made says that it is new and holds nothing yet.
bool PrepareBitmap(CachedBitmap& cached, HDC target, int width, int height, bool& made)
{
    made = false;
    if (cached.dc != nullptr && cached.width == width && cached.height == height)
        return true;
    ReleaseBitmap(cached);
    cached.dc = CreateCompatibleDC(target);
    cached.bitmap = CreateCompatibleBitmap(target, width, height);
    if (cached.dc == nullptr || cached.bitmap == nullptr) {
        ReleaseBitmap(cached);
        return false;
    }
    cached.previous = SelectObject(cached.dc, cached.bitmap);
    cached.width = width;
    cached.height = height;
    made = true;
    return true;
}

SelectedFont SelectFont(HDC dc, HFONT font, const HistoryPalette& palette)
{
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Colour(palette.text));
    return {dc, font != nullptr ? SelectObject(dc, font) : nullptr};
}

void DropFont(SelectedFont& selected)
{
    if (selected.previous != nullptr)
        SelectObject(selected.dc, selected.previous);
    selected.previous = nullptr;
}

void RangeLabel(char16_t* label, int32_t minutes, const TextTable& words)
{
    if (minutes == HISTORY_BY_DAY)
        TextWriter(label, LABEL_SIZE).Add(words[IDS_RANGE_BY_DAY]);
    else if (minutes == HISTORY_WEEK)
        ComposeQuantity(label, LABEL_SIZE, minutes / MINUTES_A_DAY, IDS_RANGE_DAYS, words);
    else if (minutes == HISTORY_DAY)
        ComposeQuantity(label, LABEL_SIZE, minutes / 60, IDS_RANGE_HOURS, words);
    else
        ComposeQuantity(label, LABEL_SIZE, minutes, IDS_RANGE_MINUTES, words);
}

// A short line as the legend's mark of a line in the graph.
void LineMark(HDC dc, int left, int right, int y, int width, COLORREF colour)
{
    SelectedPen pen = SelectPen(dc, PS_SOLID, width, colour);
    HorizontalLine(dc, left, right, y);
    DropPen(dc, pen);
}
