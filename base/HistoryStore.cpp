#include "base/HistoryStore.h"

#include <algorithm>
#include <cstring>

namespace
{

int32_t MinuteOf(int64_t utcMs)
{
    return static_cast<int32_t>(DivideDown(utcMs, STORE_MINUTE_MS));
}

int Slot(int64_t value, int count)
{
    return static_cast<int>(value - DivideDown(value, count) * count);
}

int16_t Narrow(int32_t celsius)
{
    return static_cast<int16_t>(std::min(std::max(celsius, -32767), 32767));
}

uint16_t CountUp(uint16_t value, uint16_t bound)
{
    return value < bound ? static_cast<uint16_t>(value + 1) : bound;
}

} // namespace

int64_t DivideDown(int64_t value, int64_t by)
{
    const int64_t q = value / by;
    return value % by != 0 && (value < 0) != (by < 0) ? q - 1 : q;
}

void HistoryStore::Clear()
{
    newestMinute = 0;
    std::memset(minutes, 0, sizeof minutes);
    std::memset(days, 0, sizeof days);
    holding = false;
    held = HistorySample{};
    heldMonotonicMs = 0;
    heldUtcMs = 0;
    heldOffsetMinutes = 0;
}

// Within a run the minutes since the last report hold that report, and a moved clock moves the
// minutes with it. The first report of a run finds the minutes as the last run left them: a
// clock that has gone back since moves them back so that the newest is now, since how long the
// program was off is not known; a clock ahead of them leaves the minutes between empty.
void HistoryStore::Record(int64_t monotonicMs, int64_t utcMs, int32_t offsetMinutes,
                          const HistorySample& sample)
{
    const int32_t now = MinuteOf(utcMs);
    bool begins = sample.lowered;
    if (holding) {
        FollowClockChange(monotonicMs, utcMs);
        Fill(now, offsetMinutes);
        begins = sample.lowered && !held.lowered;
    }
    if (newestMinute != 0 && now < newestMinute)
        Shift(now - newestMinute);
    Touch(now, offsetMinutes, sample);
    if (begins) {
        YearDay& day = DayOf(static_cast<int32_t>(DivideDown(now + offsetMinutes, MINUTES_A_DAY)));
        day.timesLowered = CountUp(day.timesLowered, UINT16_MAX);
    }
    held = sample;
    holding = true;
    heldMonotonicMs = monotonicMs;
    heldUtcMs = utcMs;
    heldOffsetMinutes = offsetMinutes;
}

void HistoryStore::Advance(int64_t monotonicMs, int64_t utcMs, int32_t offsetMinutes)
{
    if (!holding)
        return;
    FollowClockChange(monotonicMs, utcMs);
    const int32_t now = MinuteOf(utcMs);
    if (now < newestMinute)
        Shift(now - newestMinute);
    Fill(now, offsetMinutes);
    heldMonotonicMs = monotonicMs;
    heldUtcMs = utcMs;
    heldOffsetMinutes = offsetMinutes;
}

void HistoryStore::EndRun()
{
    holding = false;
}

// The monotonic clock tells how much time has really passed; the wall clock moves more or less
// when the user or a time service moves it. A drift of less than a minute is left alone.
void HistoryStore::FollowClockChange(int64_t monotonicMs, int64_t utcMs)
{
    const int64_t drift = (utcMs - heldUtcMs) - (monotonicMs - heldMonotonicMs);
    if (drift > -STORE_MINUTE_MS && drift < STORE_MINUTE_MS)
        return;
    Shift(static_cast<int32_t>(DivideDown(drift + STORE_MINUTE_MS / 2, STORE_MINUTE_MS)));
}

// Every minute held moves by by minutes, each to the slot of its new minute.
void HistoryStore::Shift(int32_t by)
{
    if (by == 0 || newestMinute == 0)
        return;
    const int turn = Slot(by, WEEK_MINUTES);
    std::rotate(minutes, minutes + (WEEK_MINUTES - turn) % WEEK_MINUTES, minutes + WEEK_MINUTES);
    newestMinute += by;
}

