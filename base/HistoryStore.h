// The history kept across runs: the last week minute by minute and the last 400 days day by
// day, as one fixed block that never allocates. Platform-free: the caller hands in the
// monotonic clock (which runs on through sleep and never jumps), the UTC wall clock and the
// local time zone's offset from it, so that minute boundaries, local days and a moved clock are
// plain arithmetic.
//
// The minutes are counted in UTC (a change of summer time moves no minute; each minute's own
// offset is worked out when it is shown), the days in local time (a day is the user's calendar
// day). A minute in which no report held (the program did not run) stays empty.
#pragma once

#include <cstdint>

const int WEEK_MINUTES = 7 * 24 * 60;
const int KEPT_DAYS = 400;
const int64_t STORE_MINUTE_MS = 60000;
const int32_t MINUTES_A_DAY = 24 * 60;

// WeekMinute::flags
// The program ran during the minute (the other fields hold).
const uint8_t MINUTE_RAN = 1;
// A good reading came or held in the minute: low and high hold.
const uint8_t MINUTE_READING = 2;
// The cap lowered a value below the user's own setting during the minute.
const uint8_t MINUTE_LOWERED = 4;
// The throttle was paused during the minute.
const uint8_t MINUTE_PAUSED = 8;
const uint8_t MINUTE_FLAGS = MINUTE_RAN | MINUTE_READING | MINUTE_LOWERED | MINUTE_PAUSED;

// YearDay::peak before a good reading of the day.
const int16_t DAY_NO_PEAK = -32768;

struct WeekMinute {
    // The lowest and highest temperature of the minute in °C.
    int16_t low;
    int16_t high;
    // The highest throttle mode of the minute (0, 1, 2; 0 while paused), and the lowest AC
    // maximum processor state in force, in percent (0 while unknown).
    uint8_t mode;
    uint8_t cap;
    uint8_t flags;
    uint8_t unused;
};

struct YearDay {
    // The local day (days since the wall clock's origin, 1601 on Windows); 0 for no day.
    int32_t day;
    int16_t peak;
    uint16_t minutesRun;
    // Times the cap began to lower a value, and the minutes in which it lowered one.
    uint16_t timesLowered;
    uint16_t minutesLowered;
    uint16_t minutesPaused;
};

// One report as the controller holds it until the next.
struct HistorySample {
    int32_t celsius;
    // 0, 1, 2 (3 and above count as paused, mode 0).
    int32_t mode;
    // The AC maximum processor state in force in percent, 0 while unknown.
    int32_t cap;
    bool reading;
    bool lowered;
    bool paused;
};

class HistoryStore
{
  public:
    // The newest minute held (UTC minutes since the origin), 0 while nothing is held. Minute m
    // lives in minutes[m % WEEK_MINUTES] while newestMinute - WEEK_MINUTES < m <= newestMinute.
    int32_t newestMinute;
    WeekMinute minutes[WEEK_MINUTES];
    // Day d lives in days[d % KEPT_DAYS] where that entry's day is d.
    YearDay days[KEPT_DAYS];

    // This run's report in force, and the clocks when it was last brought up to date.
    bool holding;
    HistorySample held;
    int64_t heldMonotonicMs;
    int64_t heldUtcMs;
    int32_t heldOffsetMinutes;

    // Everything empty.
    void Clear();
    // A report at these clocks (offsetMinutes: local time minus UTC now). The minutes since the
    // last one hold the report before it; the first of a run begins a new stretch.
    void Record(int64_t monotonicMs, int64_t utcMs, int32_t offsetMinutes,
                const HistorySample& sample);
    // Brings the minutes up to now with the report held (before a save, or a view's request).
    void Advance(int64_t monotonicMs, int64_t utcMs, int32_t offsetMinutes);
    // The run ends (or the machine sleeps): no report holds any more.
    void EndRun();

    // The minute at utcMinute, or null when it is outside the week held.
    const WeekMinute* MinuteAt(int32_t utcMinute) const;
    // The day at localDay, or null when none is held.
    const YearDay* DayAt(int32_t localDay) const;
    // Whether anything at all is held.
    bool Empty() const;

  private:
    void FollowClockChange(int64_t monotonicMs, int64_t utcMs);
    void Shift(int32_t by);
    void Fill(int32_t upTo, int32_t offsetMinutes);
    void MoveTo(int32_t minute);
    void Touch(int32_t minute, int32_t offsetMinutes, const HistorySample& sample);
    YearDay& DayOf(int32_t localDay);
};

// Division that rounds down, right for negative values.
int64_t DivideDown(int64_t value, int64_t by);
