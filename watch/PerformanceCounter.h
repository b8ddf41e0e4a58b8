// The processor's actual performance as a percentage of its nominal frequency, for the history
// window: whether a lowered maximum processor state takes effect. Its own PDH query, opened only
// while the window is open and used on the main thread. The counter exists from Windows 8 on;
// it is a rate, so a value needs two collections.
#pragma once

#include <windows.h>
#include <pdh.h>

#include <cstdint>

const char PERFORMANCE_COUNTER_PATH[] = "\\Processor Information(_Total)\\% Processor Performance";

class PerformanceCounter
{
  public:
    // Null when not open.
    PDH_HQUERY query;
    PDH_HCOUNTER counter;

    // Opens the query, adds the counter by its English path and takes the first collection.
    // False (and nothing held) where the counter does not exist; that is logged at the opening,
    // never per sample.
    bool Open();
    // Collects and formats a value: true with percent, false when no value could be had.
    bool Sample(int32_t& percent);
    void Close();
};
