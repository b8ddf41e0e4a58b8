#include "RecordingPlatform.h"

#include "app/Log.h"
#include "power/PowerSetting.h"

#include <cstdarg>
#include <cstdio>

RecordingPlatform g_platform;

void RecordingPlatform::Reset(uint32_t initialThrottleMax)
{
    *this = RecordingPlatform();
    throttleMax = initialThrottleMax;
}

void LogPrint(const char* format, ...)
{
    char entry[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(entry, sizeof entry, format, args);
    va_end(args);
    g_platform.log.push_back(entry);
}

bool ReadThrottleMax(uint32_t& value)
{
    if (g_platform.failReads) {
        g_platform.powerCalls.push_back("read failed");
        return false;
    }
    value = g_platform.throttleMax;
    g_platform.powerCalls.push_back("read " + std::to_string(value));
    return true;
}

bool WriteThrottleMax(uint32_t value)
{
    g_platform.powerCalls.push_back("write " + std::to_string(value));
    if (g_platform.failWrites)
        return false;
    g_platform.throttleMax = value;
    return true;
}
