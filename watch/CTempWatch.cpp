#include "watch/CTempWatch.h"

#include "base/Log.h"
#include "watch/WatchMessages.h"

#include <pdhmsg.h>

#include <cstring>
#include <new>

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
    TakeChoice();
    OpenCounter();
    // Restores what a run that did not end in order left, and reads the value in force (0 when
    // it cannot be read). Mode 0 is the user's own values: nothing is written until a step.
    // Every write of the controller goes through the keeper from here on.
    keeper.Start(ambrel.inForce);
    ambrel.setting = &keeper;
    TempReading reading = ReadTemperature();
    Step(reading);
    PostKeeperNews();
    Post(WM_TEMPINIT, ReportOf(reading));
    LogPrint("CTempWatch.callbackfnc() THREADCALLBACK_INIT\n");
}

void CTempWatch::OnTimeout()
{
    TakeChoice();
    TakePause();
    // A value that failed is written again while the mode holds. The user has switched
    // schemes: the current mode goes into the newly active one, looked up only while the
    // throttle is engaged: at mode 0 a reading makes no power call at all.
    if (keeper.retryDue || (ambrel.Engaged() && keeper.ActiveSchemeSwitched()))
        ambrel.SetPowerMode();
    TempReading reading = ReadTemperature();
    Step(reading);
    effect = capCheck.OnReading(query, ambrel.inForce, ambrel.lowered, GetTickCount64());
    PostKeeperNews();
    TempReport report = ReportOf(reading);
    if (reportDue || ReportChanged(lastPosted, report))
        Post(WM_TEMPCHANGE, report);
}

void CTempWatch::OnEnd()
{
    CloseCounter();
    WriteBackSaved();
    DropPendingChoice();
    LogPrint("CTempWatch.callbackfnc() THREADCALLBACK_END\n");
}

// Only a good reading steers: a sensor that stops answering must not walk the throttle up or
// down on a stale value.
void CTempWatch::Step(const TempReading& reading)
{
    if (reading.status == READING_OK)
        ambrel.OnTemperature(reading.temperature);
    else
        ambrel.OnNoReading(reading.temperature);
}

// A new zone is opened at once, so that this reading already comes from it, and starts without
// a reading to hold: the old zone's temperature must not stand in for it. A new threshold
// applies from this reading on.
void CTempWatch::TakeChoice()
{
    if (pendingChoice.load() == nullptr)
        return;
    WatchChoice* choice = pendingChoice.exchange(nullptr);
    if (choice == nullptr)
        return;
    ambrel.SetThrottleAt(choice->throttleAt);
    TakeBatteryChoice(choice->onBattery);
    if (std::strcmp(ZoneOrDefault(ZoneRead(choice->zone)), ZoneInForce()) != 0) {
        std::memcpy(zone, choice->zone, sizeof zone);
        zone[sizeof zone - 1] = '\0';
        reportDue = true;
        held = HeldReading{};
        if (query != nullptr) {
            CloseCounter();
            OpenCounter();
        }
    }
    delete choice;
}

// Left out, the battery values get their own settings back at once; included while the
// throttle is engaged, the current mode is put in force in them at once too (either way the
// mode is written again, which tells whether the cap still lowers anything). The tooltip names
// what is capped, so the next reading is reported.
void CTempWatch::TakeBatteryChoice(bool onBattery)
{
    if (onBattery == keeper.onBattery)
        return;
    keeper.SetOnBattery(onBattery);
    if (ambrel.Engaged())
        ambrel.SetPowerMode();
    reportDue = true;
}

// The pause takes effect before this tick's reading: paused, the reading takes no step and the
// report shows the pause; resumed or over, the reading counts again. The window learns how long
// the pause has left, which it shows and hands on to the viewers.
void CTempWatch::TakePause()
{
    const uint64_t now = GetTickCount64();
    const int64_t asked = pendingPause.exchange(0);
    bool changed = false;
    if (asked == PAUSE_RESUME)
        changed = ambrel.Resume();
    else if (asked > 0)
        changed = ambrel.Pause(now, static_cast<uint64_t>(asked));
    changed = ambrel.OnClock(now) || changed;
    if (!changed)
        return;
    reportDue = true;
    HWND hwnd = window != nullptr ? window->hwnd.load() : nullptr;
    const uint64_t left = ambrel.Paused() ? ambrel.pausedUntil - now : 0;
    if (hwnd != nullptr)
        PostMessageA(hwnd, WM_TEMPPAUSE, static_cast<WPARAM>((left + 999) / 1000), 0);
}

