// The history window: a small popup next to the notification area that draws the last half hour
// of temperature and throttle (and, where the counter exists, the processor's performance) from
// values handed in, with a legend, in the system's look (light, dark or high contrast, followed
// while it is open) and re-laid out for a new display scale. Its window text, which screen
// readers announce as its name, carries the line of text. It closes itself on nothing: Esc and the
// loss of activation are posted to its owner as closeMessage, and the owner releases it. Main
// thread only; while it is not open it holds no window and no GDI object.
#pragma once

#include "base/TextTable.h"
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
};

class HistoryWindow
{
  public:
    HWND hwnd;
    HWND owner;
    UINT closeMessage;
    // Made for the scale of the window's display, anew when it changes.
    HFONT font;
    int dpi;
    // The scale that the system's metrics (the message font) are given for.
    int systemDpi;
    HistoryView view;
    HistoryPalette palette;
    // The line of text and the window text made from it.
    char16_t line[TOOLTIP_SIZE];
    char16_t name[HISTORY_NAME_SIZE];
    // What the window stands beside.
    RECT anchor;
    // Laid out at each paint; kept here so that a paint allocates nothing.
    HistoryGraph graph;

    // Makes the window beside besides (the icon's rectangle, or the cursor), inside the work
    // area of its monitor, shows and activates it. False when it cannot be made.
    bool Open(HWND ownerWindow, UINT closeMessageId, const RECT& besides, const HistoryView& shown);
    // Draws view anew.
    void Show(const HistoryView& shown);
    // Destroys the window and the font.
    void Release();

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HWND window);
    void Draw(HDC dc, int width, int height);
    void DrawLegend(HDC dc, int textHeight, bool performance) const;
    bool ShowsPause() const;
    void DrawBand(HDC dc) const;
    // The line of text and the window text, from view.
    void ComposeText();
    // The font and, without suggested, the place for dpi; with it, that rectangle.
    void Rescale(int newDpi, const RECT* suggested);
    void OnLookChange();
};

// The rectangle of the tray icon on the screen: Shell_NotifyIconGetRect where the system has it
// (Windows 7 on), otherwise a one-pixel rectangle at the cursor.
RECT TrayIconAnchor(HWND trayWindow, UINT iconId);
