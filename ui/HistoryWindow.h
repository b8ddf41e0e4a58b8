// The history window: a small popup next to the notification area that draws the last half hour
// of temperature and throttle (and, where the counter exists, the processor's performance), or
// the last 24 hours minute by minute under a line that sums up today, from values handed in,
// with a legend, in the system's look (light, dark or high contrast, followed while it is open)
// and re-laid out for a new display scale. A click on "30 min" or "24 h", Tab, or the Left and
// Right keys switch the range, which is posted to the owner as rangeMessage for it to remember.
// Its window text, which screen readers announce as its name, carries the line of text. It
// closes itself on nothing: Esc and the loss of activation are posted to its owner as
// closeMessage, and the owner releases it. Main thread only; while it is not open it holds no
// window and no GDI object.
//
// What it costs while open: each new view is laid out and compared with what is shown, and only
// a change is drawn; the frame (ground, legend, range choice, scales, threshold lines) is kept in
// a bitmap while it stays the same, and the picture is composed in a second one that lives as
// long as the window.
#pragma once

#include "base/TextTable.h"
#include "ui/DayRing.h"
#include "ui/HistoryDrawing.h"
#include "ui/DayGraph.h"
#include "ui/HistoryGraph.h"
#include "ui/HistoryPalette.h"
#include "ui/HistoryRing.h"
#include "ui/TrayTooltip.h"

#include <windows.h>

// Posted to the owner with wParam HISTORY_CLOSE_KEY or HISTORY_CLOSE_DEACTIVATED.
const WPARAM HISTORY_CLOSE_KEY = 0;
const WPARAM HISTORY_CLOSE_DEACTIVATED = 1;

// The window's size in logical pixels (at 96 dpi); it is scaled for the display.
const int HISTORY_WIDTH = 520;
const int HISTORY_HEIGHT = 240;

// Room for the window text: the name around the line of text.
const size_t HISTORY_NAME_SIZE = TOOLTIP_SIZE + 64;

// What the window shows.
struct HistoryView {
    const HistoryRing* readings;
    // Null where the performance counter does not exist: no line and no scale.
    const HistoryRing* performance;
    TooltipFacts facts;
    int32_t throttleAt;
    int64_t nowMs;
    // The texts in the user's language; they outlive the window.
    const TextTable* words;
    // The minutes of the day up to the local minute now, and today's totals; null where there
    // are none (the half hour is shown).
    const DayRing* day;
    int32_t nowMinute;
    // The history kept across runs, brought up to the UTC minute now, and the local day today;
    // null where there is none (only the half hour and the day are offered).
    const HistoryStore* kept;
    int32_t nowUtcMinute;
    int32_t today;
};

class HistoryWindow
{
  public:
    HWND hwnd;
    HWND owner;
    UINT closeMessage;
    UINT rangeMessage;
    // Made for the scale of the window's display, anew when it changes.
    HFONT font;
    int dpi;
    // The scale that the system's metrics (the message font) are given for.
    int systemDpi;
    HistoryView view;
    HistoryPalette palette;
    // One of HISTORY_RANGES; the range asked for at the start, shown once it is offered (a view's
    // kept history comes after its window has opened) unless the user has chosen another.
    int32_t range;
    int32_t wanted;
    // The line of text, the day's summary and the window text made from them.
    char16_t line[TOOLTIP_SIZE];
    char16_t summary[TOOLTIP_SIZE];
    char16_t name[HISTORY_NAME_SIZE];
    // What the window stands beside.
    RECT anchor;
    // The height of a line of text and the room for a scale's labels, in the window's font.
    int textHeight;
    int labelWidth;
    // Where "30 min", "24 h", "7 d" and "Days" stand, for a click.
    RECT rangeBoxes[HISTORY_RANGE_COUNT];
    // The widths of the legend's names in the window's font, and where its entries stand as drawn.
    int32_t legendNames[LEGEND_ENTRIES];
    LegendLayout legend;
    // What is shown, and the next layout, compared with it; kept here so that nothing is
    // allocated while the window is open.
    HistoryGraph graph;
    HistoryGraph next;
    CachedBitmap frame;
    CachedBitmap picture;
    bool frameDrawn;
    // Paints made and frames drawn since the window opened.
    unsigned paints;
    unsigned framesDrawn;

    // Makes the window beside besides (the icon's rectangle, or the cursor), inside the work
    // area of its monitor, showing minutes (HISTORY_HALF_HOUR or HISTORY_DAY), shows and
    // activates it. False when it cannot be made.
    bool Open(HWND ownerWindow, UINT closeMessageId, UINT rangeMessageId, int32_t minutes,
              const RECT& besides, const HistoryView& shown);
    // Draws view anew.
    void Show(const HistoryView& shown);
    // The time that one column of the plot stands for as last laid out, in milliseconds: with
    // time alone, nothing moves sooner.
    int64_t ColumnMs() const;
    // Destroys the window and the font.
    void Release();

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HWND window);
    bool ShowsPerformance() const;
    // The legend's entries shown, with a pause or without, laid out across the window.
    void LayOutLegendOf(bool pause, LegendLayout& laidOut) const;
    // Lays view out anew and has it drawn where it differs from what is shown (or always).
    void Relayout(bool always);
    void ChooseRange(int32_t minutes);
    void OnClick(int x, int y);
    // The text's metrics in the window's font, and where the range choice stands.
    void Measure();
    // The ranges offered: the last two only with a history kept.
    int RangeCount() const { return view.kept != nullptr ? HISTORY_RANGE_COUNT : 2; }
    // The rows of the range's summary: the day's one, the days' two; none over the others.
    int32_t SummaryRows() const
    {
        return range == HISTORY_DAY && view.day != nullptr       ? 1
               : range == HISTORY_BY_DAY && view.kept != nullptr ? 2
                                                                 : 0;
    }
    bool ShowsSummary() const { return SummaryRows() > 0; }
    // The line of text, the summary and the window text, from view.
    void ComposeText();
    // The font and, without suggested, the place for dpi; with it, that rectangle.
    void Rescale(int newDpi, const RECT* suggested);
    void OnLookChange();
};
