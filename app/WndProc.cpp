#include "app/WndProc.h"

#include "base/Log.h"
#include "app/RunningInstance.h"
#include "app/StartWithWindows.h"
#include "app/StatusPipe.h"
#include "app/TrayApp.h"
#include "res/resource.h"
#include "watch/WatchMessages.h"
#include "power/Ambrel.h"
#include "ui/NoticeText.h"
#include "ui/TrayTooltip.h"

#include <shellapi.h>

#include <cstdio>
#include <cwchar>

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

// The zone as the watcher reads it, for what the user sees: with nothing chosen on a machine
// without the default zone, the hottest zone.
const char* ZoneShown(const TrayApp& app)
{
    return app.tempWatch.ZoneRead(app.settings.zone);
}

// The history window: opened beside the icon, closed by a second click, Esc or the loss of the
// activation. Every way to open or close it ends here.
void OpenHistory(TrayApp& app, bool fromKeyboard)
{
    RECT anchor = TrayIconAnchor(app.trayIcon.trayWindow, 0);
    if (!app.history.Open(app.messageWindow.hwnd.load(), anchor, ZoneShown(app),
                          app.settings.throttleAt, app.capInForce))
        return;
    app.history.openedFromKeyboard = fromKeyboard;
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
    const bool fromKeyboard = app.history.openedFromKeyboard;
    CloseHistory(app);
    if (reason == HISTORY_CLOSE_DEACTIVATED) {
        app.history.deactivatedAt = GetTickCount64();
    } else if (fromKeyboard) {
        // As after the menu: the keyboard goes on from the icon.
        app.trayIcon.ReturnFocusToShell();
        LogPrint("WndProc(): focus back to the notification area\n");
    }
}

// What a left click, Enter or Space on the icon does: opens the history window, or closes it.
void ToggleHistory(TrayApp& app, bool fromKeyboard)
{
    if (app.history.open != nullptr)
        CloseHistory(app);
    else if (!app.history.JustDeactivated())
        OpenHistory(app, fromKeyboard);
}

// The second click of a double click on the icon toggles nothing: the first one did. Where the
// shell takes the activation at its button-down, a window that the first click opened has closed
// meanwhile, and opens again.
void KeepFirstClick(TrayApp& app)
{
    if (app.history.LostToSecondClick())
        OpenHistory(app, false);
}

// A second start of the program asks for the history window, to show that Ambrel runs. The
// request comes from another process and carries nothing: it only ever opens the window, or
// brings the open one to the front, and never closes it.
void OnSecondStart(TrayApp& app)
{
    LogPrint("WndProc(): second start\n");
    if (app.history.open != nullptr)
        app.history.BringForward();
    else
        OpenHistory(app, false);
}

void RefreshHistory(TrayApp& app, bool sample)
{
    app.history.Refresh(ZoneShown(app), app.settings.throttleAt, app.capInForce, sample);
}

void OnExit(TrayApp& app)
{
    LogPrint("WndProc(): WM_COMMAND: Receive ID_EXIT\n");
    CloseHistory(app);
    app.trayIcon.ReleaseTrayIcon();
    PostMessageA(app.messageWindow.hwnd.load(), WM_CLOSE, 0, 0);
}

void OnAbout(const TrayApp& app)
{
    LogPrint("WndProc(): WM_COMMAND: Receive ID_ABOUT\n");
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(app.texts.table[IDS_ABOUT_TEXT]),
                L"Ambrel", MB_OK);
}

// Hands the current choices to the worker, which applies them from its next reading.
void RequestWatchChoice(TrayApp& app)
{
    WatchChoice choice = {};
    std::snprintf(choice.zone, sizeof choice.zone, "%s", app.settings.zone);
    choice.throttleAt = app.settings.throttleAt;
    choice.onBattery = app.settings.onBattery;
    if (!app.tempWatch.RequestChoice(choice))
        LogPrint("WndProc(): no memory for the choice\n");
    PublishStatus(app);
}

