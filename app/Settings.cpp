#include "app/Settings.h"

#include "app/Policy.h"
#include "base/Log.h"
#include "base/ProgramKey.h"
#include "power/Ambrel.h"

#include <cstring>

const int32_t THROTTLE_AT_CHOICES[THROTTLE_AT_CHOICE_COUNT] = {80, 85, 90, 95};

namespace
{

void LoadZone(const ProgramKey& key, Settings& settings)
{
    DWORD type = 0;
    DWORD size = 0;
    if (!key.ReadRaw(SETTING_ZONE, type, nullptr, size))
        return; // nothing chosen yet
    if (!key.ReadString(SETTING_ZONE, settings.zone, sizeof settings.zone)) {
        settings.zone[0] = '\0';
        LogPrint("settings: %s is not a zone name; using %s\n", SETTING_ZONE, DEFAULT_ZONE);
    }
}

void LoadThrottleAt(const ProgramKey& key, Settings& settings)
{
    DWORD type = 0;
    DWORD size = 0;
    if (!key.ReadRaw(SETTING_THROTTLE_AT, type, nullptr, size))
        return;
    DWORD value = 0;
    if (key.ReadDword(SETTING_THROTTLE_AT, value) && IsThrottleAtChoice(value)) {
        settings.throttleAt = static_cast<int32_t>(value);
        return;
    }
    LogPrint("settings: %s is not 80, 85, 90 or 95; using %d\n", SETTING_THROTTLE_AT,
             AMBREL_UPPER_THRESHOLD);
}

// A switch: a REG_DWORD of 0 or 1. Anything else is logged and the default (on) is kept.
void LoadSwitch(const ProgramKey& key, const char* name, bool& value)
{
    DWORD type = 0;
    DWORD size = 0;
    if (!key.ReadRaw(name, type, nullptr, size))
        return;
    DWORD stored = 0;
    if (key.ReadDword(name, stored) && stored <= 1) {
        value = stored != 0;
        return;
    }
    LogPrint("settings: %s is not 0 or 1; using 1\n", name);
}

bool Saved(bool written, const char* name)
{
    if (!written)
        LogPrint("settings: cannot write %s\n", name);
    return written;
}

bool SaveSwitch(const char* name, bool on)
{
    ProgramKey key;
    bool written = key.Create(PROGRAM_KEY_PATH) && key.WriteDword(name, on ? 1 : 0);
    key.Close();
    return Saved(written, name);
}

} // namespace

bool IsThrottleAtChoice(int64_t value)
{
    for (int32_t choice : THROTTLE_AT_CHOICES) {
        if (value == choice)
            return true;
    }
    return false;
}

void LoadSettings(Settings& settings)
{
    settings.zone[0] = '\0';
    settings.throttleAt = AMBREL_UPPER_THRESHOLD;
    settings.onBattery = true;
    settings.notify = true;
    settings.locked = SettingLocks{false, false, false, false};
    ProgramKey key;
    if (key.Open(PROGRAM_KEY_PATH, false)) {
        LoadZone(key, settings);
        LoadThrottleAt(key, settings);
        LoadSwitch(key, SETTING_ON_BATTERY, settings.onBattery);
        LoadSwitch(key, SETTING_NOTIFY, settings.notify);
        key.Close();
    }
    ApplyPolicies(settings);
}

bool SaveZoneSetting(const char* zone)
{
    ProgramKey key;
    bool written = key.Create(PROGRAM_KEY_PATH) && key.WriteString(SETTING_ZONE, zone);
    key.Close();
    return Saved(written, SETTING_ZONE);
}

bool SaveThrottleAtSetting(int32_t throttleAt)
{
    ProgramKey key;
    bool written = key.Create(PROGRAM_KEY_PATH) &&
                   key.WriteDword(SETTING_THROTTLE_AT, static_cast<DWORD>(throttleAt));
    key.Close();
    return Saved(written, SETTING_THROTTLE_AT);
}

bool SaveOnBatterySetting(bool onBattery)
{
    return SaveSwitch(SETTING_ON_BATTERY, onBattery);
}

bool SaveNotifySetting(bool notify)
{
    return SaveSwitch(SETTING_NOTIFY, notify);
}
