// The PDH side of the thermal zones, shared by the watcher (on the worker thread) and the zone
// list of the tray menu (on the main thread): adding a zone's counter by its English path, and
// reading every zone of a wildcard counter in one call.
#pragma once

#include "watch/ThermalZone.h"

#include <windows.h>
#include <pdh.h>

// Items (with their names behind them) that one array read can return.
const int ZONE_ARRAY_ITEMS = 96;

// Room for one array read; lives with its owner, so a reading allocates nothing.
struct ZoneArrayBuffer {
    PDH_FMT_COUNTERVALUE_ITEM_A items[ZONE_ARRAY_ITEMS];
};

// Adds the High Precision Temperature counter of zone (HOTTEST_ZONE for every zone) to query
// with PdhAddEnglishCounterA, which takes the English path on any display language. Where that
// counter does not exist the plain Temperature counter is added instead, wholeKelvin is set, and
// the log says so once per run. Returns the status of the first attempt when both fail; counter
// is then null.
PDH_STATUS AddZoneCounter(PDH_HQUERY query, const char* zone, PDH_HCOUNTER& counter,
                          bool& wholeKelvin);

// The counter value of one zone in °C.
int32_t ZoneCelsius(LONG value, bool wholeKelvin);

// Reads every instance of counter: readings (room for ZONE_ARRAY_ITEMS) gets each zone's value
// in °C, buffer.items[i].szName its name; count is the number of zones.
PDH_STATUS ReadZoneArray(PDH_HCOUNTER counter, bool wholeKelvin, ZoneArrayBuffer& buffer,
                         ZoneReading* readings, DWORD& count);

// True for a status that means the zone or the counter does not exist (rather than a passing
// failure of the sensor).
bool IsMissingZoneStatus(PDH_STATUS status);

// The status of a formatted read. Windows accepts a counter of a zone that does not exist and
// says so only at the reading: the read fails with PDH_INVALID_DATA, and the value's own status
// tells that the zone is missing. That status is returned then, otherwise the read's.
PDH_STATUS FormattedReadStatus(PDH_STATUS status, const PDH_FMT_COUNTERVALUE& value);