// A setting that a policy has set is not the user's to change: the menu greys its items, and a
// command for it that comes all the same (posted by another program) is ignored. In a view the
// machine's controller has set the zone, the threshold and the battery choice.
bool SetByPolicy(const TrayApp& app, bool locked, const char* command)
{
    if (locked)
        LogPrint("WndProc(): WM_COMMAND: %s is set %s\n", command,
                 app.isView ? "for this machine" : "by policy");
    return locked;
}

void OnZone(TrayApp& app, const char* zone)
{
    if (SetByPolicy(app, app.settings.locked.zone, "ID_ZONE"))
        return;
    LogPrint("WndProc(): WM_COMMAND: Receive ID_ZONE %s\n", zone);
    std::snprintf(app.settings.zone, sizeof app.settings.zone, "%s", zone);
    SaveZoneSetting(zone);
    RequestWatchChoice(app);
}

void OnThrottleAt(TrayApp& app, int32_t throttleAt)
{
    if (SetByPolicy(app, app.settings.locked.throttleAt, "ID_THROTTLE_AT"))
        return;
    LogPrint("WndProc(): WM_COMMAND: Receive ID_THROTTLE_AT %d\n", static_cast<int>(throttleAt));
    app.settings.throttleAt = throttleAt;
    SaveThrottleAtSetting(throttleAt);
    RequestWatchChoice(app);
}

// A ticked item of the menu: flips its setting and remembers it; false when a policy has set it.
bool FlipSwitch(const TrayApp& app, bool& on, bool locked, const char* command, const char* setting)
{
    if (SetByPolicy(app, locked, command))
        return false;
    LogPrint("WndProc(): WM_COMMAND: Receive %s\n", command);
    on = !on;
    SaveSwitchSetting(setting, on);
    return true;
}

void OnOnBattery(TrayApp& app)
{
    if (FlipSwitch(app, app.settings.onBattery, app.settings.locked.onBattery, "ID_ON_BATTERY",
                   SETTING_ON_BATTERY))
        RequestWatchChoice(app);
}

void OnNotify(TrayApp& app)
{
    FlipSwitch(app, app.settings.notify, app.settings.locked.notify, "ID_NOTIFY", SETTING_NOTIFY);
}

// Where the machine starts the program for every user, the user's own value would only add a
// second start, and removing it could not stop the first: the menu greys the item, and the
// command is refused as one for a setting locked by policy is.
void OnStartWithWindows()
{
    if (IsStartWithWindowsForAllUsers()) {
        LogPrint("WndProc(): WM_COMMAND: ID_START_WITH_WINDOWS is set for all users\n");
        return;
    }
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
    if (command == ID_ON_BATTERY) {
        OnOnBattery(app);
        return true;
    }
    if (command == ID_START_WITH_WINDOWS) {
        OnStartWithWindows();
        return true;
    }
    if (command == ID_NOTIFY) {
        OnNotify(app);
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
        OnAbout(app);
        break;
    case ID_HISTORY:
        LogPrint("WndProc(): WM_COMMAND: Receive ID_HISTORY\n");
        OpenHistory(app, false);
        break;
    default:
        if (!OnSettingsCommand(app, command))
            LogPrint("WndProc(): WM_COMMAND: Error Receive %d\n", command);
        break;
    }
}

// Opens the tray menu with its bottom-left corner at the point. The tray window is made the
// foreground window and sent WM_NULL afterwards so that the menu closes when the user clicks
// elsewhere and takes the arrow keys and Esc.
void ShowTrayMenu(TrayApp& app, POINT at)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAYMENU));
    HMENU popup = GetSubMenu(menu, 0);
    MenuChoices choices = {ZoneShown(app),
                           app.settings.throttleAt,
                           THROTTLE_AT_CHOICES,
                           THROTTLE_AT_CHOICE_COUNT,
                           IsStartWithWindows(),
                           IsStartWithWindowsForAllUsers(),
                           app.settings.onBattery,
                           app.settings.notify,
                           app.settings.locked,
                           app.isView,
                           app.isView && app.controllerIsTray};
    app.trayMenu.AddSettingsItems(popup, choices, app.texts.table);
    HWND trayWindow = app.trayIcon.trayWindow;
    SetForegroundWindow(trayWindow);
    TrackPopupMenu(popup, TPM_BOTTOMALIGN, at.x, at.y, 0, trayWindow, nullptr);
    PostMessageA(trayWindow, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

// Remembers when the readings began to fail, for the tooltip.
void OnTempStatus(TrayApp& app, int32_t status)
{
    app.events.OnStatus(status, ZoneShown(app));
    if (status == READING_FAILED && app.readingStatus != READING_FAILED)
        GetLocalTime(&app.failedSince);
    app.readingStatus = status;
}

// The time as the user's locale writes it, without seconds.
void FailedSinceText(const TrayApp& app, wchar_t* text, int size)
{
    if (GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &app.failedSince, nullptr, text,
                       size) == 0)
        swprintf(text, static_cast<size_t>(size), L"%02u:%02u",
                 static_cast<unsigned>(app.failedSince.wHour),
                 static_cast<unsigned>(app.failedSince.wMinute));
}

