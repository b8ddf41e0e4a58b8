// The machine-wide single-instance guard: the named mutex "Global\Ambrel Mutex", made by the one
// instance that controls the machine's power settings (a user's tray instance or the service).
#pragma once

#include <windows.h>

const char INSTANCE_GUARD_NAME[] = "Global\\Ambrel Mutex";

// Returns the guard handle (null when the mutex could not be made at all), or sets
// otherInstance when the program already runs. A mutex that exists but may not be opened was
// made by another user, by an elevated copy or by the service (its default security admits only
// its creator): another instance owns the machine's setting then too.
HANDLE AcquireSingleInstance(bool& otherInstance);
