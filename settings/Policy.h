// The settings that an administrator enforces for every user of the machine, under
// HKEY_LOCAL_MACHINE\Software\Policies\Ambrel (set by Group Policy or a device manager through
// the template in deploy/policy/). The value names are those of the user's settings.
#pragma once

#include "settings/Settings.h"

const char POLICY_KEY_PATH[] = "Software\\Policies\\Ambrel";
// REG_DWORD: 0 forbids the pause (the menu's and the command line's), 1 allows it as if unset.
const char POLICY_ALLOW_PAUSE[] = "AllowPause";

// Puts every well-formed policy value over the user's choice and locks that setting. A value
// that is not well-formed is logged and ignored: the user's choice stays, unlocked.
void ApplyPolicies(Settings& settings);

// The user's own choices with the policies over them, as a tray starts with them and a view shows
// the user's Notify and Start with Windows.
Settings UserChoicesUnderPolicy();
