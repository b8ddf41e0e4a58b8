// The notification shown when the throttle first steps up from 100 %: once per episode, and
// armed again only after the throttle has stayed at 100 % for a while, so that a machine that
// hovers around the threshold does not keep notifying. The ongoing state belongs to the icon and
// the tooltip. Platform-free; the caller hands in a millisecond clock.
#pragma once

#include <cstdint>

// How long the throttle must have been back at 100 % before the next step up notifies again.
const uint64_t NOTICE_REARM_MS = 10 * 60 * 1000;

class ThrottleNotice
{
  public:
    // Takes each mode reported, with the time it was reported at; true when this report is the
    // first step up from 100 % of an episode that is to be notified.
    bool Observe(int32_t mode, uint64_t nowMs);

  private:
    int32_t lastMode = 0;
    // Whether an episode has been notified, and since when the throttle is back at 100 %.
    bool notified = false;
    uint64_t backSinceMs = 0;
};
