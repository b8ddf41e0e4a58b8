// The processor's actual performance as a percentage of its nominal frequency: whether a lowered
// maximum processor state takes effect. The history window opens one for its line, on the main
// thread while it is open; the watcher opens one with the busy share too, on the worker while a
// cap lowers a value (CapCheck). The counters exist from Windows 8 on; they are rates, so a value
// needs two collections.
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
    // Null when not open.
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
};
