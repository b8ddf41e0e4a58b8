#include "roles/TrayRole.h"

#include "base/HiddenWindow.h"
#include "base/Log.h"
#include "power/Ambrel.h"
#include "present/HistoryPopup.h"
#include "roles/ConsoleShutdown.h"
#include "roles/RoleWindow.h"
#include "settings/StartWithWindows.h"
#include "watch/WatchMessages.h"

#include <cstdio>
#include <cstring>

namespace
{

void OnReport(TrayRole& tray, int t, int mode, bool first)
{
    tray.controller.OnReport(t, mode, first);
    tray.presenter.Show(tray.controller.Report());
}

// "<user> (<how>)" for the event log: the tray's user is the session's.
void WhoAsks(char (&by)[64], const char* how)
{
    char user[40] = "";
    DWORD size = sizeof user;
    if (!GetUserNameA(user, &size))
        std::snprintf(user, sizeof user, "the user");
    std::snprintf(by, sizeof by, "%s (%s)", user, how);
}

// minutes 0 ends the pause. True when the controller took the request.
bool HandOnPause(TrayRole& tray, int minutes, const char* how)
{
    char by[64];
    WhoAsks(by, how);
    if (minutes == 0) {
        tray.controller.Resume(by);
        return true;
    }
    return tray.controller.Pause(minutes, by);
}

// Ambrel.exe --pause N or --resume from this session: checked as the menu's pause is (the
// policy, the minutes' range), since any program of the session may send it.
LONG_PTR OnPauseMessage(TrayRole& tray, WPARAM minutes)
{
    const long long asked = minutes > static_cast<WPARAM>(AMBREL_LONGEST_PAUSE_MINUTES)
                                ? -1
                                : static_cast<long long>(minutes);
    const PauseVerdict verdict = JudgePause(tray.controller.settings.pauseForbidden, asked);
    if (verdict == PauseVerdict::Forbidden) {
        LogPrint("WndProc(): pause message refused: forbidden by policy\n");
        return PAUSE_ANSWER_FORBIDDEN;
    }
    if (verdict == PauseVerdict::OutOfRange)
        return 0;
    return HandOnPause(tray, static_cast<int>(minutes),
                       minutes != 0 ? "Ambrel.exe --pause" : "Ambrel.exe --resume")
               ? PAUSE_ANSWER_DONE
               : 0;
}

void OnCommand(TrayRole& tray, int command)
{
    const MenuOutcome outcome = tray.presenter.OnCommand(command);
    if (outcome.pauseMinutes != 0 || outcome.resume)
        HandOnPause(tray, outcome.resume ? 0 : outcome.pauseMinutes, "menu");
    if (outcome.choicesChanged)
        tray.controller.Choose(tray.presenter.Choices());
}

// At log-off or shutdown, and when the Restart Manager closes the program (ENDSESSION_CLOSEAPP),
// the process may be ended as soon as this returns: the watcher is stopped here so that its last
// callback writes the user's power value back first. Then the icon goes and the window is
// destroyed, so that the normal end runs and the process exits when the platform lets it.
bool OnEndSession(TrayRole& tray, WPARAM ending)
{
    if (!ending)
        return false;
    LogPrint("WndProc(): WM_ENDSESSION\n");
    tray.controller.StopForEndOfSession();
    tray.presenter.Close();
    DestroyWindow(tray.messageWindow.hwnd.load());
    return true;
}

} // namespace

int RunTray(TrayRole& tray, HINSTANCE instance)
{
    if (!MakeRoleWindow(tray.messageWindow, instance, TrayWndProc, &tray))
        return -1;
    HWND window = tray.messageWindow.hwnd.load();
    tray.texts.Load(instance, 0);
    tray.presenter.Bind(tray.messageWindow, tray.texts.table, tray.controller.readings,
                        tray.controller.day);
    tray.presenter.AllowPause();
    SetConsoleShutdownWindow(window);

    tray.controller.LoadSettings();
    tray.presenter.TakeChoices(tray.controller.settings);
    DropUserStartBesideMachineStart();
    tray.controller.Start(tray.messageWindow);
    tray.presenter.KeepHistory(tray.controller.kept.store);
    LogPrint("message loop start\n");
    RunMessageLoop(&tray.controller.statusPipe);
    tray.presenter.EndHistory();

    EndMessageLoop(tray.messageWindow);
    tray.controller.Stop();
    LogPrint("watch stopped\n");
    tray.presenter.ReleaseIcon();
    LogPrint("tray stopped\n");
    return 0;
}

// The glue between the controller and the presenter: the reports, the menu's choices and
// pauses, the end of the session; every other message is the controller's or the presenter's.
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
        return OnEndSession(tray, wParam) ? 0 : MESSAGE_NOT_HANDLED;
    default:
        if (message == PauseMessage())
            return OnPauseMessage(tray, wParam);
        if (message == SaveHistoryMessage())
            return tray.controller.kept.SaveNow() ? SAVE_ANSWER_DONE : 0;
        if (tray.controller.Handle(message, wParam, lParam) ||
            tray.presenter.Handle(message, wParam, lParam))
            return 0;
        return MESSAGE_NOT_HANDLED;
    }
}
