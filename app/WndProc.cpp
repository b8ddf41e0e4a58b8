#include "app/WndProc.h"

#include "base/Log.h"
#include "app/StartWithWindows.h"
#include "app/TrayApp.h"
#include "res/resource.h"
#include "watch/WatchMessages.h"
#include "ui/TrayTooltip.h"

#include <cstdio>

namespace
{

// Temperature and mode travel as signed 32-bit values in the low half of the parameters.
int LowInt(WPARAM value)
{
    return static_cast<int>(static_cast<DWORD>(value));
}
int LowInt(LPARAM value)
{
    return static_cast<int>(static_cast<DWORD>(value));
}

// Sent by the shell to every top-level window when the taskbar has been (re)created.
UINT TaskbarCreatedMessage()
{
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

// Sent from Windows 8.1 on to a window whose display scale has changed; the headers define it
// only for newer targets than this program's.
const UINT DPI_CHANGED_MESSAGE = 0x02E0;

// After a change of display scale the shell shows small icons at another size: the icon is
// rebuilt at the designed size for it. Returns FALSE when the size has stayed the same.
BOOL FitTrayIconToScale(TrayApp& app)
{
    return app.trayIcon.ResizeTrayIcon(GetSystemMetrics(SM_CXSMICON));
}

// The history window: opened beside the icon, closed by a second click, Esc or the loss of the
// activation. Every way to open or close it ends here.
void OpenHistory(TrayApp& app)
{
    RECT anchor = TrayIconAnchor(app.trayIcon.trayWindow, 0);
    if (app.history.Open(app.messageWindow.hwnd.load(), anchor, app.settings.zone,
                         app.settings.throttleAt))
        LogPrint("WndProc(): history open\n");
}

void CloseHistory(TrayApp& app)
{
    if (app.history.open == nullptr)
        return;
    app.history.Close(app.messageWindow.hwnd.load());
    LogPrint("WndProc(): history closed\n");
}

// The stamp is taken once the window is gone, which may take a while: the click on the icon
// that took the activation away arrives after it and must not open the window again.
void OnHistoryClose(TrayApp& app, WPARAM reason)
{
    if (app.history.open == nullptr)
        return;
    CloseHistory(app);
    if (reason == HISTORY_CLOSE_DEACTIVATED)
        app.history.deactivatedAt = GetTickCount64();
}

void RefreshHistory(TrayApp& app, bool sample)
{
    app.history.Refresh(app.settings.zone, app.settings.throttleAt, sample);
}

void OnExit(TrayApp& app)
{
    LogPrint("WndProc(): WM_COMMAND: Receive ID_EXIT\n");
    CloseHistory(app);
    app.trayIcon.ReleaseTrayIcon();
    PostMessageA(app.messageWindow.hwnd.load(), WM_CLOSE, 0, 0);
}

void OnAbout()
{
    LogPrint("WndProc(): WM_COMMAND: Receive ID_ABOUT\n");
    MessageBoxA(nullptr, "Version 1.00", "Ambrel", MB_OK);
}

// Hands the current choices to the worker, which applies them from its next reading.
void RequestWatchChoice(TrayApp& app)
{
    WatchChoice choice = {};
    std::snprintf(choice.zone, sizeof choice.zone, "%s", app.settings.zone);
    choice.throttleAt = app.settings.throttleAt;
    if (!app.tempWatch.RequestChoice(choice))
        LogPrint("WndProc(): no memory for the choice\n");
}

void OnZone(TrayApp& app, const char* zone)
{
    LogPrint("WndProc(): WM_COMMAND: Receive ID_ZONE %s\n", zone);
    std::snprintf(app.settings.zone, sizeof app.settings.zone, "%s", zone);
    SaveZoneSetting(zone);
    RequestWatchChoice(app);
}

void OnThrottleAt(TrayApp& app, int32_t throttleAt)
{
    LogPrint("WndProc(): WM_COMMAND: Receive ID_THROTTLE_AT %d\n", static_cast<int>(throttleAt));
    app.settings.throttleAt = throttleAt;
    SaveThrottleAtSetting(throttleAt);
    RequestWatchChoice(app);
}

void OnStartWithWindows()
{
    LogPrint("WndProc(): WM_COMMAND: Receive ID_START_WITH_WINDOWS\n");
    SetStartWithWindows(!IsStartWithWindows());
}

// The items built at run time; false for a command that is none of them.
bool OnSettingsCommand(TrayApp& app, int command)
{
    if (const char* zone = app.trayMenu.ZoneOfCommand(command)) {
        OnZone(app, zone);
        return true;
    }
    if (int32_t throttleAt = app.trayMenu.ThrottleAtOfCommand(command)) {
        OnThrottleAt(app, throttleAt);
        return true;
    }
    if (command == ID_START_WITH_WINDOWS) {
        OnStartWithWindows();
        return true;
    }
    return false;
}

void OnCommand(TrayApp& app, int command)
{
    switch (command) {
    case ID_EXIT:
        OnExit(app);
        break;
    case ID_ABOUT:
        OnAbout();
        break;
    case ID_HISTORY:
        LogPrint("WndProc(): WM_COMMAND: Receive ID_HISTORY\n");
        OpenHistory(app);
        break;
    default:
        if (!OnSettingsCommand(app, command))
            LogPrint("WndProc(): WM_COMMAND: Error Receive %d\n", command);
        break;
    }
}

// Opens the tray menu with its bottom-left corner at the cursor. The tray window is made the
// foreground window and sent WM_NULL afterwards so that the menu closes when the user clicks
// elsewhere.
void ShowTrayMenu(TrayApp& app)
{
    LogPrint("WndProc(): WM_FROMTRAY: Receive WM_RBUTTONDOWN\n");
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAYMENU));
    HMENU popup = GetSubMenu(menu, 0);
    MenuChoices choices = {app.settings.zone, app.settings.throttleAt, THROTTLE_AT_CHOICES,
                           THROTTLE_AT_CHOICE_COUNT, IsStartWithWindows()};
    app.trayMenu.AddSettingsItems(popup, choices);
    HWND trayWindow = app.trayIcon.trayWindow;
    SetForegroundWindow(trayWindow);
    TrackPopupMenu(popup, TPM_BOTTOMALIGN, cursor.x, cursor.y, 0, trayWindow, nullptr);
    PostMessageA(trayWindow, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

// Remembers when the readings began to fail, for the tooltip.
void OnTempStatus(TrayApp& app, int32_t status)
{
    if (status == READING_FAILED && app.readingStatus != READING_FAILED)
        GetLocalTime(&app.failedSince);
    app.readingStatus = status;
}

// The tooltip goes to the shell with the icon. The hidden window carries the same text as its
// title, so that the program's state can be read with GetWindowText from outside.
void ComposeTip(TrayApp& app, int t, int mode)
{
    TooltipFacts facts = {t,
                          mode,
                          app.readingStatus,
                          app.settings.zone,
                          app.failedSince.wHour,
                          app.failedSince.wMinute};
    char16_t tip[TOOLTIP_SIZE];
    ComposeTooltip(tip, TOOLTIP_SIZE, facts);
    app.trayIcon.SetTip(tip);
    SetWindowTextW(app.messageWindow.hwnd.load(), app.trayIcon.tip);
}

void RecordReading(TrayApp& app, int t, int mode)
{
    app.history.Record(t, mode, app.readingStatus);
    RefreshHistory(app, false);
}

void OnTempInit(TrayApp& app, int t, int mode)
{
    RecordReading(app, t, mode);
    ComposeTip(app, t, mode);
    app.trayIcon.CreateTrayIcon(app.messageWindow.hwnd.load(), t, mode);
}

void OnTempChange(TrayApp& app, int t, int mode)
{
    RecordReading(app, t, mode);
    ComposeTip(app, t, mode);
    app.trayIcon.UpdateTrayIcon(t, mode);
}

void OnTrayNotification(TrayApp& app, int mouseMessage)
{
    if (mouseMessage == WM_RBUTTONDOWN) {
        ShowTrayMenu(app);
    } else if (mouseMessage == WM_LBUTTONUP) {
        LogPrint("WndProc(): WM_FROMTRAY: Receive WM_LBUTTONUP\n");
        ToggleHistory(app);
    }
}

// At log-off or shutdown, and when the Restart Manager closes the program (ENDSESSION_CLOSEAPP),
// the process may be ended as soon as this returns: the watcher is stopped here so that its last
// callback writes the user's power value back first. Then the icon goes and the window is
// destroyed, so that the normal end runs and the process exits when the platform lets it.
// Returns whether the message was handled.
bool OnEndSession(TrayApp& app, WPARAM ending)
{
    if (!ending)
        return false;
    LogPrint("WndProc(): WM_ENDSESSION\n");
    app.tempWatch.Stop();
    CloseHistory(app);
    app.trayIcon.ReleaseTrayIcon();
    DestroyWindow(app.messageWindow.hwnd.load());
    return true;
}

} // namespace

void ToggleHistory(TrayApp& app)
{
    if (app.history.open != nullptr)
        CloseHistory(app);
    else if (!app.history.JustDeactivated())
        OpenHistory(app);
}

LONG_PTR WndProc(void* user, UINT message, WPARAM wParam, LPARAM lParam)
{
    TrayApp& app = *static_cast<TrayApp*>(user);
    switch (message) {
    case WM_COMMAND:
        OnCommand(app, LowInt(wParam));
        return 0;
    case WM_FROMTRAY:
        OnTrayNotification(app, LowInt(lParam));
        return 0;
    case WM_TEMPINIT:
        OnTempInit(app, LowInt(wParam), LowInt(lParam));
        return 0;
    case WM_TEMPCHANGE:
        OnTempChange(app, LowInt(wParam), LowInt(lParam));
        return 0;
    case WM_TEMPSTATUS:
        OnTempStatus(app, LowInt(wParam));
        return 0;
    case WM_HISTORYCLOSE:
        OnHistoryClose(app, wParam);
        return 0;
    case WM_TIMER:
        if (wParam != HISTORY_TIMER_ID)
            return -1;
        RefreshHistory(app, true);
        return 0;
    case WM_ENDSESSION:
        return OnEndSession(app, wParam) ? 0 : -1;
    case DPI_CHANGED_MESSAGE:
    case WM_SETTINGCHANGE:
        FitTrayIconToScale(app);
        return -1;
    default:
        if (message == TaskbarCreatedMessage()) {
            // The shell sends it again after a change of display scale; a rebuilt icon is
            // registered by the rebuild.
            if (!FitTrayIconToScale(app))
                app.trayIcon.RestoreTrayIcon();
            return 0;
        }
        return -1;
    }
}
