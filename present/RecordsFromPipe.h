// What a view's pipe brings, into the records its presenter draws from: the controller's readings
// and its day replace the ones held. Platform-free: the caller hands in the clocks, the receiver's
// now.
#pragma once

#include "link/ControllerReport.h"
#include "link/PipeMessage.h"
#include "ui/DayRing.h"
#include "ui/HistoryRing.h"

// Each sample at nowMs less its age (the readings' monotonic clock).
void HistoryFromPipe(const PipeHistory& history, int64_t nowMs, HistoryRing& readings);

// The newest minute stands for the controller's last report until the status that follows.
void DayFromPipe(const PipeDay& day, int64_t monotonicMs, int64_t localMs, DayRing& ring);

// What a view shows once no controller answers: "--" with "Ambrel service not running", or
// "Ambrel has ended in the other session" where the controller was a tray there, or that the
// pipe's server is not Ambrel (notAmbrels). The controller's choices and zone stay as shown.
ControllerReport ReportOfLostController(const ControllerReport& shown, bool notAmbrels,
                                        bool controllerWasTray);
