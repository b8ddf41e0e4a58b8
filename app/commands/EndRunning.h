// Ends the instance that runs already, in order: what the --exit switch does, for an installer
// that must not remove the program while it still holds the power setting changed.
#pragma once

#include <windows.h>

// Exit codes of a run with --exit.
const int END_RUNNING_DONE = 0;      // the instance has ended, or none was running
const int END_RUNNING_TIMEOUT = 1;   // it was asked to end but still runs after the wait
const int END_RUNNING_NOT_ASKED = 2; // it could not be asked, or its end could not be watched

// How long the instance is given to write the user's values back and end, in ms.
const DWORD END_RUNNING_WAIT = 10000;

// Finds the running instance's hidden window (class "Ambrel", in a process that runs an
// Ambrel.exe), posts WM_CLOSE to it and waits up to wait ms for its process to end; returns one
// of the codes above. A window of the class in another program is never asked.
int EndRunningInstance(DWORD wait);
