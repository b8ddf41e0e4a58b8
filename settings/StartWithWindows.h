// "Start with Windows": the value "Ambrel" under
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run, holding the quoted full path
// of the running executable. Unicode throughout, so that a path with any characters works.
//
// Task Manager's Startup tab disables a program without touching its Run value: it keeps a
// binary value of the same name under
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run,
// whose first byte is odd while the program is disabled (a missing value means enabled).
//
// The installer's "Start at logon for every user" writes the same value under
// HKEY_LOCAL_MACHINE instead. That start is the administrator's: no user can stop it, and a
// value of the user's own beside it would only start the program a second time.
#pragma once

// True when Windows will start the program at logon: the Run value exists (whatever it holds)
// and no StartupApproved mark disables it.
bool IsStartWithWindows();

// True when the machine's Run value exists (whatever it holds): the program starts at every
// user's logon, and the item is not the user's to change.
bool IsStartWithWindowsForAllUsers();

// Where the machine starts the program for every user, removes the user's own Run value, which
// would only start it a second time at every logon (a value left from before the installer's).
void DropUserStartBesideMachineStart();

// Starting: writes the Run value and removes a StartupApproved mark. Not starting: removes the
// Run value. False (and a log entry) when that fails.
bool SetStartWithWindows(bool start);
