// The readings of the last half hour, kept on the main thread for the history window: one entry
// per report (the watcher posts only changes), in a fixed ring that never allocates. When it is
// full the oldest entry gives way. The same ring keeps the processor-performance samples taken
// while the window is open.
#pragma once

#include <cstdint>

// What the history window shows: the last 30 minutes.
const int64_t HISTORY_SPAN_MS = 30 * 60 * 1000;
// Readings come at most every 2 s, so half an hour holds 900 reports; the rest is slack.
const int HISTORY_CAPACITY = 1024;

struct HistoryEntry {
    // Milliseconds on a monotonic clock (GetTickCount64); the entry holds from then until the
    // next entry, or until now for the last one.
    int64_t timeMs;
    // The temperature in °C, or the processor performance in percent.
    int32_t value;
    // The throttle mode in force (0, 1, 2).
    int16_t mode;
    // READING_OK, or why there is no value (READING_FAILED, READING_NO_ZONE).
    int16_t status;
};

class HistoryRing
{
  public:
    HistoryEntry entries[HISTORY_CAPACITY];
    // Index of the oldest entry, and how many are held.
    int first;
    int count;

    void Add(const HistoryEntry& entry);
    // 0 is the oldest entry held.
    const HistoryEntry& At(int index) const;
    void Clear();
};
