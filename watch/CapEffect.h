// Whether a lowered maximum processor state takes effect: from the processor's performance (a
// percentage of its base frequency, above 100 while it boosts) and how busy it is, sampled at each
// reading while the cap lowers a value, it tells "works", "no effect" or "not known yet". Only a
// busy processor says anything: an idle one runs below any cap of its own accord, or boosts for
// moments whatever the cap says. Platform-free; the caller hands in the samples and a millisecond
// clock.
#pragma once

#include "watch/TempConversion.h"

#include <cstdint>


// A reading counts as busy from this share of the processor's time (its utility, at most 100):
// busy half of the time or more, Windows asks a processor for its higher performance states, so
// that one whose cap holds sits at the cap and one whose cap does not shows above it.
const int32_t CAP_EFFECT_BUSY_PERCENT = 50;
// The cap takes effect when the busy readings' performance stays at or below the cap plus this
// (at the 99 % step about the base frequency: no boost); it has none when they stay above the cap
// plus the second, larger margin. In between the last verdict holds.
const int32_t CAP_EFFECT_WORKS_MARGIN = 5;
const int32_t CAP_EFFECT_NONE_MARGIN = 10;
// The readings looked at: those of the last 30 s, of which this many must be busy (at the
// reading interval of 2 s, some 24 of the 30 s) before the check says anything.
const uint64_t CAP_EFFECT_WINDOW_MS = 30 * 1000;
const int CAP_EFFECT_BUSY_READINGS = 12;
// Room for the readings of a window, with some to spare for a shorter interval.
const int CAP_EFFECT_CAPACITY = 32;

// One sample of the processor's counters: valid when ok.
struct ProcessorSample {
    bool ok;
    int32_t performance; // percent of the base frequency
    int32_t busy;        // percent of the time, 0 to 100
};

// What the check says, with what it was seen on: the busy readings' mean performance and the
// window's mean busy share (both 0 while nothing has been seen).
struct CapVerdict {
    int32_t effect;
    int32_t performance;
    int32_t busy;
};

class CapEffectCheck
{
  public:
    // One reading: the cap in force (percent), whether it lowers some value (else nothing is
    // checked, and what was seen is forgotten), whether the counters exist, and the sample taken
    // (ignored unless ok). A new cap starts anew: what the processor did under another proves
    // nothing. A verdict holds while the processor idles; a counter that gives nothing for a
    // whole window makes it unknown again.
    CapVerdict Observe(uint32_t cap, bool lowered, bool available, const ProcessorSample& sample,
                       uint64_t nowMs);

  private:
    // Zeroed (as the watcher that holds it is) it has seen nothing and says CAP_EFFECT_OFF.
    struct Entry {
        uint64_t atMs;
        int32_t performance;
        int32_t busy;
    };
    Entry entries[CAP_EFFECT_CAPACITY];
    int count;
    int next;
    uint32_t capSeen;
    uint64_t lastSampleMs;
    CapVerdict verdict;

    void Forget(uint64_t nowMs);
    void Add(const ProcessorSample& sample, uint64_t nowMs);
    void Judge(uint64_t nowMs);
};