// The tooltip goes to the shell with the icon. The hidden window carries the same text as its
// title, so that the program's state can be read with GetWindowText from outside.
void ComposeTip(TrayApp& app, int t, int mode)
{
    wchar_t failedAt[32];
    FailedSinceText(app, failedAt, 32);
    TooltipFacts facts = {t,
                          mode,
                          app.readingStatus,
                          ZoneShown(app),
                          reinterpret_cast<const char16_t*>(failedAt),
                          app.settings.onBattery,
                          app.capInForce,
                          app.capLowered};
    char16_t tip[TOOLTIP_SIZE];
    ComposeTooltip(tip, TOOLTIP_SIZE, facts, app.texts.table);
    app.trayIcon.SetTip(tip);
    SetWindowTextW(app.messageWindow.hwnd.load(), app.trayIcon.tip);
}

// The cap as the watcher reports it, for the tooltip, the history and the notice.
void OnTempCap(TrayApp& app, int32_t inForce, bool lowered)
{
    app.capInForce = inForce;
    app.capLowered = lowered;
}

// The first step of an episode that lowers a value below the user's own setting shows a
// notification, unless the user turned it off. Every value it lowered holds the mode's level.
void NoticeThrottle(TrayApp& app, int t, int mode)
{
    if (!app.throttleNotice.Observe(app.capLowered, GetTickCount64()))
        return;
    if (!app.settings.notify) {
        LogPrint("WndProc(): throttle notice not shown: Notify is off\n");
        return;
    }
    char16_t text[NOTICE_SIZE];
    ComposeThrottleNotice(text, NOTICE_SIZE, t, mode, app.texts.table);
    if (app.trayIcon.ShowNotice(text))
        LogPrint("WndProc(): throttle notice: %u %% at %d C\n", ThrottlePercentOfMode(mode), t);
    else
        LogPrint("WndProc(): Shell_NotifyIconW(NIM_MODIFY) of the throttle notice failed\n");
}

void RecordReading(TrayApp& app, int t, int mode)
{
    app.history.Record(t, mode, app.readingStatus);
    RefreshHistory(app, false);
}

// The controller's facts for the event log: what the keeper gave back at start (filled before the
// watcher posted this report, and never again), then the cap as reported.
void ReportToEventLog(TrayApp& app, int t, bool init)
{
    if (init)
        app.events.OnLeftovers(app.tempWatch.keeper.leftovers);
    app.events.OnReport(app.messageWindow.hwnd.load(), t, app.capLowered, app.capInForce,
                        app.readingStatus == READING_OK);
}

// The service has no desktop (session 0): no icon, no notice, no menu, no history window.
bool ShowsTray(const TrayApp& app)
{
    return app.service == nullptr;
}

void OnTempInit(TrayApp& app, int t, int mode)
{
    ReportToEventLog(app, t, true);
    RecordReading(app, t, mode);
    PublishStatus(app);
    ComposeTip(app, t, mode);
    if (!ShowsTray(app))
        return;
    app.trayIcon.CreateTrayIcon(app.messageWindow.hwnd.load(), t, mode);
    NoticeThrottle(app, t, mode);
}

