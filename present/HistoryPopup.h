// The history window as the presenter opens it: the readings and the day recorded from the
// reports for the whole run (kept by the owner), and, only while the window is open, the window,
// the performance counter with its samples and a timer on the hidden window. Main thread only.
#pragma once

#include "base/TextTable.h"
#include "base/HistoryStore.h"
#include "ui/DayRing.h"
#include "ui/HistoryRing.h"
#include "ui/HistoryWindow.h"
#include "watch/PerformanceCounter.h"

#include <windows.h>

#include <cstdint>

// Posted by the window to the hidden window when it wants to close (wParam: why), and when the
// user has switched its range (wParam: the minutes now shown).
const UINT WM_HISTORYCLOSE = WM_USER + 20;
const UINT WM_HISTORYRANGE = WM_USER + 21;
// The timer on the hidden window that redraws the open window up to now and, over the half hour,
// samples the performance. Over the half hour it wakes once for each column of the plot (time
// alone moves nothing sooner; a report redraws at once), but not more often than every fourth
// reading: each wake-up costs a sample and, while the history is younger than the half hour and
// its line moves, a paint, some 25 context switches under Wine, and at rest the open window should
// cost less than twice what the tray costs alone. Over the day, whose smallest change is a
// minute, every 15 s and samples nothing. The first sample, which starts the performance line,
// comes one reading after the window opened.
const UINT_PTR HISTORY_TIMER_ID = 0x4849;
const UINT HISTORY_TIMER_MS = 8000;
const UINT HISTORY_FIRST_SAMPLE_MS = 2000;
const UINT HISTORY_DAY_TIMER_MS = 15000;

// What exists only while the window is open.
struct HistoryWhileOpen {
    HistoryWindow window;
    PerformanceCounter counter;
    HistoryRing performance;
    bool hasPerformance;
};

class HistoryPopup
{
  public:
    // The reports shown, kept by the owner: the controller's in the tray, the view's own in a
    // view. Set before Open.
    const HistoryRing* readings;
    // The day's minutes, kept by the owner as the readings are; brought up to now before they
    // are shown.
    DayRing* day;
    // The history kept across runs (the controller's in the tray); null where there is none.
    // Brought up to now before it is shown.
    HistoryStore* kept;
    // Null while the window is closed.
    HistoryWhileOpen* open;
    // When the window last opened, and last closed because it lost the activation
    // (GetTickCount64).
    ULONGLONG openedAt;
    ULONGLONG deactivatedAt;
    // Opened from the keyboard (Enter or Space on the icon): closed with Esc, it hands the focus
    // back to the notification area, as the menu does.
    bool openedFromKeyboard;
    // The texts of the window, in the user's language; they outlive the popup.
    const TextTable* words;
    // While the cap lowers a value, what the check of its effect says (CAP_EFFECT_*) and the
    // performance seen: the text line tells a cap without effect. Set with each report.
    bool capLowered;
    int32_t capEffect;
    int32_t capPerformance;
    // The window whose timer redraws the open one (the owner it was opened for), and the timer's
    // period (0 while none is set).
    HWND timerOwner;
    UINT timerMs;

    // Opens the window beside anchor over minutes (HISTORY_HALF_HOUR or HISTORY_DAY), its text
    // naming the zone and the maximum processor state in force (0 while unknown); false when it
    // cannot be made (nothing is then held).
    bool Open(HWND owner, const RECT& anchor, const char* zone, int32_t throttleAt, int32_t inForce,
              int32_t minutes);
    // Closes the window and releases the window, the counter and the timer.
    void Close(HWND owner);
    // True right after the window closed because it lost the activation: the click on the icon
    // that took it away is the second click, which closes, not one that opens again.
    bool JustDeactivated() const;
    // True when the window closed because it lost the activation within the double-click time
    // of its opening: to the second click of a double click on the icon, whose first click
    // opened it.
    bool LostToSecondClick() const;
    // Brings the open window to the front.
    void BringForward() const;
    // Redraws the open window up to now; with sample, also takes a performance sample (over the
    // half hour only).
    void Refresh(const char* zone, int32_t throttleAt, int32_t inForce, bool sample);
    // Sets the timer for what the open window shows (its range, the span and width of its plot)
    // when that needs another period.
    void Retime();

  private:
    HistoryView View(const char* zone, int32_t throttleAt, int32_t inForce) const;
    UINT TimerPeriod() const;
};
