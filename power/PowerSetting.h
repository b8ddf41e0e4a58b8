// The maximum processor state (percent) that a power scheme uses on AC power, read and written
// by the scheme's identifier, and the active scheme. Knows nothing of the restore ledger: the
// scheme keeper notes a scheme's own value before it writes through here.
#pragma once

#include "power/SchemeId.h"

#include <cstdint>

// The platform's answer for a scheme that does not exist (ERROR_FILE_NOT_FOUND).
const uint32_t POWER_SCHEME_NOT_FOUND = 2;

// Reads the active scheme's AC value into value; on failure returns false and leaves value as it
// was.
bool ReadThrottleMax(uint32_t& value);

// The active scheme's identifier; returns 0 or the platform's code (nothing logged).
uint32_t ReadActiveScheme(SchemeId& scheme);

// Reads the AC value of one scheme; returns 0 or the platform's code (nothing logged).
uint32_t ReadSchemeThrottleMax(const SchemeId& scheme, uint32_t& value);

// Writes the AC value of one scheme and, with activate, activates it so that it takes effect.
// Stops at the first failing call, logs it and returns false; nothing already done is undone.
bool WriteSchemeThrottleMax(const SchemeId& scheme, uint32_t value, bool activate);

// Makes the scheme the active one, which also puts its values in force; logs a failure.
bool ActivateScheme(const SchemeId& scheme);
