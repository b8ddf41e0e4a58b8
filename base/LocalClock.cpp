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
