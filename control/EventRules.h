// When the program writes to the Windows event log. A throttle episode begins with the first
// report in which the cap lowers a value below the user's own setting and is over once the cap has
// lowered nothing for EPISODE_QUIET_MS (the throttle notice's rule), so that a machine that hovers
// around the threshold makes one lowered/ended pair, not one a minute. A failed power write is
// reported once per episode, and so is a cap found to have no effect; the sensor's failing and
// reading again each time; all of them together at most EVENT_LIMIT_PER_HOUR times in any hour.
// Platform-free; the caller hands in a millisecond clock.
#pragma once

#include "power/Ambrel.h"

#include <cstdint>

const uint64_t EPISODE_QUIET_MS = AMBREL_EPISODE_QUIET_MS;
const int EVENT_LIMIT_PER_HOUR = 20;
const uint64_t EVENT_LIMIT_WINDOW_MS = 60 * 60 * 1000;

// What a report of the cap brings: an episode over (with how long it lasted, up to the return of
// the user's own values, and the highest good reading while the cap lowered something) and, after
// that, one begun. Each is set only where the limit admits it.
struct EpisodeNews {
    bool ended;
    uint64_t durationMs;
    int32_t peak;
    bool began;
};

// What a change of the reading's status brings: the sensor failing, or reading again after
// failedMs.
struct SensorNews {
    bool failing;
    bool reading;
    uint64_t failedMs;
};

class EventRules
{
  public:
    // Takes one event of the hourly limit: true when it may be written. Every other call below
    // goes through it.
    bool Admit(uint64_t nowMs);
    // Each report: whether the cap lowers something and the temperature (counted for the peak
    // only when good is set: a failed reading carries the last good one).
    EpisodeNews OnReport(bool lowered, int32_t t, bool good, uint64_t nowMs);
    // A time without reports: the episode is over when the quiet time has passed.
    EpisodeNews OnQuiet(uint64_t nowMs);
    // The end of the run ends an open episode, quiet or not.
    EpisodeNews OnEnd(uint64_t nowMs);
    // Each change of the reading's status (ok true for a good reading).
    SensorNews OnStatus(bool ok, uint64_t nowMs);
    // A power write failed: true for the first one since the last episode ended.
    bool OnWriteFailed(uint64_t nowMs);
    // The cap is found to have no effect: true for the first time in an episode.
    bool OnNoEffect(uint64_t nowMs);
    // The events the limit has refused so far.
    uint32_t refused = 0;

  private:
    EpisodeNews Close(uint64_t endMs, uint64_t nowMs);
    bool open = false;
    bool lowered = false;
    uint64_t startMs = 0;
    uint64_t backSinceMs = 0;
    int32_t peak = 0;
    bool failureReported = false;
    bool noEffectReported = false;
    bool failing = false;
    uint64_t failingSinceMs = 0;
    // The times of the last admitted events, oldest at next once the ring is full.
    uint64_t admitted[EVENT_LIMIT_PER_HOUR] = {};
    int used = 0;
    int next = 0;
};
