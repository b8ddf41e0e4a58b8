#include "roles/service/ServiceRole.h"

#include "base/Log.h"
#include "roles/RoleRun.h"
#include "roles/RoleWindow.h"
#include "roles/service/ServiceStatus.h"
#include "watch/WatchMessages.h"

namespace
{

// The service outlives a log-off (where Windows sends it there at all): it ends with the machine,
// on the Service Control Manager's stop. At shutdown the process may end as soon as this returns:
// the watcher gives every value back first.
bool OnEndSession(ServiceRole& service, WPARAM ending, LPARAM how)
{
    if (!ending || (how & ENDSESSION_LOGOFF) != 0)
        return false;
    LogPrint("WndProc(): WM_ENDSESSION\n");
    service.controller.StopForEndOfSession();
    DestroyWindow(service.messageWindow.hwnd.load());
    return true;
}

// A command posted to the service by another program is not honoured: nothing there is a menu.
LONG_PTR OnCommand(WPARAM wParam)
{
    LogPrint("WndProc(): WM_COMMAND %d ignored by the service\n", LowInt(wParam));
    return MESSAGE_NOT_HANDLED;
}

void Start(void* role, HINSTANCE)
{
    ServiceRole& service = *static_cast<ServiceRole*>(role);
    service.controller.LoadSettings(true);
    service.controller.Start(service.messageWindow);
    service.status->Running();
}

void Leave(void* role)
{
    static_cast<ServiceRole*>(role)->status->StopPending();
}

void Stop(void* role)
{
    static_cast<ServiceRole*>(role)->controller.Stop();
}

} // namespace

int RunServiceRole(ServiceRole& service, HINSTANCE instance)
{
    const RoleRun run = {&service.messageWindow,
                         ServiceWndProc,
                         &service,
                         service.controller.Pipe(),
                         nullptr,
                         Start,
                         Leave,
                         Stop};
    return RunRole(run, instance);
}

// The reports go to the controller, which takes its other messages itself; an administrator's
// pause comes from the control handler.
LONG_PTR ServiceWndProc(void* user, UINT message, WPARAM wParam, LPARAM lParam)
{
    ServiceRole& service = *static_cast<ServiceRole*>(user);
    Controller& controller = service.controller;
    switch (message) {
    case WM_TEMPINIT:
    case WM_TEMPCHANGE:
        controller.OnReport(LowInt(wParam), LowInt(lParam), message == WM_TEMPINIT);
        return 0;
    case WM_SERVICEPAUSE:
        // Only the control handler posts it, for a caller that may control the service; the
        // controller checks the policy and the minutes all the same.
        if (wParam == 0)
            controller.Resume("an administrator (Ambrel.exe --resume)");
        else if (wParam <= static_cast<WPARAM>(AMBREL_LONGEST_PAUSE_MINUTES))
            controller.Pause(static_cast<int>(wParam), "an administrator (Ambrel.exe --pause)");
        return 0;
    case WM_ENDSESSION:
        return OnEndSession(service, wParam, lParam) ? 0 : MESSAGE_NOT_HANDLED;
    case WM_COMMAND:
        return OnCommand(wParam);
    default:
        return controller.Handle(message, wParam, lParam) ? 0 : MESSAGE_NOT_HANDLED;
    }
}
