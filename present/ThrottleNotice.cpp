#include "present/ThrottleNotice.h"

#include "watch/CapEffect.h"

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

bool ThrottleNotice::FirstNoEffect(int32_t effect)
{
    if (noEffectNotified || effect != CAP_EFFECT_NONE)
        return false;
    noEffectNotified = true;
    return true;
}
