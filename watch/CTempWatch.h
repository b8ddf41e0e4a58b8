// The temperature watcher: on the worker thread it opens the thermal-zone counter and reads the
// maximum processor state in force, writing nothing (mode 0 leaves the user's own values); then
// each tick it reads the temperature, runs the throttle controller and posts the report
// (temperature, mode, value in force) to the hidden window when it has changed. At the end it
// closes the counter and gives every value it wrote its own setting back.
#pragma once

#include "base/MessageWindow.h"
#include "power/Ambrel.h"
#include "power/SchemeKeeper.h"
#include "watch/CapCheck.h"
#include "watch/CiThreadEx.h"
#include "watch/TempConversion.h"
#include "watch/ZoneCounter.h"

#include <pdh.h>

#include <atomic>
#include <cstdint>

// The ACPI thermal zone TZ01, read when no zone has been chosen (where the machine has it); its
// value is the temperature in tenths of a kelvin.
const char CTEMPWATCH_COUNTER_PATH[] =
    "\\Thermal Zone Information(\\_TZ.TZ01)\\High Precision Temperature";

// What the user chose in the menu: handed from the main thread to the worker, which takes it up
// at its next reading.
struct WatchChoice {
    // A zone name, or HOTTEST_ZONE.
    char zone[ZONE_NAME_SIZE];
    // The upper threshold in °C.
    int32_t throttleAt;
    // The values used on battery are capped too.
    bool onBattery;
};

// CTempWatch::pendingPause: the end of a pause.
const int64_t PAUSE_RESUME = -1;

// One reading: the temperature (valid when status is READING_OK) and how the reading went.
struct TempReading {
    int32_t temperature;
    int32_t status;
};

class CTempWatch : public CiThreadEx
{
  public:
    // Null when not open.
    PDH_HQUERY query;
    // Null when not added.
    PDH_HCOUNTER counter;
    Ambrel ambrel;
    // Records each scheme's own value before the first write into it and gives it back at the end.
    SchemeKeeper keeper;
    // The record whose window receives the reports; set by the owner before the worker starts.
    MessageWindow* window;
    TempReport lastPosted;
    // The temperature shown while readings fail.
    HeldReading held;
    // The zone read; empty for DEFAULT_ZONE. Set by the owner before the worker starts, changed
    // later only by the worker through a WatchChoice.
    char zone[ZONE_NAME_SIZE];
    // No zone was chosen and this machine has no DEFAULT_ZONE: the hottest zone is read instead,
    // for the rest of the run. Set by the worker, read by the main thread for what it shows.
    std::atomic<bool> defaultIsHottest;
    // The hottest zone is named in the log at the next reading of it, after the fallback.
    bool announceHottest;
    // The counter in force is the plain one, in whole kelvin.
    bool wholeKelvin;
    // The next reading is reported even if it looks like the last one (the zone has changed,
    // and the tooltip names it).
    bool reportDue;
    // A choice made on the main thread and not yet taken up; owned by whoever holds the pointer.
    std::atomic<WatchChoice*> pendingChoice;
    // A pause asked for on the main thread and not yet taken up: its length in milliseconds,
    // PAUSE_RESUME to end one, or 0 for none.
    std::atomic<int64_t> pendingPause;
    // Room for reading every zone at once (Hottest zone), so that a reading allocates nothing.
    ZoneArrayBuffer zoneArray;
    // Whether the cap takes effect, checked while it lowers a value, and what it last said.
    CapCheck capCheck;
    CapVerdict effect;
    // The scheme last posted as WM_TEMPSCHEME; valid when schemePosted.
    SchemeId lastScheme;
    bool schemePosted;

    // The CiThreadEx callback; watcher is the CTempWatch itself.
    static void callbackfnc(int reason, void* watcher);
    // One reading. A failed one has the status that says why and the temperature to show: the
    // last good one, or TEMP_NO_READING before any.
    TempReading ReadTemperature();
    // Main thread: hands a choice to the worker, replacing one it has not taken up yet. Returns
    // false when there is no memory for it.
    bool RequestChoice(const WatchChoice& choice);
    // Main thread: hands a pause of minutes (or, with 0, the end of a pause) to the worker,
    // which takes it up at its next reading, replacing one it has not taken up yet.
    void RequestPause(int minutes);
    // Stops and joins the worker (whose END call has run by then), then forgets the window and
    // the last report.
    void Stop();
    // Final teardown: Stop, write back and close whatever END left, release the stop event.
    void Close();
    // Either thread: the zone that a choice (a zone name, HOTTEST_ZONE, or empty for the default
    // zone) is read as: HOTTEST_ZONE for the default zone where the machine lacks it.
    const char* ZoneRead(const char* chosen) const;

  private:
    void OnInit();
    void OnTimeout();
    void OnEnd();
    void Step(const TempReading& reading);
    void TakeChoice();
    void TakePause();
    void TakeBatteryChoice(bool onBattery);
    void OpenCounter();
    void CloseCounter();
    void WriteBackSaved();
    TempReport ReportOf(const TempReading& reading) const;
    void Post(UINT message, const TempReport& report);
    void PostKeeperNews();
    const char* ZoneInForce() const;
    bool DefaultZoneMissing(PDH_STATUS status) const;
    void FallBackToHottest();
    void AnnounceHottest(const char* hottest);
    TempReading ReadHottest(const char*& hottest);
    TempReading Failed(int32_t status) const;
    void DropPendingChoice();
};
