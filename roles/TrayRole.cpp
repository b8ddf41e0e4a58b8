#include "roles/TrayRole.h"

#include "base/HiddenWindow.h"
#include "base/Log.h"
#include "present/HistoryPopup.h"
#include "roles/ConsoleShutdown.h"
#include "roles/RoleWindow.h"
#include "settings/StartWithWindows.h"
#include "watch/WatchMessages.h"

#include <cstring>

namespace
{

// The zone the watcher reads is named by what the presenter shows.
void ShowZone(TrayRole& tray)
{
    std::memcpy(tray.presenter.zone, tray.controller.ZoneShown(), sizeof tray.presenter.zone);
    tray.presenter.zone[sizeof tray.presenter.zone - 1] = '\0';
}

void OnReport(TrayRole& tray, int t, int mode, bool first)
{
    tray.controller.OnReport(t, mode, first);
    ShowZone(tray);
    if (first)
        tray.presenter.ShowFirst(t, mode);
    else
        tray.presenter.Show(t, mode);
}

void OnCommand(TrayRole& tray, int command)
{
    if (!tray.presenter.OnCommand(command))
        return;
    tray.controller.Choose(tray.presenter.settings);
    ShowZone(tray);
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

LONG_PTR OnTimer(TrayRole& tray, WPARAM id)
{
    if (id == EPISODE_TIMER_ID)
        tray.controller.OnQuietTimer();
    else if (id == HISTORY_TIMER_ID)
        tray.presenter.OnHistoryTimer();
    else
        return -1;
    return 0;
}

} // namespace

int RunTray(TrayRole& tray, HINSTANCE instance)
{
    if (!MakeRoleWindow(tray.messageWindow, instance, TrayWndProc, &tray))
        return -1;
    HWND window = tray.messageWindow.hwnd.load();
    tray.texts.Load(instance, 0);
    tray.presenter.Bind(tray.messageWindow, tray.texts.table);
    tray.presenter.history.readings = &tray.controller.readings;
    tray.presenter.history.day = &tray.controller.day;
    SetConsoleShutdownWindow(window);

    tray.controller.LoadSettings();
    tray.presenter.settings = tray.controller.settings;
    ShowZone(tray);
    DropUserStartBesideMachineStart();
    tray.controller.Start(tray.messageWindow);
    LogPrint("message loop start\n");
    RunMessageLoop();
    tray.presenter.history.Close(window);

    // The worker may still be posting; from here on its reports reach no window.
    tray.messageWindow.hwnd.store(nullptr);
    SetConsoleShutdownWindow(nullptr);
    LogPrint("msg stopped\n");
    tray.controller.Stop();
    LogPrint("watch stopped\n");
    tray.presenter.trayIcon.ReleaseTrayIcon();
    LogPrint("tray stopped\n");
    return 0;
}

LONG_PTR TrayWndProc(void* user, UINT message, WPARAM wParam, LPARAM lParam)
{
    TrayRole& tray = *static_cast<TrayRole*>(user);
    switch (message) {
    case WM_COMMAND:
        OnCommand(tray, LowInt(wParam));
        return 0;
    case WM_FROMTRAY:
        tray.presenter.OnTrayNotification(wParam, lParam);
        return 0;
    case WM_TEMPINIT:
        OnReport(tray, LowInt(wParam), LowInt(lParam), true);
        return 0;
    case WM_TEMPCHANGE:
        OnReport(tray, LowInt(wParam), LowInt(lParam), false);
        return 0;
    case WM_TEMPSTATUS:
        tray.controller.OnStatus(LowInt(wParam));
        tray.presenter.OnStatus(LowInt(wParam));
        return 0;
    case WM_TEMPCAP:
        tray.controller.OnCap(LowInt(wParam), lParam != 0);
        tray.presenter.OnCap(LowInt(wParam), lParam != 0);
        return 0;
    case WM_TEMPSCHEME:
        tray.controller.events.OnScheme(wParam, lParam);
        return 0;
    case WM_TEMPWRITEFAIL:
        tray.controller.events.OnWriteFailed(wParam, lParam);
        return 0;
    case WM_PIPEFAILED:
        tray.controller.events.OnPipeFailed(static_cast<DWORD>(wParam));
        return 0;
    case WM_HISTORYCLOSE:
        tray.presenter.OnHistoryClose(wParam);
        return 0;
    case WM_HISTORYRANGE:
        tray.presenter.OnHistoryRange(wParam);
        return 0;
    case WM_TIMER:
        return OnTimer(tray, wParam);
    case WM_ENDSESSION:
        return OnEndSession(tray, wParam) ? 0 : -1;
    case DPI_CHANGED_MESSAGE:
    case WM_SETTINGCHANGE:
        tray.presenter.FitToScale();
        return -1;
    default:
        if (message == ShowHistoryMessage()) {
            tray.presenter.OnSecondStart();
            return 0;
        }
        if (message == TaskbarCreatedMessage()) {
            tray.presenter.OnTaskbarCreated();
            return 0;
        }
        return -1;
    }
}
