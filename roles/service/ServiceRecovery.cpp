#include "roles/service/ServiceRecovery.h"

#include "roles/service/ServiceStatus.h"
#include "base/Log.h"

namespace
{

// Room for a configuration with a few actions and its texts; one that does not fit has actions.
const DWORD CONFIG_BUFFER_SIZE = 1024;

} // namespace

RecoveryOutcome SetRecoveryWhereNone(SC_HANDLE service, const ServiceConfigCalls& calls)
{
    alignas(SERVICE_FAILURE_ACTIONSW) BYTE buffer[CONFIG_BUFFER_SIZE];
    DWORD needed = 0;
    if (!calls.query(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer, sizeof buffer, &needed))
        return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? RECOVERY_KEPT : RECOVERY_UNREAD;
    // Anything an administrator chose (a reset period, a command or a reboot message without
    // actions too) is theirs: only a service with no recovery settings at all gets the restarts.
    const SERVICE_FAILURE_ACTIONSW* found =
        reinterpret_cast<const SERVICE_FAILURE_ACTIONSW*>(buffer);
    if (found->cActions != 0 || found->dwResetPeriod != 0 ||
        (found->lpCommand != nullptr && found->lpCommand[0] != L'\0') ||
        (found->lpRebootMsg != nullptr && found->lpRebootMsg[0] != L'\0'))
        return RECOVERY_KEPT;
    // With more failures than actions the manager repeats the last one: the closing "none"
    // keeps it to two restarts until the reset.
    SC_ACTION actions[] = {{SC_ACTION_RESTART, RECOVERY_RESTART_DELAY_MS},
                           {SC_ACTION_RESTART, RECOVERY_RESTART_DELAY_MS},
                           {SC_ACTION_NONE, 0}};
    SERVICE_FAILURE_ACTIONSW failure = {RECOVERY_RESET_SECONDS, nullptr, nullptr, 3, actions};
    return calls.change(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure) ? RECOVERY_SET
                                                                           : RECOVERY_FAILED;
}

void SetRecoveryAtStart()
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service =
        manager != nullptr
            ? OpenServiceW(manager, SERVICE_NAME,
                           SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG | SERVICE_START)
            : nullptr;
    if (service == nullptr) {
        LogPrint("service: its restart after a crash cannot be read (%lu)\n", GetLastError());
    } else {
        const ServiceConfigCalls calls = {QueryServiceConfig2W, ChangeServiceConfig2W};
        switch (SetRecoveryWhereNone(service, calls)) {
        case RECOVERY_SET:
            LogPrint("service: restarts after a crash set (twice, then none for a day)\n");
            break;
        case RECOVERY_KEPT:
            LogPrint("service: restarts after a crash as configured; left as they are\n");
            break;
        case RECOVERY_UNREAD:
            LogPrint("service: its restart after a crash cannot be read (%lu)\n", GetLastError());
            break;
        case RECOVERY_FAILED:
            LogPrint("service: the restart after a crash cannot be set (%lu)\n", GetLastError());
            break;
        }
        CloseServiceHandle(service);
    }
    if (manager != nullptr)
        CloseServiceHandle(manager);
}