void OnTempChange(TrayApp& app, int t, int mode)
{
    ReportToEventLog(app, t, false);
    RecordReading(app, t, mode);
    PublishStatus(app);
    ComposeTip(app, t, mode);
    if (!ShowsTray(app))
        return;
    app.trayIcon.UpdateTrayIcon(t, mode);
    NoticeThrottle(app, t, mode);
}

// A view shows what the controller reports as the watcher's reports are shown; its icon is
// made by the first report, and never again once Exit has removed it.
void OnViewReport(TrayApp& app, int t, int mode)
{
    if (app.viewIconMade) {
        OnTempChange(app, t, mode);
        return;
    }
    app.viewIconMade = true;
    OnTempInit(app, t, mode);
}

// The message owns the status; what arrives after the view's end is dropped with it. wParam
// says where the controller runs.
void OnViewStatus(TrayApp& app, WPARAM wParam, LPARAM lParam)
{
    PipeStatus* status = reinterpret_cast<PipeStatus*>(lParam);
    const PipeServerSession session = wParam <= static_cast<WPARAM>(PipeServerSession::Other)
                                          ? static_cast<PipeServerSession>(wParam)
                                          : PipeServerSession::Other;
    TakeViewStatus(app, *status, session);
    const int t = status->temperature;
    const int mode = status->mode;
    delete status;
    OnViewReport(app, t, mode);
}

void OnViewHistory(TrayApp& app, LPARAM lParam)
{
    PipeHistory* history = reinterpret_cast<PipeHistory*>(lParam);
    TakeViewHistory(app, *history);
    delete history;
    RefreshHistory(app, false);
}

void OnControllerLost(TrayApp& app)
{
    LogPrint("WndProc(): no controller on the pipe\n");
    TakeControllerLost(app);
    OnViewReport(app, TEMP_NO_READING, 0);
}

TrayEvent TrayEventOf(UINT event)
{
    switch (event) {
    case WM_RBUTTONDOWN:
        return TrayEvent::RightButtonDown;
    case WM_CONTEXTMENU:
        return TrayEvent::ContextMenu;
    case NIN_SELECT:
        return TrayEvent::Select;
    case NIN_KEYSELECT:
        return TrayEvent::KeySelect;
    case WM_LBUTTONDBLCLK:
        return TrayEvent::DoubleClick;
    default:
        return TrayEvent::Other;
    }
}

// With notification-icon version 4 the event is the low word of lParam and the anchor point is
// in wParam, as two signed 16-bit screen coordinates (negative left of or above the primary
// display); an older shell sends the mouse message in lParam (its low word all the same).
void OnTrayNotification(TrayApp& app, WPARAM wParam, LPARAM lParam)
{
    const UINT event = LOWORD(lParam);
    const TrayAction action = app.trayGestures.Decide(TrayEventOf(event), GetTickCount64());
    POINT at = {static_cast<short>(LOWORD(wParam)), static_cast<short>(HIWORD(wParam))};
    switch (action) {
    case TrayAction::MenuAtCursor:
        LogPrint("WndProc(): WM_FROMTRAY: Receive WM_RBUTTONDOWN\n");
        GetCursorPos(&at);
        ShowTrayMenu(app, at);
        break;
    case TrayAction::MenuAtAnchor:
        LogPrint("WndProc(): WM_FROMTRAY: Receive WM_CONTEXTMENU at %ld,%ld\n", at.x, at.y);
        ShowTrayMenu(app, at);
        break;
    case TrayAction::Activate:
        LogPrint("WndProc(): WM_FROMTRAY: Receive %s at %ld,%ld\n",
                 event == NIN_KEYSELECT ? "NIN_KEYSELECT" : "NIN_SELECT", at.x, at.y);
        ToggleHistory(app, event == NIN_KEYSELECT);
        // The window, when open, keeps the focus; the shell gets it back only after a menu.
        app.trayGestures.Done(GetTickCount64());
        return;
    case TrayAction::SecondClick:
        LogPrint("WndProc(): WM_FROMTRAY: Receive WM_LBUTTONDBLCLK\n");
        KeepFirstClick(app);
        app.trayGestures.Done(GetTickCount64());
        return;
    case TrayAction::None:
        return;
    }
    app.trayIcon.ReturnFocusToShell();
    app.trayGestures.Done(GetTickCount64());
}

