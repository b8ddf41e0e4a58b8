// The check of the cap's effect on the worker: while a cap lowers a value, and only then, a query
// on the processor's performance and busy share is open and sampled once per reading, and
// CapEffectCheck judges the samples. At rest nothing of it is open. Worker thread only.
#pragma once

#include "watch/CapEffect.h"
#include "watch/PerformanceCounter.h"

#include <cstdint>

class CapCheck
{
  public:
    PerformanceCounter counter;
    CapEffectCheck judge;
    // The query is open.
    bool open;
    // The counters could not be had in this episode of the cap: not looked for again until the
    // cap lowers nothing, so that a system without them makes no PDH call per reading.
    bool missing;

    // One reading: the cap in force (percent) and whether it lowers a value. Opens the query when
    // a cap begins to lower (its first collection sets the base of the rates, so the first sample
    // comes a reading later), samples it while the cap lowers, closes it when it no longer does.
    CapVerdict OnReading(uint32_t cap, bool lowered, uint64_t nowMs);
    void Close();
};
