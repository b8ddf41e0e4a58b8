#include "roles/TrayRole.h"

#include "base/HiddenWindow.h"
#include "base/Log.h"
#include "roles/RoleRun.h"
#include "roles/RoleWindow.h"
#include "settings/StartWithWindows.h"
#include "watch/WatchMessages.h"

namespace
{

void OnReport(TrayRole& tray, int t, int mode, bool first)
{
    tray.controller.OnReport(t, mode, first);
    tray.presenter.Show(tray.controller.Report());
}

void OnCommand(TrayRole& tray, int command)
{
    const MenuOutcome outcome = tray.presenter.OnCommand(command);
    if (outcome.pauseMinutes != 0 || outcome.resume)
        tray.controller.PauseForUser(outcome.resume ? 0 : outcome.pauseMinutes, "menu");
    if (outcome.choicesChanged)
        tray.controller.Choose(tray.presenter.Choices());
}

void Start(void* role, HINSTANCE instance)
{
    TrayRole& tray = *static_cast<TrayRole*>(role);
    OpenPresenter(tray.presenter, tray.texts, tray.messageWindow, instance,
                  tray.controller.Readings(), tray.controller.Day());
    tray.presenter.AllowPause();
    tray.controller.LoadSettings(false);
    tray.presenter.TakeChoices(tray.controller.Choices());
    DropUserStartBesideMachineStart();
    tray.controller.Start(tray.messageWindow);
}

void Stop(void* role)
{
    static_cast<TrayRole*>(role)->controller.Stop();
}

} // namespace

int RunTray(TrayRole& tray, HINSTANCE instance)
{
    const RoleRun run = {&tray.messageWindow, TrayWndProc, &tray,   tray.controller.Pipe(),
                         &tray.presenter,     Start,       nullptr, Stop};
    return RunRole(run, instance);
}

// The glue between the controller and the presenter: the reports, the menu's choices and
// pauses, the session's pause, the end of the session; every other message is the controller's
// or the presenter's.
LONG_PTR TrayWndProc(void* user, UINT message, WPARAM wParam, LPARAM lParam)
{
    TrayRole& tray = *static_cast<TrayRole*>(user);
    switch (message) {
    case WM_COMMAND:
        OnCommand(tray, LowInt(wParam));
        return 0;
    case WM_TEMPINIT:
    case WM_TEMPCHANGE:
        OnReport(tray, LowInt(wParam), LowInt(lParam), message == WM_TEMPINIT);
        return 0;
    case WM_ENDSESSION:
        return CloseForEndOfSession(tray.presenter, tray.messageWindow, &tray.controller, wParam)
                   ? 0
                   : MESSAGE_NOT_HANDLED;
    default:
        if (message == PauseMessage())
            return tray.controller.AnswerSessionPause(wParam);
        if (tray.controller.Handle(message, wParam, lParam) ||
            tray.presenter.Handle(message, wParam, lParam))
            return 0;
        return MESSAGE_NOT_HANDLED;
    }
}
