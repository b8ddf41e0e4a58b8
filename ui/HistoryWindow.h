// The history window: a small popup next to the notification area that draws the last half hour
// of temperature and throttle (and, where the counter exists, the processor's performance) from
// values handed in. It closes itself on nothing: Esc and the loss of activation are posted to
// its owner as closeMessage, and the owner releases it. Main thread only; while it is not open
// it holds no window and no GDI object.
#pragma once

#include "ui/HistoryGraph.h"
#include "ui/HistoryRing.h"
#include "ui/TrayTooltip.h"

#include <windows.h>

// Posted to the owner with wParam HISTORY_CLOSE_KEY or HISTORY_CLOSE_DEACTIVATED.
const WPARAM HISTORY_CLOSE_KEY = 0;
const WPARAM HISTORY_CLOSE_DEACTIVATED = 1;

// The window's size in logical pixels (at 96 dpi); it is scaled for the display.
const int HISTORY_WIDTH = 360;
const int HISTORY_HEIGHT = 200;

// What the window shows.
struct HistoryView {
    const HistoryRing* readings;
    // Null where the performance counter does not exist: no line and no scale.
    const HistoryRing* performance;
    TooltipFacts facts;
    int32_t throttleAt;
    int64_t nowMs;
};

class HistoryWindow
{
  public:
    HWND hwnd;
    HWND owner;
    UINT closeMessage;
    // Made for the display's scale when the window opens.
    HFONT font;
    int dpi;
    HistoryView view;
    // Laid out at each paint; kept here so that a paint allocates nothing.
    HistoryGraph graph;

    // Makes the window beside anchor (the icon's rectangle, or the cursor), inside the work area
    // of anchor's monitor, shows and activates it. False when it cannot be made.
    bool Open(HWND ownerWindow, UINT closeMessageId, const RECT& anchor, const HistoryView& shown);
    // Draws view anew.
    void Show(const HistoryView& shown);
    // Destroys the window and the font.
    void Release();

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HWND window);
    void Draw(HDC dc, int width, int height);
};

// The rectangle of the tray icon on the screen: Shell_NotifyIconGetRect where the system has it
// (Windows 7 on), otherwise a one-pixel rectangle at the cursor.
RECT TrayIconAnchor(HWND trayWindow, UINT iconId);
