// Ambrel.exe --status [--json]: asks the controller through the status pipe, prints what it says
// and ends. It starts nothing, takes no guard and writes nothing (no log, no setting): it is a
// read-only client of the pipe, as a view is, for one answer.
#pragma once

#include "app/CommandLine.h"
#include "app/commands/StatusReport.h"

#include <windows.h>

// Connects read-only, takes the history and then the status within STATUS_WAIT_SECONDS, and
// fills answer (its outcome says how it went) and history (count 0 when none came).
void AskController(StatusAnswer& answer, PipeHistory& history);

// The whole run of --status: asks, prints and returns the exit code (STATUS_*).
int RunStatusQuery(HINSTANCE instance, const CommandSwitches& switches);
