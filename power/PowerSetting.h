// The maximum processor state (percent) that a power scheme uses on AC power: of the active
// scheme, as the controller writes it, and of a scheme named by its identifier, as the restore
// ledger reads and restores it.
#pragma once

#include "power/SchemeId.h"

#include <cstdint>

class SchemeKeeper;

// The platform's answer for a scheme that does not exist (ERROR_FILE_NOT_FOUND).
const uint32_t POWER_SCHEME_NOT_FOUND = 2;

// Reads the AC value into value; on failure returns false and leaves value as it was.
bool ReadThrottleMax(uint32_t& value);

// Writes the AC value to the active scheme and activates the scheme so that it takes effect.
// Stops at the first failing call, logs it and returns false; nothing already done is undone.
// With a keeper attached, the keeper hears of the write before and after it is made.
bool WriteThrottleMax(uint32_t value);

// The active scheme's identifier; false (nothing logged) when it cannot be read.
bool ReadActiveScheme(SchemeId& scheme);

// Reads the AC value of one scheme; returns 0 or the platform's code (nothing logged).
uint32_t ReadSchemeThrottleMax(const SchemeId& scheme, uint32_t& value);

// Writes the AC value of one scheme and, with activate, activates it so that it takes effect.
// Logs a failing call as WriteThrottleMax does and returns false.
bool WriteSchemeThrottleMax(const SchemeId& scheme, uint32_t value, bool activate);

// The keeper that WriteThrottleMax tells about its writes; null for none.
void AttachSchemeKeeper(SchemeKeeper* keeper);
