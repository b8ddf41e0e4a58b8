#include "RecordingPlatform.h"

#include "base/Log.h"

#include <cstdarg>
#include <cstdio>

RecordingPlatform g_platform;

void RecordingPlatform::Reset(uint32_t initialThrottleMax)
{
    *this = RecordingPlatform();
    throttleMax = initialThrottleMax;
    own = initialThrottleMax;
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

bool RecordingPlatform::Read(uint32_t& value)
{
    if (failReads) {
        powerCalls.push_back("read failed");
        return false;
    }
    value = throttleMax;
    powerCalls.push_back("read " + std::to_string(value));
    return true;
}

bool RecordingPlatform::Write(uint32_t value)
{
    powerCalls.push_back("write " + std::to_string(value));
    if (failWrites)
        return false;
    throttleMax = value < own ? value : own;
    return true;
}

bool RecordingPlatform::Lowered() const
{
    return throttleMax < own;
}
