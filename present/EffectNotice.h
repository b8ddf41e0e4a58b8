// The notification that a cap has no effect: shown once in a run (ThrottleNotice decides when),
// unless the user turned notifications off; the tooltip and the history window tell it from then
// on. Main thread only.
#pragma once

#include "base/TextTable.h"
#include "link/ControllerReport.h"
#include "ui/TrayIcon.h"

// Shows it for the report (its cap and the performance seen) where notify allows, and logs what
// became of it.
void ShowNoEffectNotice(const TrayIcon& icon, const ControllerReport& report, bool notify,
                        const TextTable& words);
