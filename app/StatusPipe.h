// The status pipe on the application floor. The controller publishes what it shows (the last
// report, the zone read, the threshold, the battery choice, what policy has set, and the
// readings of the run) to its PipeServer after each report and each change of a choice. A view
// takes the controller's messages from its PipeClient into the same fields of the TrayApp that
// the watcher's reports fill, so that the icon, the tooltip, the history window and the notice
// are made as the controller makes them. Main thread only.
#pragma once

#include "link/PipeMessage.h"

struct TrayApp;

// The controller: hands the current status and history to the server (when it runs).
void PublishStatus(TrayApp& app);

// A view: the zone, the threshold and the battery choice are the controller's, from the start.
void LockMachineChoices(TrayApp& app);
// A view: takes a status into app (the machine's zone, threshold and battery choice, shown in
// the menu; the reading, the cap and the failure time), and whether the controller that sent it
// from session is the machine's service. The user's own Notify stays.
void TakeViewStatus(TrayApp& app, const PipeStatus& status, PipeServerSession session);
// A view: the controller's readings replace the ones held.
void TakeViewHistory(TrayApp& app, const PipeHistory& history);
// A view: no controller answers; what is shown becomes "--" with "Ambrel service not running",
// or "Ambrel has ended in the other session" where the controller was a tray there.
void TakeControllerLost(TrayApp& app);
