// The day at a glance: one entry per minute of the last 24 hours (its lowest and highest
// temperature, its highest throttle mode, whether the cap lowered something in it), in a fixed
// ring of DAY_MINUTES that never allocates, and today's totals since local midnight (how often
// and how long the cap lowered a value below the user's own setting, the peak temperature).
// Platform-free: the caller hands in both clocks, the monotonic one (which runs on through
// sleep and never jumps) and the local wall clock (which a user, time zone or daylight saving
// time may move), so that minute boundaries, midnight and a clock change are plain arithmetic.
// Nothing of it is written anywhere; a view gets the controller's over the pipe
// (control/RecordsForPipe, present/RecordsFromPipe).
#pragma once

#include <cstdint>

const int DAY_MINUTES = 1440;
const int64_t MINUTE_MS = 60000;

// DayMinute::flags: a good reading came in the minute (low and high hold), the cap lowered a
// value below the user's own setting during it.
const uint8_t DAY_READING = 1;
const uint8_t DAY_LOWERED = 2;

// The local minute and day of a time of the local wall clock (milliseconds since its origin),
// rounded down also before the origin.
int32_t LocalMinute(int64_t localMs);
int32_t LocalDay(int64_t localMs);

struct DayMinute {
    // The local minute: minutes since the wall clock's origin (1601 on Windows).
    int32_t minute;
    int16_t low;
    int16_t high;
    // The highest throttle mode of the minute: the lowest cap in force.
    uint8_t mode;
    uint8_t flags;
};

struct DayTotals {
    // The local day they count (minute / DAY_MINUTES).
    int32_t day;
    // Times the cap began to lower a value, and for how long it did, since midnight.
    uint32_t episodes;
    int64_t loweredMs;
    // The highest good reading since midnight; TEMP_NO_READING before any.
    int32_t peak;
};

class DayRing
{
  public:
    DayMinute minutes[DAY_MINUTES];
    // Index of the oldest minute, and how many are held.
    int first;
    int count;
    DayTotals today;
    // The last report, which holds until the next one (the watcher reports changes only), and
    // both clocks when the ring was last brought up to date.
    bool started;
    int32_t lastCelsius;
    int32_t lastMode;
    int32_t lastStatus;
    bool lastLowered;
    int64_t lastMonotonicMs;
    int64_t lastLocalMs;

    // Records one report at monotonicMs (GetTickCount64) and localMs (milliseconds of the local
    // wall clock since its origin). True when a new minute has begun since the last call, so
    // that the minute before it is complete.
    bool Add(int64_t monotonicMs, int64_t localMs, int32_t celsius, int32_t mode, int32_t status,
             bool lowered);
    // Brings the minutes and today's totals up to now with the last report held; true when a
    // new minute has begun.
    bool Advance(int64_t monotonicMs, int64_t localMs);
    // 0 is the oldest minute held.
    const DayMinute& At(int index) const;
    void Clear();

    // A day handed over whole (a view's, from its controller): Clear, then Put each minute,
    // oldest first, then Resume with the totals and the last report's lowering, at both clocks
    // now; the newest minute stands for the last report until the next one.
    void Put(const DayMinute& entry);
    void Resume(const DayTotals& totals, bool loweredNow, int64_t monotonicMs, int64_t localMs);

  private:
    void FollowClockChange(int64_t monotonicMs, int64_t localMs);
    void CountToday(int64_t monotonicMs, int64_t localMs);
    bool Fill(int32_t now);
    void Append(int32_t minute);
    void Hold(DayMinute& entry, int32_t celsius, int32_t mode, int32_t status, bool lowered) const;
    DayMinute& Last();
};
