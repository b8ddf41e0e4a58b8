// The local wall clock as one number: milliseconds since 1601 in the user's time zone, as the
// day's minutes and "today" count them.
#pragma once

#include <cstdint>

int64_t LocalClockMs();
