// Ambrel.exe --diagnose: what a user pastes into a bug report when the icon shows "--" or the cap
// seems not to act, for the machines that cannot be tested on. Plain English text to the
// standard output (or the starting command's console). Read-only: it writes no power setting,
// no registry value and no log, and takes no guard; it opens the status pipe read-only for one
// answer, as --status does.
#pragma once

#include <windows.h>

// Exit codes of --diagnose.
const int DIAGNOSE_ALL_READ = 0;
const int DIAGNOSE_SOME_UNREAD = 1;

// Prints the diagnosis and returns one of the codes above.
int RunDiagnosis(HINSTANCE instance);
