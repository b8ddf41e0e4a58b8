#include "watch/CapEffect.h"

void CapEffectCheck::Forget(uint64_t nowMs)
{
    count = 0;
    next = 0;
    lastSampleMs = nowMs;
}

void CapEffectCheck::Add(const ProcessorSample& sample, uint64_t nowMs)
{
    const int32_t busy = sample.busy < 0 ? 0 : sample.busy > 100 ? 100 : sample.busy;
    entries[next] = {nowMs, sample.performance < 0 ? 0 : sample.performance, busy};
    next = (next + 1) % CAP_EFFECT_CAPACITY;
    if (count < CAP_EFFECT_CAPACITY)
        ++count;
    lastSampleMs = nowMs;
}

// The mean of the busy readings within the window against the cap and its margins; too few busy
// readings leave the verdict as it was.
void CapEffectCheck::Judge(uint64_t nowMs)
{
    int64_t performanceSum = 0, busySum = 0;
    int busyReadings = 0, readings = 0;
    for (int i = 0; i < count; ++i) {
        const Entry& entry = entries[i];
        if (nowMs - entry.atMs >= CAP_EFFECT_WINDOW_MS)
            continue;
        ++readings;
        busySum += entry.busy;
        if (entry.busy >= CAP_EFFECT_BUSY_PERCENT) {
            ++busyReadings;
            performanceSum += entry.performance;
        }
    }
    if (busyReadings < CAP_EFFECT_BUSY_READINGS)
        return;
    const int32_t performance =
        static_cast<int32_t>((performanceSum + busyReadings / 2) / busyReadings);
    const int32_t cap = static_cast<int32_t>(capSeen);
    int32_t effect = verdict.effect;
    if (performance <= cap + CAP_EFFECT_WORKS_MARGIN)
        effect = CAP_EFFECT_WORKS;
    else if (performance > cap + CAP_EFFECT_NONE_MARGIN)
        effect = CAP_EFFECT_NONE;
    if (effect == CAP_EFFECT_UNKNOWN)
        return;
    verdict = {effect, performance, static_cast<int32_t>((busySum + readings / 2) / readings)};
}

CapVerdict CapEffectCheck::Observe(uint32_t cap, bool lowered, bool available,
                                   const ProcessorSample& sample, uint64_t nowMs)
{
    if (!lowered || cap == 0) {
        Forget(nowMs);
        capSeen = 0;
        verdict = {CAP_EFFECT_OFF, 0, 0};
        return verdict;
    }
    if (!available) {
        Forget(nowMs);
        capSeen = cap;
        verdict = {CAP_EFFECT_UNAVAILABLE, 0, 0};
        return verdict;
    }
    if (cap != capSeen || verdict.effect == CAP_EFFECT_OFF ||
        verdict.effect == CAP_EFFECT_UNAVAILABLE) {
        Forget(nowMs);
        capSeen = cap;
        verdict = {CAP_EFFECT_UNKNOWN, 0, 0};
    }
    if (sample.ok) {
        Add(sample, nowMs);
        Judge(nowMs);
    } else if (nowMs - lastSampleMs >= CAP_EFFECT_WINDOW_MS) {
        // The counter has given nothing for a whole window: what was seen is too old to stand.
        Forget(nowMs);
        verdict = {CAP_EFFECT_UNKNOWN, 0, 0};
    }
    return verdict;
}
