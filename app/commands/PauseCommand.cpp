#include "app/commands/PauseCommand.h"

#include "base/ErrorOutput.h"
#include "roles/service/PauseControl.h"
#include "app/RunningInstance.h"
#include "base/Log.h"
#include "power/Ambrel.h"
#include "roles/service/ServiceStatus.h"
#include "settings/Policy.h"

#include <windows.h>

#include <cstdio>

namespace
{

enum class ServiceAnswer { Done, NotRunning, Denied, Failed };

void Refuse(const char* text)
{
    LogPrint("%s", text);
    WriteError(text);
}

bool ServiceRuns(SC_HANDLE manager)
{
    SC_HANDLE service = OpenServiceW(manager, SERVICE_NAME, SERVICE_QUERY_STATUS);
    if (service == nullptr)
        return false;
    SERVICE_STATUS status = {};
    const bool runs =
        QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED;
    CloseServiceHandle(service);
    return runs;
}

// The right to send the control is checked when the handle is opened: without it, the service
// is refused only where it runs at all (a stopped one leaves the tray to ask).
ServiceAnswer SendControl(SC_HANDLE manager, DWORD control, DWORD& error)
{
    SC_HANDLE service =
        OpenServiceW(manager, SERVICE_NAME, SERVICE_USER_DEFINED_CONTROL | SERVICE_QUERY_STATUS);
    if (service == nullptr) {
        error = GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST)
            return ServiceAnswer::NotRunning;
        if (error == ERROR_ACCESS_DENIED)
            return ServiceRuns(manager) ? ServiceAnswer::Denied : ServiceAnswer::NotRunning;
        return ServiceAnswer::Failed;
    }
    SERVICE_STATUS status = {};
    const BOOL sent = ControlService(service, control, &status);
    error = sent ? ERROR_SUCCESS : GetLastError();
    CloseServiceHandle(service);
    if (sent)
        return ServiceAnswer::Done;
    if (error == ERROR_SERVICE_NOT_ACTIVE || error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL)
        return ServiceAnswer::NotRunning;
    return error == ERROR_ACCESS_DENIED ? ServiceAnswer::Denied : ServiceAnswer::Failed;
}

ServiceAnswer AskService(int minutes, DWORD& error)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) {
        error = GetLastError();
        return ServiceAnswer::Failed;
    }
    const ServiceAnswer answer = SendControl(manager, ControlOfPause(minutes), error);
    CloseServiceHandle(manager);
    return answer;
}

// minutes 0: the pause was to end.
void NoController(int minutes)
{
    Refuse(minutes > 0 ? "Ambrel.exe: no Ambrel runs that could pause: neither the Ambrel service "
                         "nor Ambrel in this session.\r\n"
                       : "Ambrel.exe: no Ambrel runs that could resume: neither the Ambrel service "
                         "nor Ambrel in this session.\r\n");
}

} // namespace

// The tray of this session is asked first: where it runs it controls the machine (a service
// beside it waits), and it is the user's own. A view there does not take the message, and the
// service is asked.
int RunPauseCommand(int minutes)
{
    if (minutes < 0) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "Ambrel.exe --pause N: N is the pause in minutes, from 1 to %d.\r\n",
                      AMBREL_LONGEST_PAUSE_MINUTES);
        Refuse(text);
        return PAUSE_BAD_ARGUMENT;
    }
    Settings policy = {};
    ApplyPolicies(policy);
    const LRESULT tray = JudgePause(policy.pauseForbidden, minutes) == PauseVerdict::Forbidden
                             ? PAUSE_ANSWER_FORBIDDEN
                             : AskRunningToPause(minutes);
    if (tray == PAUSE_ANSWER_FORBIDDEN) {
        Refuse("Ambrel.exe: the pause is forbidden by policy (AllowPause is 0).\r\n");
        return PAUSE_FORBIDDEN;
    }
    if (tray == PAUSE_ANSWER_DONE) {
        LogPrint("pause command: the tray of this session took it\n");
        return PAUSE_DONE;
    }
    DWORD error = ERROR_SUCCESS;
    switch (AskService(minutes, error)) {
    case ServiceAnswer::Done:
        LogPrint("pause command: the service took control %u\n",
                 static_cast<unsigned>(ControlOfPause(minutes)));
        return PAUSE_DONE;
    case ServiceAnswer::Denied:
        Refuse("Ambrel.exe: only an administrator may pause the Ambrel service or end its pause "
               "(access denied). Run the command again from an elevated command prompt.\r\n");
        return PAUSE_DENIED;
    case ServiceAnswer::NotRunning:
        NoController(minutes);
        return PAUSE_NO_CONTROLLER;
    case ServiceAnswer::Failed:
        break;
    }
    char text[128];
    std::snprintf(text, sizeof text,
                  "Ambrel.exe: the Ambrel service could not be asked (error %lu).\r\n", error);
    Refuse(text);
    return PAUSE_FAILED;
}
