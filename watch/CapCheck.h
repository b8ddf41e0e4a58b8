// The check of the cap's effect on the worker: while a cap lowers a value, and only then, the
// processor's performance and busy share are counters of the watcher's own query, so that its one
// collection per reading serves them too, and CapEffectCheck judges each reading's values. At
// rest the query holds nothing of the processor. Worker thread only.
#pragma once

#include "watch/CapEffect.h"
#include "watch/PerformanceCounter.h"

#include <pdh.h>

#include <cstdint>

class CapCheck
{
  public:
    PerformanceCounter counter;
    CapEffectCheck judge;
    // The watcher's query that holds the processor's counters; null while none does.
    PDH_HQUERY joined;
    // The counters could not be had in this episode of the cap: not looked for again until the
    // cap lowers nothing, so that a system without them makes no PDH call per reading.
    bool missing;

    // One reading, after the watcher's collection of query: the cap in force (percent) and
    // whether it lowers a value. Adds the counters when a cap begins to lower (their first
    // collection sets the base of the rates, so the first value comes two readings later), reads
    // them while the cap lowers, removes them when it no longer does.
    CapVerdict OnReading(PDH_HQUERY query, uint32_t cap, bool lowered, uint64_t nowMs);
    // The watcher closes its query (a new zone, the end): the counters go with it.
    void QueryClosed();
};
