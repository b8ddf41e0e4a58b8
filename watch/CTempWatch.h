// The temperature watcher: on the worker thread it opens the thermal-zone counter, saves the
// current maximum processor state and puts mode 0 into force; then each tick it reads the
// temperature, runs the throttle controller and posts (temperature, mode) to the hidden window
// when the pair has changed. At the end it closes the counter and writes the saved state back.
#pragma once

#include "app/MessageWindow.h"
#include "power/Ambrel.h"
#include "power/SchemeKeeper.h"
#include "watch/CiThreadEx.h"
#include "watch/TempConversion.h"

#include <pdh.h>

#include <cstdint>

// The ACPI thermal zone TZ01; its value is the temperature in tenths of a kelvin.
const char CTEMPWATCH_COUNTER_PATH[] =
    "\\Thermal Zone Information(\\_TZ.TZ01)\\High Precision Temperature";

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
    // Stands in for a reading that fails.
    HeldReading held;

    // The CiThreadEx callback; watcher is the CTempWatch itself.
    static void callbackfnc(int reason, void* watcher);
    // One reading in °C; a failed reading repeats the last good one (TEMP_NO_READING before any).
    int ReadTemperature();
    // Stops and joins the worker (whose END call has run by then), then forgets the window and
    // the last report.
    void Stop();
    // Final teardown: Stop, write back and close whatever END left, release the stop event.
    void Close();

  private:
    void OnInit();
    void OnTimeout();
    void OnEnd();
    void OpenCounter();
    void CloseCounter();
    void WriteBackSaved();
    void Post(UINT message, const TempReport& report);
};
