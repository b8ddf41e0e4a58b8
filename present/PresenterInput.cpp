#include "present/Presenter.h"

#include "base/HiddenWindow.h"
#include "base/Log.h"
#include "res/resource.h"
#include "settings/StartWithWindows.h"
#include "watch/ZoneList.h"

#include <shellapi.h>

// What the user and the shell ask of the presenter: its window's messages, the icon's gestures
// and its menu's commands.

namespace
{

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

} // namespace

bool Presenter::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_FROMTRAY:
        OnTrayNotification(wParam, lParam);
        return true;
    case WM_HISTORYCLOSE:
        OnHistoryClose(wParam);
        return true;
    case WM_HISTORYRANGE:
        OnHistoryRange(wParam);
        return true;
    case WM_TIMER:
        if (wParam != HISTORY_TIMER_ID)
            return false;
        OnHistoryTimer();
        return true;
    case DPI_CHANGED_MESSAGE:
    case WM_SETTINGCHANGE:
        FitToScale();
        return false;
    default:
        if (message == ShowHistoryMessage()) {
            OnSecondStart();
            return true;
        }
        if (message == TaskbarCreatedMessage()) {
            OnTaskbarCreated();
            return true;
        }
        return false;
    }
}

// With notification-icon version 4 the event is the low word of lParam and the anchor point is
// in wParam, as two signed 16-bit screen coordinates (negative left of or above the primary
// display); an older shell sends the mouse message in lParam (its low word all the same).
void Presenter::OnTrayNotification(WPARAM wParam, LPARAM lParam)
{
    const UINT event = LOWORD(lParam);
    const TrayAction action = trayGestures.Decide(TrayEventOf(event), GetTickCount64());
    POINT at = {static_cast<short>(LOWORD(wParam)), static_cast<short>(HIWORD(wParam))};
    // The callbacks that carry the anchor: the mouse's messages, a click's and a key's selection.
    if ((event >= WM_MOUSEFIRST && event <= WM_MOUSELAST) || event == NIN_SELECT ||
        event == NIN_KEYSELECT || event == WM_CONTEXTMENU) {
        iconSeenAt = at;
        iconSeen = true;
    }
    switch (action) {
    case TrayAction::MenuAtCursor:
        LogPrint("WndProc(): WM_FROMTRAY: Receive WM_RBUTTONDOWN\n");
        GetCursorPos(&at);
        ShowTrayMenu(at);
        break;
    case TrayAction::MenuAtAnchor:
        LogPrint("WndProc(): WM_FROMTRAY: Receive WM_CONTEXTMENU at %ld,%ld\n", at.x, at.y);
        ShowTrayMenu(at);
        break;
    case TrayAction::Activate:
        LogPrint("WndProc(): WM_FROMTRAY: Receive %s at %ld,%ld\n",
                 event == NIN_KEYSELECT ? "NIN_KEYSELECT" : "NIN_SELECT", at.x, at.y);
        ToggleHistory(event == NIN_KEYSELECT);
        // The window, when open, keeps the focus; the shell gets it back only after a menu.
        trayGestures.Done(GetTickCount64());
        return;
    case TrayAction::SecondClick:
        LogPrint("WndProc(): WM_FROMTRAY: Receive WM_LBUTTONDBLCLK\n");
        KeepFirstClick();
        trayGestures.Done(GetTickCount64());
        return;
    case TrayAction::None:
        return;
    }
    trayIcon.ReturnFocusToShell();
    trayGestures.Done(GetTickCount64());
}

// The menu's command: what it changes in the choices is done there; what it asks of the presenter
// is done here, and the rest goes to the role.
MenuOutcome Presenter::OnCommand(int command)
{
    const MenuCommandContext context = {settings, lockedBy, canPause, trayMenu, *texts};
    const MenuOutcome outcome = RunMenuCommand(command, context);
    if (outcome.openHistory)
        OpenHistory(false);
    if (outcome.exportHistory)
        ExportHistory();
    if (outcome.exit) {
        CloseHistory();
        trayIcon.ReleaseTrayIcon();
        PostMessageA(Hwnd(), WM_CLOSE, 0, 0);
    }
    return outcome;
}

// Opens the tray menu with its bottom-left corner at the point. The tray window is made the
// foreground window and sent WM_NULL afterwards so that the menu closes when the user clicks
// elsewhere and takes the arrow keys and Esc.
void Presenter::ShowTrayMenu(POINT at)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAYMENU));
    HMENU popup = GetSubMenu(menu, 0);
    // Read here, on the window's thread, each time the menu opens: a zone that comes or goes
    // shows at once.
    ListedZone zones[MAX_LISTED_ZONES];
    const int zoneCount = ListThermalZones(zones, MAX_LISTED_ZONES);
    MenuChoices choices = {shown.zone,
                           zones,
                           zoneCount,
                           settings.throttleAt,
                           THROTTLE_AT_CHOICES,
                           THROTTLE_AT_CHOICE_COUNT,
                           IsStartWithWindows(),
                           IsStartWithWindowsForAllUsers(),
                           settings.onBattery,
                           settings.notify,
                           settings.locked,
                           forMachine,
                           forMachine && otherSession,
                           Paused(),
                           !canPause || settings.pauseForbidden,
                           history.kept == nullptr && !keptOnRequest};
    trayMenu.AddSettingsItems(popup, choices, *texts);
    HWND trayWindow = trayIcon.trayWindow;
    SetForegroundWindow(trayWindow);
    TrackPopupMenu(popup, TPM_BOTTOMALIGN, at.x, at.y, 0, trayWindow, nullptr);
    PostMessageA(trayWindow, WM_NULL, 0, 0);
    DestroyMenu(menu);
}