void CTempWatch::RequestPause(int minutes)
{
    pendingPause.store(minutes > 0 ? static_cast<int64_t>(minutes) * 60 * 1000 : PAUSE_RESUME);
}

bool CTempWatch::RequestChoice(const WatchChoice& choice)
{
    WatchChoice* copy = new (std::nothrow) WatchChoice(choice);
    if (copy == nullptr)
        return false;
    delete pendingChoice.exchange(copy);
    return true;
}

void CTempWatch::DropPendingChoice()
{
    delete pendingChoice.exchange(nullptr);
}

const char* CTempWatch::ZoneRead(const char* chosen) const
{
    return chosen[0] == '\0' && defaultIsHottest.load() ? HOTTEST_ZONE : chosen;
}

const char* CTempWatch::ZoneInForce() const
{
    return ZoneOrDefault(ZoneRead(zone));
}

// Only the default zone gives way, and only when the zone itself is missing: a zone the user
// chose stays, and is reported as not found.
bool CTempWatch::DefaultZoneMissing(PDH_STATUS status) const
{
    return zone[0] == '\0' && !defaultIsHottest.load() &&
           static_cast<DWORD>(status) == PDH_CSTATUS_NO_INSTANCE;
}

// Most machines name their zones otherwise than TZ01; a user who chose nothing still gets a
// reading.
void CTempWatch::FallBackToHottest()
{
    defaultIsHottest.store(true);
    announceHottest = true;
    held = HeldReading{};
    reportDue = true;
}

void CTempWatch::AnnounceHottest(const char* hottest)
{
    announceHottest = false;
    LogPrint("CTempWatch: no thermal zone %s; reading the hottest zone instead, now %s\n",
             DEFAULT_ZONE, hottest != nullptr ? hottest : "none");
}

void CTempWatch::OpenCounter()
{
    PDH_STATUS status = PdhOpenQueryA(nullptr, 0, &query);
    if (status != ERROR_SUCCESS) {
        query = nullptr;
        LogPrint("PdhOpenQuery = %d", static_cast<int>(status));
        return;
    }
    status = AddZoneCounter(query, ZoneInForce(), counter, wholeKelvin);
    if (DefaultZoneMissing(status)) {
        FallBackToHottest();
        status = AddZoneCounter(query, ZoneInForce(), counter, wholeKelvin);
    }
    if (status != ERROR_SUCCESS) {
        char path[ZONE_PATH_SIZE];
        ComposeZonePath(path, sizeof path, ZoneInForce(), HIGH_PRECISION_COUNTER);
        LogPrint("PdhAddCounter(%s) = %d", path, static_cast<int>(status));
    }
}

void CTempWatch::CloseCounter()
{
    if (query != nullptr) {
        PdhCloseQuery(query);
        query = nullptr;
    }
    counter = nullptr; // released with its query, as the cap's check's are
    capCheck.QueryClosed();
    wholeKelvin = false;
}

// Every scheme written into gets its own value back, where it still holds the program's.
void CTempWatch::WriteBackSaved()
{
    keeper.RestoreAll();
    ambrel.inForce = 0;
    ambrel.lowered = false;
}

TempReport CTempWatch::ReportOf(const TempReading& reading) const
{
    TempReport report = {reading.temperature, ambrel.ShownMode(),
                         reading.status,      static_cast<int32_t>(ambrel.inForce),
                         ambrel.lowered,      effect.effect,
                         effect.performance,  effect.busy};
    return report;
}

// The report counts as posted even when posting fails, so a lost report is not repeated. A
// change of status or of the cap goes first, so the window knows it when it draws the
// temperature.
void CTempWatch::Post(UINT message, const TempReport& report)
{
    // Once the main thread has cleared the handle the report is dropped: a null handle would
    // post it to this thread's own queue instead.
    HWND hwnd = window != nullptr ? window->hwnd.load() : nullptr;
    if (hwnd != nullptr) {
        if (report.status != lastPosted.status)
            PostMessageA(hwnd, WM_TEMPSTATUS, static_cast<WPARAM>(report.status), 0);
        if (report.inForce != lastPosted.inForce || report.lowered != lastPosted.lowered)
            PostMessageA(hwnd, WM_TEMPCAP, static_cast<WPARAM>(report.inForce),
                         static_cast<LPARAM>(report.lowered));
        if (EffectChanged(lastPosted, report))
            PostMessageA(hwnd, WM_TEMPEFFECT,
                         static_cast<WPARAM>((report.effect & 0xff) | ((report.busy & 0xff) << 8)),
                         static_cast<LPARAM>(report.performance));
        PostMessageA(hwnd, message, static_cast<WPARAM>(static_cast<INT_PTR>(report.temperature)),
                     static_cast<LPARAM>(report.mode));
    }
    lastPosted = report;
    reportDue = false;
}

