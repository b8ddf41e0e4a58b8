#include "present/HistoryPopup.h"

#include "base/LocalClock.h"
#include "base/Log.h"
#include "watch/TempConversion.h"

#include <new>

bool HistoryPopup::Open(HWND owner, const RECT& anchor, const char* zone, int32_t throttleAt,
                        int32_t inForce, int32_t minutes)
{
    if (open != nullptr)
        return true;
    open = new (std::nothrow) HistoryWhileOpen();
    if (open == nullptr) {
        LogPrint("HistoryPopup: no memory for the window\n");
        return false;
    }
    open->hasPerformance = open->counter.Open();
    if (!open->window.Open(owner, WM_HISTORYCLOSE, WM_HISTORYRANGE, minutes, anchor,
                           View(zone, throttleAt, inForce))) {
        LogPrint("CreateWindowEx(history) error=%lx\n", GetLastError());
        Close(owner);
        return false;
    }
    timerOwner = owner;
    timerMs = 0;
    Retime();
    openedAt = GetTickCount64();
    return true;
}

void HistoryPopup::Close(HWND owner)
{
    if (open == nullptr)
        return;
    KillTimer(owner, HISTORY_TIMER_ID);
    timerMs = 0;
    open->window.Release();
    open->counter.Close();
    delete open;
    open = nullptr;
}

bool HistoryPopup::JustDeactivated() const
{
    return deactivatedAt != 0 && GetTickCount64() - deactivatedAt < GetDoubleClickTime();
}

bool HistoryPopup::LostToSecondClick() const
{
    return open == nullptr && deactivatedAt >= openedAt &&
           deactivatedAt - openedAt < GetDoubleClickTime() && JustDeactivated();
}

void HistoryPopup::BringForward() const
{
    if (open != nullptr)
        SetForegroundWindow(open->window.hwnd);
}

void HistoryPopup::Refresh(const char* zone, int32_t throttleAt, int32_t inForce, bool sample)
{
    if (open == nullptr)
        return;
    if (sample && open->hasPerformance && open->window.range == HISTORY_HALF_HOUR) {
        int32_t percent = 0;
        bool taken = open->counter.Sample(percent);
        HistoryEntry entry = {static_cast<int64_t>(GetTickCount64()), percent, 0,
                              static_cast<int16_t>(taken ? READING_OK : READING_FAILED)};
        open->performance.Add(entry);
    }
    open->window.Show(View(zone, throttleAt, inForce));
    // The span grows with the history, and the plot's width with the window's scale.
    Retime();
}

void HistoryPopup::Retime()
{
    if (open == nullptr)
        return;
    const UINT period = TimerPeriod();
    if (period == timerMs)
        return;
    timerMs = period;
    SetTimer(timerOwner, HISTORY_TIMER_ID, period, nullptr);
}

UINT HistoryPopup::TimerPeriod() const
{
    if (open->window.range != HISTORY_HALF_HOUR)
        return HISTORY_DAY_TIMER_MS;
    if (open->hasPerformance && open->performance.count == 0)
        return HISTORY_FIRST_SAMPLE_MS;
    const int64_t column = open->window.ColumnMs();
    return column > HISTORY_TIMER_MS ? static_cast<UINT>(column) : HISTORY_TIMER_MS;
}

// The text line tells the last report; before any, there is no reading yet.
HistoryView HistoryPopup::View(const char* zone, int32_t throttleAt, int32_t inForce) const
{
    HistoryView view = {};
    view.readings = readings;
    view.performance = open != nullptr && open->hasPerformance ? &open->performance : nullptr;
    view.facts = {TEMP_NO_READING, 0,       READING_FAILED, zone,   nullptr,
                  false,           inForce, false,          nullptr};
    if (readings->count > 0) {
        const HistoryEntry& last = readings->At(readings->count - 1);
        view.facts.temperature = last.value;
        view.facts.mode = last.mode;
        view.facts.status = last.status;
    }
    view.facts.lowered = capLowered;
    view.facts.effect = capEffect;
    view.facts.performance = capPerformance;
    view.throttleAt = throttleAt;
    view.nowMs = static_cast<int64_t>(GetTickCount64());
    view.words = words;
    if (day != nullptr) {
        const int64_t local = LocalClockMs();
        day->Advance(view.nowMs, local);
        view.day = day;
        view.nowMinute = static_cast<int32_t>(local / MINUTE_MS);
    }
    if (kept != nullptr) {
        const int64_t utc = UtcClockMs();
        const int32_t offset = LocalOffsetMinutes(utc);
        kept->Advance(view.nowMs, utc, offset);
        view.kept = kept;
        view.nowUtcMinute = static_cast<int32_t>(utc / STORE_MINUTE_MS);
        view.today = static_cast<int32_t>((view.nowUtcMinute + offset) / MINUTES_A_DAY);
    }
    return view;
}
