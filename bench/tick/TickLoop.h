// The platform-free work the watcher does for each reading, as a loop over prepared readings.
#pragma once

#include "power/Ambrel.h"
#include "power/SchemeId.h"
#include "watch/TempConversion.h"

#include <cstddef>
#include <cstdint>

struct TickState {
    Ambrel ambrel;
    HeldReading held;
    TempReport lastPosted;
    // The scheme the mode is in force in, compared with the active one at every reading.
    SchemeId inForce;
    // Reports that would have been posted to the window.
    long posts;
};

// For each counter value: the check for a switch of the active scheme (while the throttle is
// engaged, as in the watcher), conversion to °C, the
// controller step, and the change test that decides whether a report is posted. Kept in its own
// file so that it is a real call that callgrind can count on its own.
void RunTicks(TickState& state, const int64_t* counterValues, size_t count);
