#include "ui/HistoryPainting.h"

#include "ui/HistoryDrawing.h"

#include "base/TextWriter.h"
#include "power/Ambrel.h"
#include "ui/SystemLook.h"

#include <cwchar>

static_assert(sizeof(GraphPoint) == sizeof(POINT), "a laid-out point is drawn as a POINT");

namespace
{

// Each mark is as high as the text beside it; the names follow one another along the rows.
void DrawLegend(HDC dc, const HistoryPicture& p)
{
    const TextTable& words = *p.words;
    const int names[LEGEND_ENTRIES] = {IDS_LEGEND_TEMPERATURE, IDS_LEGEND_STATE, IDS_LEGEND_PAUSED,
                                       IDS_LEGEND_PERFORMANCE};
    const int mark = LegendMarkWidth(p.textHeight);
    for (int i = 0; i < LEGEND_ENTRIES; ++i) {
        if (p.legend->x[i] < 0)
            continue;
        const int x = p.legend->x[i];
        const int top = p.graph->legendTop + p.legend->row[i] * LegendRowHeight(p.textHeight);
        const int middle = top + p.textHeight / 2;
        if (i == LEGEND_TEMPERATURE) {
            LineMark(dc, x, x + mark, middle, Scaled(2, p.dpi), Colour(p.palette->temperature));
        } else if (i == LEGEND_STATE) {
            // The band's three modes side by side.
            for (int mode = 0; mode < 3; ++mode) {
                const RECT box = {x + mode * mark / 3, top + p.textHeight / 4,
                                  x + (mode + 1) * mark / 3 + (p.palette->hatched ? 1 : 0),
                                  top + p.textHeight * 3 / 4 + 1};
                BandBox(dc, box, mode, *p.palette);
            }
        } else if (i == LEGEND_PAUSED) {
            const RECT box = {x, top + p.textHeight / 4, x + mark, top + p.textHeight * 3 / 4 + 1};
            BandBox(dc, box, AMBREL_PAUSED_MODE, *p.palette);
        } else {
            LineMark(dc, x, x + mark, middle, 1, Colour(p.palette->performance));
        }
        Text(dc, x + mark + LegendGap(p.textHeight), top, Wide(words[names[i]]), TA_LEFT | TA_TOP);
    }
}

// Both ranges by name, the one shown framed: in every look, also in the system's colours.
void DrawRangeChoice(HDC dc, const HistoryPicture& p)
{
    const int pad = p.textHeight / 3;
    for (int i = 0; i < 2; ++i) {
        char16_t label[LABEL_SIZE];
        RangeLabel(label, RANGES[i], *p.words);
        const RECT& box = p.rangeBoxes[i];
        Text(dc, box.left + pad, box.top + pad / 2, Wide(label), TA_LEFT | TA_TOP);
        if (RANGES[i] != p.range)
            continue;
        HBRUSH brush = CreateSolidBrush(Colour(p.palette->text));
        if (brush != nullptr) {
            FrameRect(dc, &box, brush);
            DeleteObject(brush);
        }
    }
}

void DrawBand(HDC dc, const HistoryPicture& p)
{
    for (int i = 0; i < p.graph->segmentCount; ++i) {
        const BandSegment& segment = p.graph->segments[i];
        const RECT box = {segment.left, p.graph->band.top, segment.right, p.graph->band.bottom};
        BandBox(dc, box, segment.mode, *p.palette);
    }
}

// Each column at least as high as the half hour's line is thick, so that a steady reading shows.
void DrawColumns(HDC dc, const HistoryPicture& p)
{
    const int thick = Scaled(2, p.dpi);
    const COLORREF colour = Colour(p.palette->temperature);
    for (int i = 0; i < p.graph->columnCount; ++i) {
        const DayColumn& column = p.graph->columns[i];
        const int bottom =
            column.bottom + 1 > column.top + thick ? column.bottom + 1 : column.top + thick;
        FillBox(dc, column.left, column.top, column.right, bottom, colour);
    }
}

} // namespace

void DrawHistoryFrame(HDC dc, const HistoryPicture& p, int width, int height)
{
    FillBox(dc, 0, 0, width, height, Colour(p.palette->background));
    SelectedFont selected = SelectFont(dc, p.font, *p.palette);
    DrawLegend(dc, p);
    DrawRangeChoice(dc, p);
    DrawScales(dc, *p.graph, p.textHeight, p.performance, *p.palette, *p.words);
    SelectedPen pen = SelectPen(dc, PS_DASH, 1, Colour(p.palette->threshold));
    HorizontalLine(dc, p.graph->plot.left, p.graph->plot.right, p.graph->throttleY);
    HorizontalLine(dc, p.graph->plot.left, p.graph->plot.right, p.graph->releaseY);
    DropPen(dc, pen);
    DropFont(selected);
}

// The line of text stops short of the range choice. Text is drawn only where it is due: when
// time alone moves the plot, the text stays as it is on the screen.
void DrawHistoryContent(HDC dc, const HistoryPicture& p, const RECT& due)
{
    SelectedFont selected = SelectFont(dc, p.font, *p.palette);
    const RECT room = {p.graph->plot.left, 0, p.rangeBoxes[0].left - p.textHeight / 3,
                       p.graph->legendTop};
    RECT overlap;
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    if (IntersectRect(&overlap, &room, &due))
        ExtTextOutW(dc, p.graph->plot.left, p.textHeight / 4, ETO_CLIPPED, &room, Wide(p.line),
                    static_cast<UINT>(wcslen(Wide(p.line))), nullptr);
    DrawBand(dc, p);
    if (p.day) {
        const RECT summaryRow = {p.graph->plot.left, p.graph->summaryTop, p.graph->plot.right,
                                 p.graph->summaryTop + p.textHeight};
        if (IntersectRect(&overlap, &summaryRow, &due))
            Text(dc, p.graph->plot.left, p.graph->summaryTop, Wide(p.summary), TA_LEFT | TA_TOP);
        DrawColumns(dc, p);
        DropFont(selected);
        return;
    }
    SelectedPen pen = {};
    if (p.performance) {
        pen = SelectPen(dc, PS_SOLID, 1, Colour(p.palette->performance));
        DrawLine(dc, p.graph->performance);
        DropPen(dc, pen);
    }
    pen = SelectPen(dc, PS_SOLID, Scaled(2, p.dpi), Colour(p.palette->temperature));
    DrawLine(dc, p.graph->temperature);
    DropPen(dc, pen);
    DropFont(selected);
}
