#include "base/LocalClock.h"

#include <windows.h>

int64_t LocalClockMs()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME file = {};
    SystemTimeToFileTime(&now, &file);
    ULARGE_INTEGER ticks;
    ticks.LowPart = file.dwLowDateTime;
    ticks.HighPart = file.dwHighDateTime;
    return static_cast<int64_t>(ticks.QuadPart / 10000);
}

bool LocalTimeAfter(const FILETIME& utcNow, uint32_t seconds, const TIME_ZONE_INFORMATION* zone,
                    SYSTEMTIME& local)
{
    ULARGE_INTEGER at;
    at.LowPart = utcNow.dwLowDateTime;
    at.HighPart = utcNow.dwHighDateTime;
    at.QuadPart += static_cast<ULONGLONG>(seconds) * 10000000ULL; // in 100 ns
    const FILETIME end = {at.LowPart, at.HighPart};
    SYSTEMTIME utc = {};
    if (FileTimeToSystemTime(&end, &utc) &&
        SystemTimeToTzSpecificLocalTime(const_cast<TIME_ZONE_INFORMATION*>(zone), &utc, &local))
        return true;
    local = SYSTEMTIME{};
    return false;
}

SYSTEMTIME LocalTimeIn(uint32_t seconds)
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    SYSTEMTIME local = {};
    LocalTimeAfter(now, seconds, nullptr, local);
    return local;
}

int64_t UtcClockMs()
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    return static_cast<int64_t>(ticks.QuadPart / 10000);
}

int32_t LocalOffsetMinutes(int64_t utcMs)
{
    if (utcMs < 0)
        return 0;
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<ULONGLONG>(utcMs) * 10000;
    const FILETIME at = {ticks.LowPart, ticks.HighPart};
    SYSTEMTIME local = {};
    if (!LocalTimeAfter(at, 0, nullptr, local))
        return 0;
    FILETIME localFile = {};
    if (!SystemTimeToFileTime(&local, &localFile))
        return 0;
    ULARGE_INTEGER localTicks;
    localTicks.LowPart = localFile.dwLowDateTime;
    localTicks.HighPart = localFile.dwHighDateTime;
    const int64_t difference = static_cast<int64_t>(localTicks.QuadPart / 10000) - utcMs;
    // Offsets are whole minutes; the division rounds the milliseconds the clock had away.
    return static_cast<int32_t>((difference + (difference < 0 ? -30000 : 30000)) / 60000);
}
