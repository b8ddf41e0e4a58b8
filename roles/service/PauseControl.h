// How --pause and --resume reach the service: a user-defined service control (128 to 255), which
// the Service Control Manager passes only to a caller whose handle has
// SERVICE_USER_DEFINED_CONTROL, by default the administrators and the system. The control carries
// no data, so the minutes are in its code. Platform-free.
#pragma once

#include "power/Ambrel.h"

#include <cstdint>

// Ends the pause; 128 + N pauses for N minutes.
const uint32_t SERVICE_CONTROL_AMBREL_RESUME = 128;
static_assert(SERVICE_CONTROL_AMBREL_RESUME + AMBREL_LONGEST_PAUSE_MINUTES <= 255,
              "every pause has its control code");

// The control for a pause of minutes (0: the end of a pause).
uint32_t ControlOfPause(int minutes);
// The minutes of a control (0 for the end of a pause), or -1 for a control that is none of them.
int PauseOfControl(uint32_t control);
