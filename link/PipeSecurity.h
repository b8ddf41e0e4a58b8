// Who may use the status pipe: full access for SYSTEM, administrators and the account that runs
// the controller, read for interactive users, nothing for anyone else, and nothing inherited
// from a parent. In SDDL: D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;<the account>)(A;;GR;;;IU).
#pragma once

#include <windows.h>

// Makes the descriptor, to be freed with LocalFree; false (nothing held) when the account or
// the list cannot be had. It is built from the SIDs themselves: going through the SDDL text
// would bring in the string conversion's library for this alone.
bool MakePipeSecurity(PSECURITY_DESCRIPTOR& descriptor);
