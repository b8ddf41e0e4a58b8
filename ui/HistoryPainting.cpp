#include "ui/HistoryWindow.h"

#include "ui/HistoryDrawing.h"

#include "base/TextWriter.h"
#include "power/Ambrel.h"
#include "ui/SystemLook.h"

#include <cwchar>

// The history window's painting: the frame, the legend and the range's choice, the band, the
// columns and the content, drawn from the layout that the window made.

static_assert(sizeof(GraphPoint) == sizeof(POINT), "a laid-out point is drawn as a POINT");

// The frame is copied from its bitmap, what changes is drawn over it in the picture, and the
// picture goes to the screen in one blit, so the window never flickers.
void HistoryWindow::Paint(HWND window)
{
    PAINTSTRUCT paint;
    HDC target = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    bool newFrame = false, newPicture = false;
    if (PrepareBitmap(frame, target, client.right, client.bottom, newFrame) &&
        PrepareBitmap(picture, target, client.right, client.bottom, newPicture)) {
        if (newFrame || !frameDrawn) {
            DrawFrame(frame.dc, client.right, client.bottom);
            frameDrawn = true;
            ++framesDrawn;
        }
        // Only what is due goes to the screen, so only that much of the picture is made anew.
        const RECT& due = paint.rcPaint;
        BitBlt(picture.dc, due.left, due.top, due.right - due.left, due.bottom - due.top, frame.dc,
               due.left, due.top, SRCCOPY);
        DrawContent(picture.dc, due);
        BitBlt(target, due.left, due.top, due.right - due.left, due.bottom - due.top, picture.dc,
               due.left, due.top, SRCCOPY);
    }
    ++paints;
    EndPaint(window, &paint);
}

// Each mark is as high as the text beside it; the names follow one another along the rows.
void HistoryWindow::DrawLegend(HDC dc) const
{
    const TextTable& words = *view.words;
    const int names[LEGEND_ENTRIES] = {IDS_LEGEND_TEMPERATURE, IDS_LEGEND_STATE, IDS_LEGEND_PAUSED,
                                       IDS_LEGEND_PERFORMANCE};
    const int mark = LegendMarkWidth(textHeight);
    for (int i = 0; i < LEGEND_ENTRIES; ++i) {
        if (legend.x[i] < 0)
            continue;
        const int x = legend.x[i];
        const int top = graph.legendTop + legend.row[i] * LegendRowHeight(textHeight);
        const int middle = top + textHeight / 2;
        if (i == LEGEND_TEMPERATURE) {
            LineMark(dc, x, x + mark, middle, Scaled(2, dpi), Colour(palette.temperature));
        } else if (i == LEGEND_STATE) {
            // The band's three modes side by side.
            for (int mode = 0; mode < 3; ++mode) {
                const RECT box = {x + mode * mark / 3, top + textHeight / 4,
                                  x + (mode + 1) * mark / 3 + (palette.hatched ? 1 : 0),
                                  top + textHeight * 3 / 4 + 1};
                BandBox(dc, box, mode, palette);
            }
        } else if (i == LEGEND_PAUSED) {
            const RECT box = {x, top + textHeight / 4, x + mark, top + textHeight * 3 / 4 + 1};
            BandBox(dc, box, AMBREL_PAUSED_MODE, palette);
        } else {
            LineMark(dc, x, x + mark, middle, 1, Colour(palette.performance));
        }
        Text(dc, x + mark + LegendGap(textHeight), top, Wide(words[names[i]]), TA_LEFT | TA_TOP);
    }
}

// Every range offered by name, the one shown framed: in every look, also in the system's colours.
void HistoryWindow::DrawRangeChoice(HDC dc) const
{
    const int pad = textHeight / 3;
    for (int i = 0; i < RangeCount(); ++i) {
        char16_t label[LABEL_SIZE];
        RangeLabel(label, HISTORY_RANGES[i], *view.words);
        const RECT& box = rangeBoxes[i];
        Text(dc, box.left + pad, box.top + pad / 2, Wide(label), TA_LEFT | TA_TOP);
        if (HISTORY_RANGES[i] != range)
            continue;
        HBRUSH brush = CreateSolidBrush(Colour(palette.text));
        if (brush != nullptr) {
            FrameRect(dc, &box, brush);
            DeleteObject(brush);
        }
    }
}

