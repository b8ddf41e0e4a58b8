// "Start with Windows": the value "Ambrel" under
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run, holding the quoted full path
// of the running executable. Unicode throughout, so that a path with any characters works.
//
// Task Manager's Startup tab disables a program without touching its Run value: it keeps a
// binary value of the same name under
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run,
// whose first byte is odd while the program is disabled (a missing value means enabled).
#pragma once

// True when Windows will start the program at logon: the Run value exists (whatever it holds)
// and no StartupApproved mark disables it.
bool IsStartWithWindows();

// Starting: writes the Run value and removes a StartupApproved mark. Not starting: removes the
// Run value. False (and a log entry) when that fails.
bool SetStartWithWindows(bool start);
