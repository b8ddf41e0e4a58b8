// What the pipe's server logs of each connection, kept to a few lines a minute however many
// clients come and go: the first line of each kind in a minute is written, the others are only
// counted, and their counts go into one line once the minute is over (or the server stops).
// Platform-free: the caller gives the time (milliseconds of a monotonic clock) and writes.
#pragma once

#include <cstdint>

enum class ViewerLine {
    Connected,
    Left,
    RefusedTooMany,
    RefusedProcess,
    RefusedNoMemory,
    DroppedGarbage,
    DroppedOversized,
    DroppedMessage,
    DroppedSlow,
    Kinds,
};

// What follows "viewer 1234 " in a line of that kind.
const char* ViewerLineText(ViewerLine line);

// The lines not written, by what happened to the viewer.
struct ViewerCounts {
    uint32_t connected;
    uint32_t left;
    uint32_t refused;
    uint32_t dropped;
};

const uint64_t VIEWER_LOG_MINUTE_MS = 60000;

class ViewerLog
{
  public:
    // True when a line of this kind is to be written now; false when it is only counted.
    bool Take(ViewerLine line, uint64_t now);
    // The counts of the lines not written, when the minute they fall in is over or ending says
    // that no more lines come; false (and out untouched) when there is nothing to write yet.
    bool TakeUnwritten(uint64_t now, bool ending, ViewerCounts& out);
    // When counted lines are due to be written (TakeUnwritten), or 0 while none are counted.
    uint64_t DueAt() const;

  private:
    uint64_t minuteStart = 0;
    bool open = false;
    bool written[static_cast<int>(ViewerLine::Kinds)] = {};
    ViewerCounts unwritten = {};

    bool Counting() const;
};
