#include "watch/ThermalZone.h"

#include <cstdio>
#include <cstring>

bool ComposeZonePath(char* path, size_t size, const char* zone, const char* counter)
{
    if (size == 0)
        return false;
    int length = std::snprintf(path, size, "\\Thermal Zone Information(%s)\\%s", zone, counter);
    if (length < 0 || static_cast<size_t>(length) >= size) {
        path[0] = '\0';
        return false;
    }
    return true;
}

bool IsHottestZone(const char* zone)
{
    return std::strcmp(zone, HOTTEST_ZONE) == 0;
}

const char* ZoneOrDefault(const char* zone)
{
    return zone[0] != '\0' ? zone : DEFAULT_ZONE;
}

bool IsPlausibleZoneTemperature(int32_t celsius)
{
    return celsius >= LOWEST_PLAUSIBLE_ZONE_C && celsius <= HIGHEST_PLAUSIBLE_ZONE_C;
}

int HottestZone(const ZoneReading* readings, int count)
{
    int hottest = -1;
    for (int i = 0; i < count; ++i) {
        if (!readings[i].valid || !IsPlausibleZoneTemperature(readings[i].celsius))
            continue;
        if (hottest < 0 || readings[i].celsius > readings[hottest].celsius)
            hottest = i;
    }
    return hottest;
}
