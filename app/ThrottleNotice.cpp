#include "app/ThrottleNotice.h"

bool ThrottleNotice::Observe(int32_t mode, uint64_t nowMs)
{
    const bool stepUp = lastMode == 0 && mode != 0;
    if (lastMode != 0 && mode == 0)
        backSinceMs = nowMs;
    lastMode = mode;
    if (!stepUp)
        return false;
    if (notified && nowMs - backSinceMs < NOTICE_REARM_MS)
        return false;
    notified = true;
    return true;
}
