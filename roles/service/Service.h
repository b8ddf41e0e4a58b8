// Ambrel.exe --service: the machine's controller as a Windows service. It runs the controller
// that a tray instance runs (Run, the hidden window, the watcher, the keeper and its ledger, the
// policies) with the machine's settings and ledger under HKEY_LOCAL_MACHINE\Software\Ambrel, and
// without anything a user sees: session 0 has no desktop.
#pragma once

#include <windows.h>

// Exit code of a --service start that no Service Control Manager made (the connection fails with
// ERROR_FAILED_SERVICE_CONTROLLER_CONNECT; 1 and 2 are --exit's).
const int SERVICE_NOT_STARTED_BY_SCM = 3;

// Connects to the Service Control Manager and runs the service until it has stopped. Started
// any other way it writes an error to the standard error (or the console of the command that
// started it) and returns SERVICE_NOT_STARTED_BY_SCM. Returns the service's exit code: 0 after
// an orderly stop. With logging, the service keeps its log file (--logging).
int RunService(HINSTANCE instance, bool logging);
