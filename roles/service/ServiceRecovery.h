// What the service manager does when the service ends without reporting itself stopped (a crash,
// a kill): start it again after 5 s, once more after 5 s, then nothing until a day has passed
// without a failure. The start that follows gives back what the crashed run left capped at once
// rather than at the next boot; a service that keeps failing is not restarted for ever.
//
// The installer sets these (its MsiServiceConfigFailureActions table, Windows Installer 5 on);
// where it could not, the service's first start does. Either sets them only on a service that
// has no failure actions at all, so an administrator's own are never replaced.
#pragma once

#include <windows.h>

// How long a day without a failure takes to forget the failures before it, in seconds.
const DWORD RECOVERY_RESET_SECONDS = 24 * 60 * 60;
// The wait before each restart, in milliseconds.
const DWORD RECOVERY_RESTART_DELAY_MS = 5000;

// The two calls on the service's configuration (ChangeServiceConfig2W and QueryServiceConfig2W,
// or a test's stand-ins).
struct ServiceConfigCalls {
    BOOL(WINAPI* query)(SC_HANDLE, DWORD, LPBYTE, DWORD, LPDWORD);
    BOOL(WINAPI* change)(SC_HANDLE, DWORD, LPVOID);
};

enum RecoveryOutcome {
    // The service had none; it has the restarts now.
    RECOVERY_SET,
    // It has failure actions already, whoever set them: left as they are.
    RECOVERY_KEPT,
    // They could not be read (the thread's last error says why): nothing is set, since what is
    // there might be an administrator's.
    RECOVERY_UNREAD,
    // Reading showed none, but setting them failed (the last error says why).
    RECOVERY_FAILED,
};

// Gives service (opened with SERVICE_QUERY_CONFIG, SERVICE_CHANGE_CONFIG and SERVICE_START, which
// a restart action needs) the restarts above where it has no failure actions.
RecoveryOutcome SetRecoveryWhereNone(SC_HANDLE service, const ServiceConfigCalls& calls);

// The service's own start: opens the service "Ambrel", sets as above, logs the outcome.
void SetRecoveryAtStart();
