#include "link/ViewerLog.h"

const char* ViewerLineText(ViewerLine line)
{
    switch (line) {
    case ViewerLine::Connected:
        return "connected";
    case ViewerLine::Left:
        return "left";
    case ViewerLine::RefusedTooMany:
        return "refused: too many viewers";
    case ViewerLine::RefusedProcess:
        return "refused: too many connections of its process";
    case ViewerLine::RefusedNoMemory:
        return "refused: no memory";
    case ViewerLine::DroppedGarbage:
        return "dropped: garbage";
    case ViewerLine::DroppedOversized:
        return "dropped: an oversized message";
    case ViewerLine::DroppedMessage:
        return "dropped: a message that a viewer may not send";
    case ViewerLine::DroppedSlow:
        return "dropped: it reads too slowly";
    case ViewerLine::Kinds:
        break;
    }
    return "?";
}

bool ViewerLog::Counting() const
{
    return unwritten.connected + unwritten.left + unwritten.refused + unwritten.dropped != 0;
}

// A minute begins with the first line after the last one is over; what was counted in that one
// stays counted until it is taken.
bool ViewerLog::Take(ViewerLine line, uint64_t now)
{
    const int kind = static_cast<int>(line);
    if (kind < 0 || kind >= static_cast<int>(ViewerLine::Kinds))
        return false;
    if (!open || now - minuteStart >= VIEWER_LOG_MINUTE_MS) {
        open = true;
        minuteStart = now;
        for (bool& kindWritten : written)
            kindWritten = false;
    }
    if (!written[kind]) {
        written[kind] = true;
        return true;
    }
    switch (line) {
    case ViewerLine::Connected:
        ++unwritten.connected;
        break;
    case ViewerLine::Left:
        ++unwritten.left;
        break;
    case ViewerLine::RefusedTooMany:
    case ViewerLine::RefusedProcess:
    case ViewerLine::RefusedNoMemory:
        ++unwritten.refused;
        break;
    default:
        ++unwritten.dropped;
        break;
    }
    return false;
}

bool ViewerLog::TakeUnwritten(uint64_t now, bool ending, ViewerCounts& out)
{
    if (!Counting() || (!ending && now - minuteStart < VIEWER_LOG_MINUTE_MS))
        return false;
    out = unwritten;
    unwritten = {};
    return true;
}

uint64_t ViewerLog::DueAt() const
{
    return Counting() ? minuteStart + VIEWER_LOG_MINUTE_MS : 0;
}
