// The thermal zones of the language-neutral "Thermal Zone Information" counter set: the counter
// path of a zone, the choice of the hottest zone, and which readings can be believed.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for a zone (instance) name such as "\_TZ.THRM" with its terminating zero.
const size_t ZONE_NAME_SIZE = 64;
// Room for a whole counter path.
const size_t ZONE_PATH_SIZE = 160;

// The zone read when the user has chosen none.
const char DEFAULT_ZONE[] = "\\_TZ.TZ01";
// The wildcard instance: every zone at once, for "Hottest zone".
const char HOTTEST_ZONE[] = "*";

// Tenths of a kelvin; published by most machines.
const char HIGH_PRECISION_COUNTER[] = "High Precision Temperature";
// Whole kelvin; the only one on some machines.
const char PLAIN_COUNTER[] = "Temperature";

// Readings outside this range come from firmware that publishes a frozen zone (0 K, 400 K).
const int32_t LOWEST_PLAUSIBLE_ZONE_C = 1;
const int32_t HIGHEST_PLAUSIBLE_ZONE_C = 125;

// Writes "\Thermal Zone Information(<zone>)\<counter>" (English names, for
// PdhAddEnglishCounterA). False, with path left empty, when it does not fit.
bool ComposeZonePath(char* path, size_t size, const char* zone, const char* counter);

bool IsHottestZone(const char* zone);

// The zone a setting names: DEFAULT_ZONE for an empty one (nothing chosen).
const char* ZoneOrDefault(const char* zone);

// Above 0 °C and at most 125 °C.
bool IsPlausibleZoneTemperature(int32_t celsius);

// One zone's reading as the sensor reported it.
struct ZoneReading {
    int32_t celsius;
    bool valid; // the sensor gave a value for this zone
};

// A zone as a list of them shows it (the tray menu, --diagnose): its name and its reading.
const int MAX_LISTED_ZONES = 32;

struct ListedZone {
    char name[ZONE_NAME_SIZE];
    ZoneReading reading;
};

// The index of the hottest plausible reading, or -1 when there is none.
int HottestZone(const ZoneReading* readings, int count);
