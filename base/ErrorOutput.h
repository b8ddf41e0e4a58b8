// Where a run that only carries out a command tells the user what went wrong.
#pragma once

// Writes text to the standard error, or, where the starter gave none (a process of the GUI
// subsystem started from a console), to the console of the command that started it.
void WriteError(const char* text);
