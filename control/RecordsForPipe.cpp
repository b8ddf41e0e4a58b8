#include "control/RecordsForPipe.h"

#include <algorithm>

static_assert(PIPE_DAY_CAPACITY == DAY_MINUTES, "the pipe carries the whole day");

void HistoryToPipe(const HistoryRing& readings, int64_t nowMs, PipeHistory& history)
{
    const int count = std::min(readings.count, PIPE_HISTORY_CAPACITY);
    const int skipped = readings.count - count;
    history.count = count;
    for (int i = 0; i < count; ++i) {
        const HistoryEntry& entry = readings.At(skipped + i);
        const int64_t age = nowMs - entry.timeMs;
        history.samples[i] = {static_cast<uint32_t>(age < 0 ? 0 : age), entry.value, entry.mode,
                              entry.status};
    }
}

void DayToPipe(const DayRing& ring, int32_t now, PipeDay& day)
{
    day.episodes = ring.today.episodes;
    day.loweredSeconds = static_cast<uint32_t>(std::max<int64_t>(ring.today.loweredMs, 0) / 1000);
    day.peak = ring.today.peak;
    day.loweredNow = ring.lastLowered;
    day.count = 0;
    for (int i = 0; i < ring.count; ++i) {
        const DayMinute& entry = ring.At(i);
        const int32_t ago = now - entry.minute;
        if (ago < 0 || ago >= DAY_MINUTES)
            continue;
        day.minutes[day.count++] = {static_cast<uint16_t>(ago), entry.low, entry.high, entry.mode,
                                    entry.flags};
    }
}
