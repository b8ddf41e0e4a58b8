// The user's choices from the tray menu, remembered per user in the program's key
// (HKEY_CURRENT_USER\Software\Ambrel): the thermal zone, the throttle threshold, whether the
// values used on battery are capped too and whether the cap's first lowering is notified. Values
// that an administrator sets by policy (settings/Policy.h, which reads them with the readers below)
// take precedence and lock their items.
#pragma once

#include "base/ProgramKey.h"
#include "ui/TrayMenu.h"
#include "watch/ThermalZone.h"

#include <cstdint>

// The thresholds the menu offers, in °C.
const int THROTTLE_AT_CHOICE_COUNT = 4;
extern const int32_t THROTTLE_AT_CHOICES[THROTTLE_AT_CHOICE_COUNT];

// Registry value names in the program's key.
const char SETTING_ZONE[] = "ThermalZone";       // REG_SZ: a zone name or "*" (hottest zone)
const char SETTING_THROTTLE_AT[] = "ThrottleAt"; // REG_DWORD: one of THROTTLE_AT_CHOICES
const char SETTING_ON_BATTERY[] = "OnBattery";   // REG_DWORD: 1 throttles on battery too, or 0
const char SETTING_NOTIFY[] = "Notify";          // REG_DWORD: 1 notifies the first step up, or 0
// The user's alone, never a policy's: REG_DWORD, the minutes the history window shows, 30 or 1440.
const char HISTORY_RANGE_SETTING[] = "HistoryRange";

struct Settings {
    // A zone name, HOTTEST_ZONE, or empty for the default zone.
    char zone[ZONE_NAME_SIZE];
    // The upper threshold in °C.
    int32_t throttleAt;
    // The values used on battery are capped too ("On battery too"); on by default.
    bool onBattery;
    // The first step of the cap that lowers a value shows a notification; on by default.
    bool notify;
    // The minutes the history window shows: 30 (the default) or 1440.
    int32_t historyMinutes;
    // The settings that a policy has set: their menu items are greyed and their commands
    // ignored.
    MenuLocks locked;
    // A policy forbids the pause (AllowPause 0): its item is greyed and its command refused.
    bool pauseForbidden;
};

bool IsThrottleAtChoice(int64_t value);

// How a setting was found under a key: the user's own (the program's key) or a policy.
enum class StoredValue { Missing, Invalid, Read };

// Each reads one setting as stored under key into its destination, which an Invalid or Missing
// value leaves as it was. Nothing is logged: the user's key and the policy key say different
// things about a value that is not valid.
StoredValue ReadZoneValue(const ProgramKey& key, char (&zone)[ZONE_NAME_SIZE]);
StoredValue ReadThrottleAtValue(const ProgramKey& key, int32_t& throttleAt);
// A switch is a REG_DWORD of 0 or 1.
StoredValue ReadSwitchValue(const ProgramKey& key, const char* name, bool& on);

// Fills settings from the program's key, with nothing locked; the policies go over them
// afterwards (ApplyPolicies, settings/Policy.h). What is missing takes its default (the default
// zone, 85 °C, both switches on); a stored value that is not a valid choice is logged and the
// default is used.
void LoadUserSettings(Settings& settings);
// The same for the service, from HKEY_LOCAL_MACHINE\Software\Ambrel: the machine's zone,
// threshold and battery choice (an administrator's; no menu changes them). Notify stays on: the
// service shows no notice.
void LoadMachineSettings(Settings& settings);

// Remember one choice; false (and a log entry) when the key cannot be written.
bool SaveZoneSetting(const char* zone);
bool SaveThrottleAtSetting(int32_t throttleAt);
// name is SETTING_ON_BATTERY or SETTING_NOTIFY.
bool SaveSwitchSetting(const char* name, bool on);
bool SaveHistoryRangeSetting(int32_t minutes);
