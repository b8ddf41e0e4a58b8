// The processor's actual performance as a percentage of its nominal frequency: whether a lowered
// maximum processor state takes effect. The history window opens a query of its own for its line,
// on the main thread while it is open; the check of the cap's effect adds the counters with the
// busy share to the watcher's query, on the worker while a cap lowers a value (CapCheck), so that
// the watcher's one collection per reading serves both; --diagnose opens one with the busy share.
// The counters exist from Windows 8 on; they are rates, so a value needs two collections.
#pragma once

#include "watch/CapEffect.h"

#include <windows.h>
#include <pdh.h>

#include <cstdint>

const char PERFORMANCE_COUNTER_PATH[] = "\\Processor Information(_Total)\\% Processor Performance";
// How busy the processor is: the share of its time at work, weighed by its performance as Task
// Manager shows it; where that is missing, the plain share of its time.
const char UTILITY_COUNTER_PATH[] = "\\Processor Information(_Total)\\% Processor Utility";
const char PROCESSOR_TIME_COUNTER_PATH[] = "\\Processor Information(_Total)\\% Processor Time";

class PerformanceCounter
{
  public:
    // Null when not open (also while the counters are in another's query).
    PDH_HQUERY query;
    PDH_HCOUNTER counter;
    // The busy share; null unless opened withBusy.
    PDH_HCOUNTER busy;

    // Opens the query, adds the counter by its English path (withBusy, the busy share too) and
    // takes the first collection. False (and nothing held) where a counter does not exist; that is
    // logged at the opening, never per sample.
    bool Open(bool withBusy = false);
    // Collects and formats a value: true with percent, false when no value could be had.
    bool Sample(int32_t& percent);
    // Collects once and formats both counters (opened withBusy); ok only when both gave a value.
    ProcessorSample SampleWithBusy();
    void Close();

    // The counters with the busy share in a query that another owns and collects: false (and
    // nothing added) where one does not exist. Read formats both from the owner's last collection.
    // Leave removes them; the owner's closing of its query releases them as well, and then only
    // Forget is left to do.
    bool Join(PDH_HQUERY owners);
    ProcessorSample Read() const;
    void Leave();
    void Forget();
};
