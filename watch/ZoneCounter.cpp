#include "watch/ZoneCounter.h"

#include "base/Log.h"
#include "watch/TempConversion.h"

#include <pdhmsg.h>

#include <atomic>

namespace
{

std::atomic<bool> g_plainCounterLogged;

PDH_STATUS AddEnglish(PDH_HQUERY query, const char* zone, const char* name, PDH_HCOUNTER& counter)
{
    char path[ZONE_PATH_SIZE];
    if (!ComposeZonePath(path, sizeof path, zone, name))
        return static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
    PDH_STATUS status = PdhAddEnglishCounterA(query, path, 0, &counter);
    if (status != ERROR_SUCCESS)
        counter = nullptr;
    return status;
}

} // namespace

PDH_STATUS AddZoneCounter(PDH_HQUERY query, const char* zone, PDH_HCOUNTER& counter,
                          bool& wholeKelvin)
{
    wholeKelvin = false;
    PDH_STATUS status = AddEnglish(query, zone, HIGH_PRECISION_COUNTER, counter);
    if (status != static_cast<PDH_STATUS>(PDH_CSTATUS_NO_COUNTER))
        return status;
    if (AddEnglish(query, zone, PLAIN_COUNTER, counter) != ERROR_SUCCESS)
        return status;
    wholeKelvin = true;
    if (!g_plainCounterLogged.exchange(true))
        LogPrint("no %s counter: reading %s in whole kelvin\n", HIGH_PRECISION_COUNTER,
                 PLAIN_COUNTER);
    return ERROR_SUCCESS;
}

int32_t ZoneCelsius(LONG value, bool wholeKelvin)
{
    int64_t tenthsKelvin = wholeKelvin ? int64_t(value) * 10 : int64_t(value);
    return CelsiusFromCounter(tenthsKelvin);
}

PDH_STATUS ReadZoneArray(PDH_HCOUNTER counter, bool wholeKelvin, ZoneArrayBuffer& buffer,
                         ZoneReading* readings, DWORD& count)
{
    DWORD size = sizeof buffer.items;
    count = 0;
    PDH_STATUS status =
        PdhGetFormattedCounterArrayA(counter, PDH_FMT_LONG, &size, &count, buffer.items);
    if (status != ERROR_SUCCESS || count > ZONE_ARRAY_ITEMS) {
        count = 0;
        return status;
    }
    for (DWORD i = 0; i < count; ++i) {
        const PDH_FMT_COUNTERVALUE& value = buffer.items[i].FmtValue;
        readings[i].valid =
            value.CStatus == PDH_CSTATUS_VALID_DATA || value.CStatus == PDH_CSTATUS_NEW_DATA;
        readings[i].celsius = ZoneCelsius(value.longValue, wholeKelvin);
    }
    return ERROR_SUCCESS;
}

bool IsMissingZoneStatus(PDH_STATUS status)
{
    const DWORD code = static_cast<DWORD>(status);
    return code == PDH_CSTATUS_NO_INSTANCE || code == PDH_CSTATUS_NO_OBJECT ||
           code == PDH_CSTATUS_NO_COUNTER || code == PDH_CSTATUS_NO_MACHINE;
}

PDH_STATUS FormattedReadStatus(PDH_STATUS status, const PDH_FMT_COUNTERVALUE& value)
{
    if (static_cast<DWORD>(status) == PDH_INVALID_DATA && IsMissingZoneStatus(value.CStatus))
        return static_cast<PDH_STATUS>(value.CStatus);
    return status;
}
