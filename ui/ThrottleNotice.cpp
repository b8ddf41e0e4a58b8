#include "ui/ThrottleNotice.h"

#include "base/TextWriter.h"
#include "power/Ambrel.h"

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

void ComposeThrottleNotice(char16_t* text, size_t size, int32_t t, int32_t mode)
{
    if (size == 0)
        return;
    TextWriter(text, size)
        .Add(u"Ambrel lowered the maximum processor state to ")
        .AddNumber(ThrottlePercentOfMode(mode))
        .Add(u" % at ")
        .AddNumber(t)
        .Add(u" \u00B0C");
}
