// What --diagnose says of the processor: its performance and busy share now, and whether it
// boosts at all, seen while one of its cores is kept busy for a second (the only load --diagnose
// makes; it changes no setting). Through the same counters as the check of the cap's effect.
#pragma once

#include "watch/CapEffect.h"

// How long each look lasts.
const unsigned PROCESSOR_LOOK_MS = 1000;
// Above this performance, in percent of its base, the processor boosts.
const int PROCESSOR_BOOST_PERCENT = 100 + CAP_EFFECT_WORKS_MARGIN;

struct ProcessorLook {
    // The counters exist (Windows 8 on).
    bool available;
    // Over a second as the machine is, and over a second with one core kept busy.
    ProcessorSample now;
    ProcessorSample loaded;
};

ProcessorLook LookAtProcessor();