// At log-off or shutdown, and when the Restart Manager closes the program (ENDSESSION_CLOSEAPP),
// the process may be ended as soon as this returns: the watcher is stopped here so that its last
// callback writes the user's power value back first. Then the icon goes and the window is
// destroyed, so that the normal end runs and the process exits when the platform lets it.
// Returns whether the message was handled. The service outlives a log-off (where Windows sends
// it there at all): it ends with the machine, on the Service Control Manager's stop.
bool OnEndSession(TrayApp& app, WPARAM ending, LPARAM how)
{
    if (!ending || (!ShowsTray(app) && (how & ENDSESSION_LOGOFF) != 0))
        return false;
    LogPrint("WndProc(): WM_ENDSESSION\n");
    app.tempWatch.Stop();
    app.events.Stop(app.tempWatch.keeper.givenBack, app.tempWatch.keeper.failure);
    CloseHistory(app);
    app.trayIcon.ReleaseTrayIcon();
    DestroyWindow(app.messageWindow.hwnd.load());
    return true;
}

// What only a tray instance answers: the menu's commands, the icon, the history window, the
// display scale, a second start. Every other message is the controller's, in both roles (the
// timer that ends a quiet episode of the event log among them).
bool ForTrayOnly(UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_TIMER:
        return wParam != EPISODE_TIMER_ID;
    case WM_COMMAND:
    case WM_FROMTRAY:
    case WM_HISTORYCLOSE:
    case DPI_CHANGED_MESSAGE:
    case WM_SETTINGCHANGE:
        return true;
    default:
        return message == ShowHistoryMessage() || message == TaskbarCreatedMessage();
    }
}

// A command posted to the service by another program is not honoured: nothing there is a menu.
LONG_PTR IgnoredByService(UINT message, WPARAM wParam)
{
    if (message == WM_COMMAND)
        LogPrint("WndProc(): WM_COMMAND %d ignored by the service\n", LowInt(wParam));
    return -1;
}

} // namespace

LONG_PTR WndProc(void* user, UINT message, WPARAM wParam, LPARAM lParam)
{
    TrayApp& app = *static_cast<TrayApp*>(user);
    if (!ShowsTray(app) && ForTrayOnly(message, wParam))
        return IgnoredByService(message, wParam);
    switch (message) {
    case WM_COMMAND:
        OnCommand(app, LowInt(wParam));
        return 0;
    case WM_FROMTRAY:
        OnTrayNotification(app, wParam, lParam);
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
    case WM_TEMPCAP:
        OnTempCap(app, LowInt(wParam), lParam != 0);
        return 0;
    case WM_PIPESTATUS:
        OnViewStatus(app, wParam, lParam);
        return 0;
    case WM_PIPEVIEWER:
        return 0;
    case WM_PIPEFAILED:
        app.events.OnPipeFailed(static_cast<DWORD>(wParam));
        return 0;
    case WM_PIPEHISTORY:
        OnViewHistory(app, lParam);
        return 0;
    case WM_PIPELOST:
        OnControllerLost(app);
        return 0;
    case WM_TEMPSCHEME:
        app.events.OnScheme(wParam, lParam);
        return 0;
    case WM_TEMPWRITEFAIL:
        app.events.OnWriteFailed(wParam, lParam);
        return 0;
    case WM_HISTORYCLOSE:
        OnHistoryClose(app, wParam);
        return 0;
    case WM_TIMER:
        if (wParam == EPISODE_TIMER_ID) {
            app.events.OnQuietTimer(app.messageWindow.hwnd.load());
            return 0;
        }
        if (wParam != HISTORY_TIMER_ID)
            return -1;
        RefreshHistory(app, true);
        return 0;
    case WM_ENDSESSION:
        return OnEndSession(app, wParam, lParam) ? 0 : -1;
    case DPI_CHANGED_MESSAGE:
    case WM_SETTINGCHANGE:
        FitTrayIconToScale(app);
        return -1;
    default:
        if (message == ShowHistoryMessage()) {
            OnSecondStart(app);
            return 0;
        }
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