// The scheme the cap went into, and a failed write, for the event log: 16 bytes fit the two
// parameters of a 64-bit program's message. Posted before the report, so that the window knows
// the scheme when it learns that the cap lowers something.
void CTempWatch::PostKeeperNews()
{
    static_assert(sizeof(WPARAM) + sizeof(LPARAM) == sizeof(SchemeId), "a scheme fits a message");
    HWND hwnd = window != nullptr ? window->hwnd.load() : nullptr;
    if (hwnd == nullptr)
        return;
    if (keeper.hasInForce && !(schemePosted && SameScheme(lastScheme, keeper.inForce))) {
        WPARAM first;
        LPARAM last;
        std::memcpy(&first, &keeper.inForce, sizeof first);
        std::memcpy(&last, reinterpret_cast<const char*>(&keeper.inForce) + sizeof first,
                    sizeof last);
        PostMessageA(hwnd, WM_TEMPSCHEME, first, last);
        lastScheme = keeper.inForce;
        schemePosted = true;
    }
    if (keeper.failure.due) {
        keeper.failure.due = false;
        PostMessageA(hwnd, WM_TEMPWRITEFAIL, static_cast<WPARAM>(keeper.failure.which),
                     static_cast<LPARAM>(keeper.failure.error));
    }
}

TempReading CTempWatch::Failed(int32_t status) const
{
    TempReading reading = {HeldTemperature(held), status};
    return reading;
}

TempReading CTempWatch::ReadTemperature()
{
    PDH_STATUS status = PdhCollectQueryData(query);
    if (status != ERROR_SUCCESS) {
        LogPrint("PdhCollectQueryData() = %d", static_cast<int>(status));
        return Failed(query != nullptr && counter == nullptr ? READING_NO_ZONE : READING_FAILED);
    }
    if (IsHottestZone(ZoneInForce())) {
        const char* hottest = nullptr;
        TempReading reading = ReadHottest(hottest);
        if (announceHottest)
            AnnounceHottest(hottest);
        return reading;
    }
    PDH_FMT_COUNTERVALUE value = {};
    status = FormattedReadStatus(
        PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, nullptr, &value), value);
    // Where a missing zone is noticed only now, the reading is taken again from all zones.
    if (DefaultZoneMissing(status)) {
        FallBackToHottest();
        CloseCounter();
        OpenCounter();
        return ReadTemperature();
    }
    if (status != ERROR_SUCCESS) {
        LogPrint("PdhGetFormattedCounterValue() = %d", static_cast<int>(status));
        return Failed(IsMissingZoneStatus(status) ? READING_NO_ZONE : READING_FAILED);
    }
    TempReading reading = {ZoneCelsius(value.longValue, wholeKelvin), READING_OK};
    HoldReading(held, reading.temperature);
    return reading;
}

// The highest plausible reading of all zones: a zone frozen at 0 K or 400 K must not throttle
// the machine for good. hottest gets that zone's name (valid until the next reading), or stays
// null.
TempReading CTempWatch::ReadHottest(const char*& hottest)
{
    ZoneReading readings[ZONE_ARRAY_ITEMS];
    DWORD count = 0;
    PDH_STATUS status = ReadZoneArray(counter, wholeKelvin, zoneArray, readings, count);
    if (status != ERROR_SUCCESS) {
        LogPrint("PdhGetFormattedCounterArray() = %d", static_cast<int>(status));
        return Failed(IsMissingZoneStatus(status) ? READING_NO_ZONE : READING_FAILED);
    }
    if (count == 0)
        return Failed(READING_NO_ZONE);
    int index = HottestZone(readings, static_cast<int>(count));
    if (index < 0)
        return Failed(READING_FAILED);
    hottest = zoneArray.items[index].szName;
    TempReading reading = {readings[index].celsius, READING_OK};
    HoldReading(held, reading.temperature);
    return reading;
}

void CTempWatch::Stop()
{
    CiThreadEx::Stop();
    window = nullptr;
    schemePosted = false;
    lastPosted = TempReport{};
    effect = CapVerdict{};
    held = HeldReading{};
}

void CTempWatch::Close()
{
    Stop();
    WriteBackSaved();
    CloseCounter();
    DropPendingChoice();
    CiThreadEx::Close();
}
