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
