// Platform-free parts of the temperature watcher: the counter value to °C conversion, the held
// reading that stands in for a failed one, and the test that decides whether a report is posted.
#pragma once

#include <cstdint>

// The reading before any good one: absolute zero, plainly "no reading". It asks for no
// throttling.
const int32_t TEMP_NO_READING = -273;

// Converts the thermal-zone counter value (tenths of a kelvin) to whole degrees Celsius:
// (v * 10 - 27265) / 100 with the division truncating towards zero. That rounds to the nearest
// degree from 2727 (-0.45 °C) up. Computed in 64 bits and clamped to the int32_t range, so that
// no counter value can overflow.
int32_t CelsiusFromCounter(int64_t tenthsKelvin);

// The last good reading, kept so that a failed reading can repeat it. Zero-initialised it holds
// none.
struct HeldReading {
    int32_t temperature;
    int32_t valid;
};

// Remembers a good reading.
void HoldReading(HeldReading& held, int32_t temperature);

// The reading that stands in for a failed one: the last good reading, or TEMP_NO_READING.
int32_t HeldTemperature(const HeldReading& held);

// How the last reading went; posted to the window when it changes, for the tooltip.
const int32_t READING_OK = 0;
// The sensor did not answer (the temperature shown is the last good one, or none).
const int32_t READING_FAILED = 1;
// The chosen thermal zone (or counter) does not exist on this machine.
const int32_t READING_NO_ZONE = 2;
// A view only: no controller answers on the status pipe (the machine's service is not running).
const int32_t READING_NO_CONTROLLER = 3;
// A view only: the controller was a tray in another session, and it has ended.
const int32_t READING_CONTROLLER_ENDED = 4;
// A view only: a program that is not Ambrel serves the status pipe's name.
const int32_t READING_NOT_AMBRELS = 5;

// What the check of the cap's effect says (CapEffect). OFF while no cap lowers anything (nothing
// is checked then), UNAVAILABLE where the processor's counters do not exist (before Windows 8).
// The numbers travel on the status pipe.
const int32_t CAP_EFFECT_OFF = 0;
const int32_t CAP_EFFECT_UNKNOWN = 1;
const int32_t CAP_EFFECT_WORKS = 2;
const int32_t CAP_EFFECT_NONE = 3;
const int32_t CAP_EFFECT_UNAVAILABLE = 4;
const int32_t CAP_EFFECT_HIGHEST = CAP_EFFECT_UNAVAILABLE;

// One report as posted to the window: temperature and mode, the reading's status, the AC
// maximum processor state in force (0 while unknown), whether the cap lowers some value, and
// what the check of its effect says (CAP_EFFECT_*, with the performance and busy share seen).
struct TempReport {
    int32_t temperature;
    int32_t mode;
    int32_t status;
    int32_t inForce;
    bool lowered;
    int32_t effect;
    int32_t performance;
    int32_t busy;
};

// True when the current report differs from the last one posted in any of its fields.
bool ReportChanged(const TempReport& lastPosted, const TempReport& current);
// True when what the check of the cap's effect says differs.
bool EffectChanged(const TempReport& lastPosted, const TempReport& current);
