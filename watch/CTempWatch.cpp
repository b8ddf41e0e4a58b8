#include "watch/CTempWatch.h"

#include "app/Log.h"
#include "power/PowerSetting.h"
#include "ui/AppMessages.h"

void CTempWatch::callbackfnc(int reason, void* watcher)
{
    CTempWatch* self = static_cast<CTempWatch*>(watcher);
    switch (reason) {
    case THREADCALLBACK_INIT:
        self->OnInit();
        break;
    case THREADCALLBACK_TIMEOUT:
        self->OnTimeout();
        break;
    case THREADCALLBACK_END:
        self->OnEnd();
        break;
    default:
        break;
    }
}

void CTempWatch::OnInit()
{
    OpenCounter();
    // Restores what a run that did not end in order left, then saves (saved stays 0 when the
    // read fails).
    keeper.Start(ambrel.saved);
    ambrel.SetPowerMode();
    int t = ReadTemperature();
    ambrel.OnTemperature(t);
    TempReport report = {t, ambrel.mode};
    Post(WM_TEMPINIT, report);
    LogPrint("CTempWatch.callbackfnc() THREADCALLBACK_INIT\n");
}

void CTempWatch::OnTimeout()
{
    // The user has switched schemes: the current mode goes into the newly active one.
    if (keeper.ActiveSchemeSwitched())
        ambrel.SetPowerMode();
    int t = ReadTemperature();
    ambrel.OnTemperature(t);
    TempReport report = {t, ambrel.mode};
    if (ReportChanged(lastPosted, report))
        Post(WM_TEMPCHANGE, report);
}

void CTempWatch::OnEnd()
{
    CloseCounter();
    WriteBackSaved();
    LogPrint("CTempWatch.callbackfnc() THREADCALLBACK_END\n");
}

void CTempWatch::OpenCounter()
{
    PDH_STATUS status = PdhOpenQueryA(nullptr, 0, &query);
    if (status != ERROR_SUCCESS) {
        query = nullptr;
        LogPrint("PdhOpenQuery = %d", static_cast<int>(status));
        return;
    }
    status = PdhAddCounterA(query, CTEMPWATCH_COUNTER_PATH, 0, &counter);
    if (status != ERROR_SUCCESS) {
        counter = nullptr;
        LogPrint("PdhAddCounter(%s) = %d", CTEMPWATCH_COUNTER_PATH, static_cast<int>(status));
    }
}

void CTempWatch::CloseCounter()
{
    if (query != nullptr) {
        PdhCloseQuery(query);
        query = nullptr;
    }
    counter = nullptr; // released with its query
}

// Every scheme written into gets its own value back, where it still holds the program's.
void CTempWatch::WriteBackSaved()
{
    keeper.RestoreAll();
    ambrel.saved = 0;
}

// The pair counts as posted even when posting fails, so a lost report is not repeated.
void CTempWatch::Post(UINT message, const TempReport& report)
{
    // Once the main thread has cleared the handle the report is dropped: a null handle would
    // post it to this thread's own queue instead.
    HWND hwnd = window != nullptr ? window->hwnd.load() : nullptr;
    if (hwnd != nullptr)
        PostMessageA(hwnd, message, static_cast<WPARAM>(static_cast<INT_PTR>(report.temperature)),
                     static_cast<LPARAM>(report.mode));
    lastPosted = report;
}

int CTempWatch::ReadTemperature()
{
    PDH_STATUS status = PdhCollectQueryData(query);
    if (status != ERROR_SUCCESS) {
        LogPrint("PdhCollectQueryData() = %d", static_cast<int>(status));
        return HeldTemperature(held);
    }
    PDH_FMT_COUNTERVALUE value;
    status = PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, nullptr, &value);
    if (status != ERROR_SUCCESS) {
        LogPrint("PdhGetFormattedCounterValue() = %d", static_cast<int>(status));
        return HeldTemperature(held);
    }
    int t = CelsiusFromCounter(value.longValue);
    HoldReading(held, t);
    return t;
}

void CTempWatch::Stop()
{
    CiThreadEx::Stop();
    window = nullptr;
    lastPosted = TempReport{};
    held = HeldReading{};
}

void CTempWatch::Close()
{
    Stop();
    WriteBackSaved();
    CloseCounter();
    CiThreadEx::Close();
}
