// What --diagnose says of the processor: its performance and busy share now, and whether it
// boosts at all, seen while one of its cores is kept busy for a second (the only load --diagnose
// makes; it changes no setting). Through the same counters as the check of the cap's effect.
#pragma once

#include "watch/CapEffect.h"

#include <cstddef>

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

// What --diagnose prints of a look, in English: at most two lines, each either said or counted
// as not read.
const int PROCESSOR_LINES = 2;
const size_t PROCESSOR_LINE_SIZE = 256;
struct ProcessorLines {
    char text[PROCESSOR_LINES][PROCESSOR_LINE_SIZE];
    bool unread[PROCESSOR_LINES];
};
// Returns how many lines it wrote.
int DescribeProcessorLook(const ProcessorLook& look, ProcessorLines& lines);
