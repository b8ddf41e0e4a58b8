#include "watch/TempConversion.h"

#include <limits>

namespace
{

// Counter values beyond this magnitude convert to far outside the int32_t range; cutting them
// off first keeps v * 10 inside int64_t without changing the clamped result.
const int64_t kCounterLimit = int64_t(1) << 40;

int64_t Clamp(int64_t value, int64_t low, int64_t high)
{
    if (value < low)
        return low;
    if (value > high)
        return high;
    return value;
}

} // namespace

int32_t CelsiusFromCounter(int64_t tenthsKelvin)
{
    int64_t v = Clamp(tenthsKelvin, -kCounterLimit, kCounterLimit);
    int64_t celsius = (v * 10 - 27265) / 100;
    return static_cast<int32_t>(
        Clamp(celsius, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

void HoldReading(HeldReading& held, int32_t temperature)
{
    held.temperature = temperature;
    held.valid = 1;
}

int32_t HeldTemperature(const HeldReading& held)
{
    return held.valid ? held.temperature : TEMP_NO_READING;
}

bool ReportChanged(const TempReport& lastPosted, const TempReport& current)
{
    return lastPosted.temperature != current.temperature || lastPosted.mode != current.mode ||
           lastPosted.status != current.status || lastPosted.inForce != current.inForce ||
           lastPosted.lowered != current.lowered || EffectChanged(lastPosted, current);
}

bool EffectChanged(const TempReport& lastPosted, const TempReport& current)
{
    return lastPosted.effect != current.effect || lastPosted.performance != current.performance ||
           lastPosted.busy != current.busy;
}
