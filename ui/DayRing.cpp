#include "ui/DayRing.h"

#include "power/Ambrel.h"
#include "watch/TempConversion.h"

#include <algorithm>

namespace
{

const int64_t DAY_MS = DAY_MINUTES * MINUTE_MS;

int64_t FloorDivide(int64_t value, int64_t by)
{
    const int64_t q = value / by;
    return value % by != 0 && value < 0 ? q - 1 : q;
}

int16_t Narrow(int32_t celsius)
{
    return static_cast<int16_t>(std::min(std::max(celsius, -32768), 32767));
}

} // namespace

int32_t LocalMinute(int64_t localMs)
{
    return static_cast<int32_t>(FloorDivide(localMs, MINUTE_MS));
}

int32_t LocalDay(int64_t localMs)
{
    return static_cast<int32_t>(FloorDivide(localMs, DAY_MS));
}

bool DayRing::Add(int64_t monotonicMs, int64_t localMs, int32_t celsius, int32_t mode,
                  int32_t status, bool lowered)
{
    bool begun = true;
    if (started) {
        begun = Advance(monotonicMs, localMs);
        if (lowered && !lastLowered)
            ++today.episodes;
    } else {
        today = {LocalDay(localMs), lowered ? 1u : 0u, 0, TEMP_NO_READING};
        Append(LocalMinute(localMs));
    }
    if (status == READING_OK)
        today.peak = std::max(today.peak, celsius);
    Hold(Last(), celsius, mode, status, lowered);
    started = true;
    lastCelsius = celsius;
    lastMode = mode;
    lastStatus = status;
    lastLowered = lowered;
    lastMonotonicMs = monotonicMs;
    lastLocalMs = localMs;
    return begun;
}

bool DayRing::Advance(int64_t monotonicMs, int64_t localMs)
{
    if (!started)
        return false;
    FollowClockChange(monotonicMs, localMs);
    CountToday(monotonicMs, localMs);
    const bool begun = Fill(LocalMinute(localMs));
    lastMonotonicMs = monotonicMs;
    lastLocalMs = localMs;
    return begun;
}

// The monotonic clock tells how much time has really passed; the wall clock moves more or less
// when the user, the time zone or daylight saving time moves it. The minutes held are moved with
// it, so that each stays as long before now as it really was, and the columns carry the new
// clock's times. A drift of less than a minute (a time service's correction) is left alone.
void DayRing::FollowClockChange(int64_t monotonicMs, int64_t localMs)
{
    const int64_t drift = (localMs - lastLocalMs) - (monotonicMs - lastMonotonicMs);
    if (drift > -MINUTE_MS && drift < MINUTE_MS)
        return;
    const int32_t shift = static_cast<int32_t>(
        drift >= 0 ? (drift + MINUTE_MS / 2) / MINUTE_MS : -((-drift + MINUTE_MS / 2) / MINUTE_MS));
    for (int i = 0; i < count; ++i)
        minutes[(first + i) % DAY_MINUTES].minute += shift;
}

// At the first moment of a new day the totals begin again, with the reading and the cap then in
// force: a lowering that runs over midnight is today's first episode from midnight on.
void DayRing::CountToday(int64_t monotonicMs, int64_t localMs)
{
    const int64_t elapsed = std::max<int64_t>(monotonicMs - lastMonotonicMs, 0);
    const int32_t day = LocalDay(localMs);
    if (day == today.day) {
        if (lastLowered)
            today.loweredMs += elapsed;
        return;
    }
    const int64_t sinceMidnight = localMs - int64_t(day) * DAY_MS;
    today.day = day;
    today.episodes = lastLowered ? 1 : 0;
    today.loweredMs = lastLowered ? std::min(elapsed, sinceMidnight) : 0;
    today.peak = lastStatus == READING_OK ? lastCelsius : TEMP_NO_READING;
}

// The minutes since the last one held hold the last report; a gap of more than a day leaves only
// the last day's.
bool DayRing::Fill(int32_t now)
{
    const int32_t last = Last().minute;
    if (now <= last)
        return false;
    for (int32_t minute = std::max(last + 1, now - DAY_MINUTES + 1); minute <= now; ++minute) {
        Append(minute);
        Hold(Last(), lastCelsius, lastMode, lastStatus, lastLowered);
    }
    return true;
}

void DayRing::Append(int32_t minute)
{
    DayMinute& entry = minutes[(first + count) % DAY_MINUTES];
    if (count < DAY_MINUTES)
        ++count;
    else
        first = (first + 1) % DAY_MINUTES;
    entry = {minute, 0, 0, 0, 0};
}

void DayRing::Hold(DayMinute& entry, int32_t celsius, int32_t mode, int32_t status,
                   bool lowered) const
{
    if (status == READING_OK) {
        const int16_t value = Narrow(celsius);
        const bool had = (entry.flags & DAY_READING) != 0;
        entry.low = had ? std::min(entry.low, value) : value;
        entry.high = had ? std::max(entry.high, value) : value;
        entry.flags |= DAY_READING;
    }
    // While paused the user's own values are in force: no cap for the minute's column.
    const int32_t capMode = mode == AMBREL_PAUSED_MODE ? 0 : std::min(std::max(mode, 0), 2);
    entry.mode = static_cast<uint8_t>(std::max<int32_t>(entry.mode, capMode));
    if (lowered)
        entry.flags |= DAY_LOWERED;
}

DayMinute& DayRing::Last()
{
    return minutes[(first + count - 1) % DAY_MINUTES];
}

const DayMinute& DayRing::At(int index) const
{
    return minutes[(first + index) % DAY_MINUTES];
}

void DayRing::Clear()
{
    first = 0;
    count = 0;
    started = false;
    today = {0, 0, 0, TEMP_NO_READING};
    lastLowered = false;
}

void DayRing::Put(const DayMinute& entry)
{
    Append(entry.minute);
    Last() = entry;
}

void DayRing::Resume(const DayTotals& totals, bool loweredNow, int64_t monotonicMs, int64_t localMs)
{
    today = totals;
    started = count > 0;
    if (!started)
        return;
    const DayMinute& newest = Last();
    lastCelsius = newest.high;
    lastMode = newest.mode;
    lastStatus = (newest.flags & DAY_READING) != 0 ? READING_OK : READING_FAILED;
    lastLowered = loweredNow;
    lastMonotonicMs = monotonicMs;
    lastLocalMs = localMs;
}
