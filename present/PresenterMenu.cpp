// The presenter's menu: what its commands do (each checked against its lock, logged, and the
// choice changed and remembered), and the menu itself, opened at the icon.
#include "present/Presenter.h"

#include "base/Log.h"
#include "power/Ambrel.h"
#include "res/resource.h"
#include "settings/StartWithWindows.h"

#include <cstdio>

namespace
{

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

} // namespace

void Presenter::OnExit()
{
    LogPrint("WndProc(): WM_COMMAND: Receive ID_EXIT\n");
    CloseHistory();
    trayIcon.ReleaseTrayIcon();
    PostMessageA(Hwnd(), WM_CLOSE, 0, 0);
}

void Presenter::OnAbout() const
{
    LogPrint("WndProc(): WM_COMMAND: Receive ID_ABOUT\n");
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>((*texts)[IDS_ABOUT_TEXT]), L"Ambrel",
                MB_OK);
}

// A setting that a policy (or the controller that a view shows) has set is not the user's to
// change: the menu greys its items, and a command for it that comes all the same (posted by
// another program) is ignored.
bool Presenter::SetByPolicy(bool locked, const char* command) const
{
    if (locked)
        LogPrint("WndProc(): WM_COMMAND: %s is set %s\n", command, lockedBy);
    return locked;
}

bool Presenter::OnZone(const char* chosen)
{
    if (SetByPolicy(settings.locked.zone, "ID_ZONE"))
        return false;
    LogPrint("WndProc(): WM_COMMAND: Receive ID_ZONE %s\n", chosen);
    std::snprintf(settings.zone, sizeof settings.zone, "%s", chosen);
    SaveZoneSetting(chosen);
    return true;
}

bool Presenter::OnThrottleAt(int32_t throttleAt)
{
    if (SetByPolicy(settings.locked.throttleAt, "ID_THROTTLE_AT"))
        return false;
    LogPrint("WndProc(): WM_COMMAND: Receive ID_THROTTLE_AT %d\n", static_cast<int>(throttleAt));
    settings.throttleAt = throttleAt;
    SaveThrottleAtSetting(throttleAt);
    return true;
}

// A ticked item of the menu: flips its setting and remembers it; false when a policy has set it.
bool Presenter::FlipSwitch(bool& on, bool locked, const char* command, const char* setting)
{
    if (SetByPolicy(locked, command))
        return false;
    LogPrint("WndProc(): WM_COMMAND: Receive %s\n", command);
    on = !on;
    SaveSwitchSetting(setting, on);
    return true;
}

// The items built at run time; false for a command that is none of them.
bool Presenter::OnSettingsCommand(int command, bool& changed)
{
    if (const char* chosen = trayMenu.ZoneOfCommand(command)) {
        changed = OnZone(chosen);
        return true;
    }
    if (int32_t throttleAt = trayMenu.ThrottleAtOfCommand(command)) {
        changed = OnThrottleAt(throttleAt);
        return true;
    }
    switch (command) {
    case ID_ON_BATTERY:
        changed = FlipSwitch(settings.onBattery, settings.locked.onBattery, "ID_ON_BATTERY",
                             SETTING_ON_BATTERY);
        return true;
    case ID_START_WITH_WINDOWS:
        OnStartWithWindows();
        return true;
    case ID_NOTIFY:
        FlipSwitch(settings.notify, settings.locked.notify, "ID_NOTIFY", SETTING_NOTIFY);
        return true;
    default:
        return false;
    }
}

// Only a tray pauses its own controller; the role hands the choice on. Whether a policy allows
// the pause is the controller's to decide, as for a pause from outside.
void Presenter::OnPauseCommand(int command, MenuOutcome& outcome)
{
    const char* name = command == ID_PAUSE ? "ID_PAUSE" : "ID_RESUME";
    if (!canPause) {
        LogPrint("WndProc(): WM_COMMAND: %s refused: a view cannot pause the machine\n", name);
        return;
    }
    if (command == ID_PAUSE && settings.pauseForbidden) {
        LogPrint("WndProc(): WM_COMMAND: %s is forbidden by policy\n", name);
        return;
    }
    LogPrint("WndProc(): WM_COMMAND: Receive %s\n", name);
    if (command == ID_PAUSE)
        outcome.pauseMinutes = AMBREL_MENU_PAUSE_MINUTES;
    else
        outcome.resume = true;
}

MenuOutcome Presenter::OnCommand(int command)
{
    MenuOutcome outcome = {};
    switch (command) {
    case ID_PAUSE:
    case ID_RESUME:
        OnPauseCommand(command, outcome);
        break;
    case ID_EXIT:
        OnExit();
        break;
    case ID_ABOUT:
        OnAbout();
        break;
    case ID_HISTORY:
        LogPrint("WndProc(): WM_COMMAND: Receive ID_HISTORY\n");
        OpenHistory(false);
        break;
    default:
        if (!OnSettingsCommand(command, outcome.choicesChanged))
            LogPrint("WndProc(): WM_COMMAND: Error Receive %d\n", command);
        break;
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
    MenuChoices choices = {shown.zone,
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
                           !canPause || settings.pauseForbidden};
    trayMenu.AddSettingsItems(popup, choices, *texts);
    HWND trayWindow = trayIcon.trayWindow;
    SetForegroundWindow(trayWindow);
    TrackPopupMenu(popup, TPM_BOTTOMALIGN, at.x, at.y, 0, trayWindow, nullptr);
    PostMessageA(trayWindow, WM_NULL, 0, 0);
    DestroyMenu(menu);
}
