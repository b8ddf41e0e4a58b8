// Ambrel.exe --export FILE [--days]: the history kept, as CSV, without a window. The history is
// the controller's that serves this session: the tray of this session writes its file first when
// asked; the service's file is read where the service serves the pipe; where no controller runs,
// the user's file, else the machine's. Exit 0 with the rows written; EXPORT_NO_HISTORY where
// there is no history anywhere, EXPORT_NOT_WRITTEN where FILE cannot be written, each with a line
// on the standard error.
#pragma once

#include "app/CommandLine.h"

const int EXPORT_USAGE = 2;
const int EXPORT_NO_HISTORY = 3;
const int EXPORT_NOT_WRITTEN = 4;

int RunExportCommand(const CommandSwitches& switches);
