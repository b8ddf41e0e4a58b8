#include "watch/ZoneList.h"

#include "base/Log.h"
#include "watch/TempConversion.h"
#include "watch/ZoneCounter.h"

#include <cstdio>

namespace
{

int CopyZones(const ZoneArrayBuffer& buffer, const ZoneReading* readings, DWORD count,
              ListedZone* zones, int capacity)
{
    int listed = 0;
    for (DWORD i = 0; i < count && listed < capacity; ++i) {
        ListedZone& zone = zones[listed++];
        std::snprintf(zone.name, sizeof zone.name, "%s", buffer.items[i].szName);
        zone.reading = readings[i];
        LogPrint("thermal zone %s: %d\n", zone.name,
                 zone.reading.valid ? static_cast<int>(zone.reading.celsius) : TEMP_NO_READING);
    }
    return listed;
}

} // namespace

int ListThermalZones(ListedZone* zones, int capacity)
{
    PDH_HQUERY query = nullptr;
    if (PdhOpenQueryA(nullptr, 0, &query) != ERROR_SUCCESS)
        return 0;
    int listed = 0;
    PDH_HCOUNTER counter = nullptr;
    bool wholeKelvin = false;
    if (AddZoneCounter(query, HOTTEST_ZONE, counter, wholeKelvin) == ERROR_SUCCESS &&
        PdhCollectQueryData(query) == ERROR_SUCCESS) {
        ZoneArrayBuffer buffer;
        ZoneReading readings[ZONE_ARRAY_ITEMS];
        DWORD count = 0;
        if (ReadZoneArray(counter, wholeKelvin, buffer, readings, count) == ERROR_SUCCESS)
            listed = CopyZones(buffer, readings, count, zones, capacity);
    }
    PdhCloseQuery(query);
    return listed;
}
