// The maximum processor state (percent) that the active power scheme uses on AC power.
#pragma once

#include <cstdint>

// Reads the AC value into value; on failure returns false and leaves value as it was.
bool ReadThrottleMax(uint32_t& value);

// Writes the AC value to the active scheme and activates the scheme so that it takes effect.
// Stops at the first failing call, logs it and returns false; nothing already done is undone.
bool WriteThrottleMax(uint32_t value);
