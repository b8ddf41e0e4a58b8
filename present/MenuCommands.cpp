#include "present/MenuCommands.h"

#include "base/Log.h"
#include "power/Ambrel.h"
#include "res/resource.h"
#include "settings/StartWithWindows.h"

#include <windows.h>

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

void OnAbout(const TextTable& texts)
{
    LogPrint("WndProc(): WM_COMMAND: Receive ID_ABOUT\n");
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(texts[IDS_ABOUT_TEXT]), L"Ambrel", MB_OK);
}

// A setting that a policy (or the controller that a view shows) has set is not the user's to
// change: the menu greys its items, and a command for it that comes all the same (posted by
// another program) is ignored.
bool SetByPolicy(const MenuCommandContext& context, bool locked, const char* command)
{
    if (locked)
        LogPrint("WndProc(): WM_COMMAND: %s is set %s\n", command, context.lockedBy);
    return locked;
}

bool OnZone(const MenuCommandContext& context, const char* chosen)
{
    Settings& settings = context.settings;
    if (SetByPolicy(context, settings.locked.zone, "ID_ZONE"))
        return false;
    LogPrint("WndProc(): WM_COMMAND: Receive ID_ZONE %s\n", chosen);
    std::snprintf(settings.zone, sizeof settings.zone, "%s", chosen);
    SaveZoneSetting(chosen);
    return true;
}

bool OnThrottleAt(const MenuCommandContext& context, int32_t throttleAt)
{
    if (SetByPolicy(context, context.settings.locked.throttleAt, "ID_THROTTLE_AT"))
        return false;
    LogPrint("WndProc(): WM_COMMAND: Receive ID_THROTTLE_AT %d\n", static_cast<int>(throttleAt));
    context.settings.throttleAt = throttleAt;
    SaveThrottleAtSetting(throttleAt);
    return true;
}

// A ticked item of the menu: flips its setting and remembers it; false when a policy has set it.
bool FlipSwitch(const MenuCommandContext& context, bool& on, bool locked, const char* command,
                const char* setting)
{
    if (SetByPolicy(context, locked, command))
        return false;
    LogPrint("WndProc(): WM_COMMAND: Receive %s\n", command);
    on = !on;
    SaveSwitchSetting(setting, on);
    return true;
}

// The items built at run time; false for a command that is none of them.
bool OnSettingsCommand(const MenuCommandContext& context, int command, bool& changed)
{
    Settings& settings = context.settings;
    if (const char* chosen = context.menu.ZoneOfCommand(command)) {
        changed = OnZone(context, chosen);
        return true;
    }
    if (int32_t throttleAt = context.menu.ThrottleAtOfCommand(command)) {
        changed = OnThrottleAt(context, throttleAt);
        return true;
    }
    switch (command) {
    case ID_ON_BATTERY:
        changed = FlipSwitch(context, settings.onBattery, settings.locked.onBattery,
                             "ID_ON_BATTERY", SETTING_ON_BATTERY);
        return true;
    case ID_START_WITH_WINDOWS:
        OnStartWithWindows();
        return true;
    case ID_NOTIFY:
        FlipSwitch(context, settings.notify, settings.locked.notify, "ID_NOTIFY", SETTING_NOTIFY);
        return true;
    default:
        return false;
    }
}

// Only a tray pauses its own controller; the role hands the choice on.
void OnPauseCommand(const MenuCommandContext& context, int command, MenuOutcome& outcome)
{
    const char* name = command == ID_PAUSE ? "ID_PAUSE" : "ID_RESUME";
    if (!context.canPause) {
        LogPrint("WndProc(): WM_COMMAND: %s refused: a view cannot pause the machine\n", name);
        return;
    }
    if (command == ID_PAUSE && JudgePause(context.settings.pauseForbidden,
                                          AMBREL_MENU_PAUSE_MINUTES) == PauseVerdict::Forbidden) {
        LogPrint("WndProc(): WM_COMMAND: %s is forbidden by policy\n", name);
        return;
    }
    LogPrint("WndProc(): WM_COMMAND: Receive %s\n", name);
    if (command == ID_PAUSE)
        outcome.pauseMinutes = AMBREL_MENU_PAUSE_MINUTES;
    else
        outcome.resume = true;
}

} // namespace

MenuOutcome RunMenuCommand(int command, const MenuCommandContext& context)
{
    MenuOutcome outcome = {};
    switch (command) {
    case ID_PAUSE:
    case ID_RESUME:
        OnPauseCommand(context, command, outcome);
        break;
    case ID_EXIT:
        LogPrint("WndProc(): WM_COMMAND: Receive ID_EXIT\n");
        outcome.exit = true;
        break;
    case ID_ABOUT:
        OnAbout(context.texts);
        break;
    case ID_EXPORT_HISTORY:
        LogPrint("WndProc(): WM_COMMAND: Receive ID_EXPORT_HISTORY\n");
        outcome.exportHistory = true;
        break;
    case ID_HISTORY:
        LogPrint("WndProc(): WM_COMMAND: Receive ID_HISTORY\n");
        outcome.openHistory = true;
        break;
    default:
        if (!OnSettingsCommand(context, command, outcome.choicesChanged))
            LogPrint("WndProc(): WM_COMMAND: Error Receive %d\n", command);
        break;
    }
    return outcome;
}
