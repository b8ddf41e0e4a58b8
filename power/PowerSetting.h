// The maximum processor state (percent) of a power scheme, read and written by the scheme's
// identifier, and the active scheme. Knows nothing of the restore ledger: the scheme keeper notes
// a scheme's own value before it writes through here.
#pragma once

#include "power/SchemeId.h"

#include <cstdint>

// The platform's answer for a scheme that does not exist (ERROR_FILE_NOT_FOUND). A scheme
// without the class-1 setting (Windows before hybrid processors) answers the same.
const uint32_t POWER_SCHEME_NOT_FOUND = 2;

// Which of a scheme's four maximum processor state values: bit 0 selects the setting for
// efficiency class 1 (the performance cores of a hybrid processor) over the one for class 0
// (every core of any other processor), bit 1 the value used on battery (DC) over the one used
// on AC power.
enum ThrottleValue : uint32_t {
    THROTTLE_AC = 0,
    THROTTLE_AC_CLASS1 = 1,
    THROTTLE_DC = 2,
    THROTTLE_DC_CLASS1 = 3,
};
const int THROTTLE_VALUE_COUNT = 4;

inline bool IsClass1(ThrottleValue which)
{
    return (which & 1) != 0;
}
inline bool IsBattery(ThrottleValue which)
{
    return (which & 2) != 0;
}

// Reads the active scheme's AC class-0 value into value; on failure returns false and leaves
// value as it was.
bool ReadThrottleMax(uint32_t& value);

// The active scheme's identifier; returns 0 or the platform's code (nothing logged).
uint32_t ReadActiveScheme(SchemeId& scheme);

// Reads one value of one scheme; returns 0 or the platform's code (nothing logged).
uint32_t ReadSchemeThrottleMax(const SchemeId& scheme, uint32_t& value,
                               ThrottleValue which = THROTTLE_AC);

// Writes one value of one scheme; it takes effect when the scheme is activated. Logs a failing
// call; returns 0 or the platform's code.
uint32_t WriteSchemeThrottleMaxCode(const SchemeId& scheme, uint32_t value, ThrottleValue which);

// Makes the scheme the active one, which also puts its values in force; logs a failure.
bool ActivateScheme(const SchemeId& scheme);

// The check made at every reading while the cap is engaged: true when the active scheme can be
// read and is not the one the current mode was last put in force in.
inline bool ActiveSchemeDiffers(const SchemeId& inForce)
{
    SchemeId active;
    return ReadActiveScheme(active) == 0 && !SameScheme(active, inForce);
}
