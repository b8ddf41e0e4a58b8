// "Start with Windows": the value "Ambrel" under
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run, holding the quoted full path
// of the running executable. Unicode throughout, so that a path with any characters works.
#pragma once

// True when the value exists (whatever it holds: the menu shows the key's state).
bool IsStartWithWindows();

// Writes or removes the value; false (and a log entry) when that fails.
bool SetStartWithWindows(bool start);