// The minutes after the newest held, up to upTo, hold the report held; at most a week of them.
void HistoryStore::Fill(int32_t upTo, int32_t offsetMinutes)
{
    if (!holding || newestMinute == 0 || upTo <= newestMinute)
        return;
    const int32_t from = std::max(newestMinute + 1, upTo - WEEK_MINUTES + 1);
    for (int32_t minute = from; minute <= upTo; ++minute)
        Touch(minute, offsetMinutes, held);
}

// The minutes between the newest held and minute become empty; minute becomes the newest.
void HistoryStore::MoveTo(int32_t minute)
{
    if (newestMinute != 0 && minute <= newestMinute)
        return;
    if (newestMinute == 0 || minute - newestMinute >= WEEK_MINUTES)
        std::memset(minutes, 0, sizeof minutes);
    else
        for (int32_t m = newestMinute + 1; m <= minute; ++m)
            minutes[Slot(m, WEEK_MINUTES)] = WeekMinute{};
    newestMinute = minute;
}

void HistoryStore::Touch(int32_t minute, int32_t offsetMinutes, const HistorySample& sample)
{
    MoveTo(minute);
    if (minute <= newestMinute - WEEK_MINUTES)
        return;
    WeekMinute& entry = minutes[Slot(minute, WEEK_MINUTES)];
    YearDay& day = DayOf(static_cast<int32_t>(DivideDown(minute + offsetMinutes, MINUTES_A_DAY)));
    if ((entry.flags & MINUTE_RAN) == 0) {
        entry = WeekMinute{};
        entry.flags = MINUTE_RAN;
        day.minutesRun = CountUp(day.minutesRun, MINUTES_A_DAY);
    }
    if (sample.reading) {
        const int16_t value = Narrow(sample.celsius);
        const bool had = (entry.flags & MINUTE_READING) != 0;
        entry.low = had ? std::min(entry.low, value) : value;
        entry.high = had ? std::max(entry.high, value) : value;
        entry.flags |= MINUTE_READING;
        day.peak = std::max(day.peak, value);
    }
    // While paused the user's own values are in force: no step for the minute.
    const int32_t mode = sample.paused ? 0 : std::min(std::max(sample.mode, 0), 2);
    entry.mode = static_cast<uint8_t>(std::max<int32_t>(entry.mode, mode));
    if (sample.cap > 0 && sample.cap <= 100)
        entry.cap = static_cast<uint8_t>(entry.cap == 0 ? sample.cap
                                                        : std::min<int32_t>(entry.cap, sample.cap));
    if (sample.lowered && (entry.flags & MINUTE_LOWERED) == 0) {
        entry.flags |= MINUTE_LOWERED;
        day.minutesLowered = CountUp(day.minutesLowered, MINUTES_A_DAY);
    }
    if (sample.paused && (entry.flags & MINUTE_PAUSED) == 0) {
        entry.flags |= MINUTE_PAUSED;
        day.minutesPaused = CountUp(day.minutesPaused, MINUTES_A_DAY);
    }
}

YearDay& HistoryStore::DayOf(int32_t localDay)
{
    YearDay& entry = days[Slot(localDay, KEPT_DAYS)];
    if (entry.day != localDay)
        entry = {localDay, DAY_NO_PEAK, 0, 0, 0, 0};
    return entry;
}

const WeekMinute* HistoryStore::MinuteAt(int32_t utcMinute) const
{
    if (newestMinute == 0 || utcMinute > newestMinute || utcMinute <= newestMinute - WEEK_MINUTES)
        return nullptr;
    return &minutes[Slot(utcMinute, WEEK_MINUTES)];
}

const YearDay* HistoryStore::DayAt(int32_t localDay) const
{
    const YearDay& entry = days[Slot(localDay, KEPT_DAYS)];
    return localDay != 0 && entry.day == localDay ? &entry : nullptr;
}

bool HistoryStore::Empty() const
{
    return newestMinute == 0;
}