void HistoryWindow::DrawBand(HDC dc) const
{
    for (int i = 0; i < graph.segmentCount; ++i) {
        const BandSegment& segment = graph.segments[i];
        const RECT box = {segment.left, graph.band.top, segment.right, graph.band.bottom};
        BandBox(dc, box, segment.mode, palette);
    }
}

// Each column at least as high as the half hour's line is thick, so that a steady reading shows.
void HistoryWindow::DrawColumns(HDC dc) const
{
    const int thick = Scaled(2, dpi);
    const COLORREF colour = Colour(palette.temperature);
    for (int i = 0; i < graph.columnCount; ++i) {
        const DayColumn& column = graph.columns[i];
        const int bottom =
            column.bottom + 1 > column.top + thick ? column.bottom + 1 : column.top + thick;
        FillBox(dc, column.left, column.top, column.right, bottom, colour);
    }
}

void HistoryWindow::DrawFrame(HDC dc, int width, int height)
{
    FillBox(dc, 0, 0, width, height, Colour(palette.background));
    SelectedFont selected = SelectFont(dc, font, palette);
    DrawLegend(dc);
    DrawRangeChoice(dc);
    DrawScales(dc, graph, textHeight, ShowsPerformance(), palette, *view.words);
    SelectedPen pen = SelectPen(dc, PS_DASH, 1, Colour(palette.threshold));
    HorizontalLine(dc, graph.plot.left, graph.plot.right, graph.throttleY);
    HorizontalLine(dc, graph.plot.left, graph.plot.right, graph.releaseY);
    DropPen(dc, pen);
    DropFont(selected);
}

// The line of text stops short of the range choice. Text is drawn only where it is due: when
// time alone moves the plot, the text stays as it is on the screen.
void HistoryWindow::DrawContent(HDC dc, const RECT& due)
{
    SelectedFont selected = SelectFont(dc, font, palette);
    const RECT room = {graph.plot.left, 0, rangeBoxes[0].left - textHeight / 3, graph.legendTop};
    RECT overlap;
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    if (IntersectRect(&overlap, &room, &due))
        ExtTextOutW(dc, graph.plot.left, textHeight / 4, ETO_CLIPPED, &room, Wide(line),
                    static_cast<UINT>(wcslen(Wide(line))), nullptr);
    DrawBand(dc);
    RECT summaryRows = {graph.plot.left, graph.summaryTop, graph.plot.right,
                        graph.summaryTop + SummaryRows() * LegendRowHeight(textHeight)};
    if (ShowsSummary() && IntersectRect(&overlap, &summaryRows, &due))
        DrawTextW(dc, Wide(summary), -1, &summaryRows,
                  DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    if (range == HISTORY_BY_DAY && view.kept != nullptr) {
        // The bars of the minutes lowered in the colour of the lowest step, the peaks over them.
        for (int i = 0; i < graph.columnCount; ++i) {
            const DayColumn& bar = graph.columns[i];
            const RECT box = {bar.left, bar.top, bar.right, bar.bottom + 1};
            BandBox(dc, box, 2, palette);
        }
    } else if ((range == HISTORY_DAY && view.day != nullptr) ||
               (range == HISTORY_WEEK && view.kept != nullptr)) {
        DrawColumns(dc);
        DropFont(selected);
        return;
    }
    SelectedPen pen = {};
    if (ShowsPerformance()) {
        pen = SelectPen(dc, PS_SOLID, 1, Colour(palette.performance));
        DrawLine(dc, graph.performance);
        DropPen(dc, pen);
    }
    pen = SelectPen(dc, PS_SOLID, Scaled(2, dpi), Colour(palette.temperature));
    DrawLine(dc, graph.temperature);
    DropPen(dc, pen);
    DropFont(selected);
}
