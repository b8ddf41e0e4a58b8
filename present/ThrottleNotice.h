// The notification shown when the cap first lowers a value below the user's own setting: once
// per episode, and armed again only after the cap has lowered nothing for a while, so that a
// machine that hovers around the threshold does not keep notifying. The ongoing state belongs to
// the icon and the tooltip. The first cap of a run seen without effect is told once too.
// Platform-free; the caller hands in a millisecond clock.
#pragma once

#include "power/Ambrel.h"

#include <cstdint>

// How long the cap must have lowered nothing before the next lowering step notifies again.
const uint64_t NOTICE_REARM_MS = AMBREL_EPISODE_QUIET_MS;

class ThrottleNotice
{
  public:
    // Takes each report of whether the cap lowers something, with the time it was reported at;
    // true when this report is the first lowering of an episode that is to be notified.
    bool Observe(bool lowered, uint64_t nowMs);
    // Takes what each report says of the cap's effect (CAP_EFFECT_*): true only the first time in
    // the run that a cap has none. Never again after that: the state is in the tooltip.
    bool FirstNoEffect(int32_t effect);

  private:
    bool lastLowered = false;
    // Whether an episode has been notified, and since when the cap lowers nothing.
    bool notified = false;
    uint64_t backSinceMs = 0;
    bool noEffectNotified = false;
};
