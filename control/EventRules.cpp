#include "control/EventRules.h"

#include <algorithm>

bool EventRules::Admit(uint64_t nowMs)
{
    if (used == EVENT_LIMIT_PER_HOUR && nowMs - admitted[next] < EVENT_LIMIT_WINDOW_MS) {
        ++refused;
        return false;
    }
    admitted[next] = nowMs;
    next = (next + 1) % EVENT_LIMIT_PER_HOUR;
    used = std::min(used + 1, EVENT_LIMIT_PER_HOUR);
    return true;
}

// The episode lasted until the values came back (or until now, while they are still lowered);
// its pending failure report goes with it.
EpisodeNews EventRules::Close(uint64_t endMs, uint64_t nowMs)
{
    EpisodeNews news = {};
    open = false;
    failureReported = false;
    noEffectReported = false;
    news.durationMs = endMs - startMs;
    news.peak = peak;
    news.ended = Admit(nowMs);
    return news;
}

EpisodeNews EventRules::OnQuiet(uint64_t nowMs)
{
    if (!open || lowered || nowMs - backSinceMs < EPISODE_QUIET_MS)
        return EpisodeNews{};
    return Close(backSinceMs, nowMs);
}

EpisodeNews EventRules::OnEnd(uint64_t nowMs)
{
    if (!open)
        return EpisodeNews{};
    return Close(lowered ? nowMs : backSinceMs, nowMs);
}

EpisodeNews EventRules::OnReport(bool nowLowered, int32_t t, bool good, uint64_t nowMs)
{
    EpisodeNews news = OnQuiet(nowMs);
    if (lowered && !nowLowered)
        backSinceMs = nowMs;
    const bool stepUp = !lowered && nowLowered;
    lowered = nowLowered;
    if (stepUp && !open) {
        open = true;
        startMs = nowMs;
        peak = t;
        news.began = Admit(nowMs);
    } else if (open && good && nowLowered) {
        peak = std::max(peak, t);
    }
    return news;
}

SensorNews EventRules::OnStatus(bool ok, uint64_t nowMs)
{
    SensorNews news = {};
    if (ok == !failing)
        return news;
    failing = !ok;
    if (failing) {
        failingSinceMs = nowMs;
        news.failing = Admit(nowMs);
    } else {
        news.failedMs = nowMs - failingSinceMs;
        news.reading = Admit(nowMs);
    }
    return news;
}

bool EventRules::OnWriteFailed(uint64_t nowMs)
{
    if (failureReported)
        return false;
    failureReported = true;
    return Admit(nowMs);
}

// The flag goes with the episode (Close), as the write failure's does.
bool EventRules::OnNoEffect(uint64_t nowMs)
{
    if (noEffectReported)
        return false;
    noEffectReported = true;
    return Admit(nowMs);
}
