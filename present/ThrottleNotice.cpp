#include "present/ThrottleNotice.h"

bool ThrottleNotice::Observe(bool lowered, uint64_t nowMs)
{
    const bool stepUp = !lastLowered && lowered;
    if (lastLowered && !lowered)
        backSinceMs = nowMs;
    lastLowered = lowered;
    if (!stepUp)
        return false;
    if (notified && nowMs - backSinceMs < NOTICE_REARM_MS)
        return false;
    notified = true;
    return true;
}
