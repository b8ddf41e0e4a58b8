// The local wall clock: as one number, milliseconds since 1601 in the user's time zone, as the
// day's minutes and "today" count them; and the local time some seconds from now, as the tooltip
// and the status name the end of a pause.
#pragma once

#include <windows.h>

#include <cstdint>

int64_t LocalClockMs();

// The local time seconds after utcNow, under the rules of zone (null: the system's time zone)
// for that moment: across a change to or from daylight saving time, the clock of the end, not of
// now. False (local zeroed) when it cannot be worked out.
bool LocalTimeAfter(const FILETIME& utcNow, uint32_t seconds, const TIME_ZONE_INFORMATION* zone,
                    SYSTEMTIME& local);

// The local time seconds from now, in the system's time zone.
SYSTEMTIME LocalTimeIn(uint32_t seconds);

// The UTC wall clock, milliseconds since 1601.
int64_t UtcClockMs();
// Local time minus UTC in minutes at utcMs (milliseconds since 1601), under the system time
// zone's rules for that moment (summer time or not); 0 when it cannot be worked out.
int32_t LocalOffsetMinutes(int64_t utcMs);
