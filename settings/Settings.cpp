#include "settings/Settings.h"

#include "base/Log.h"
#include "base/ProgramKey.h"
#include "power/Ambrel.h"
#include "ui/HistoryWindow.h"

#include <cstring>

const int32_t THROTTLE_AT_CHOICES[THROTTLE_AT_CHOICE_COUNT] = {80, 85, 90, 95};

namespace
{

bool Present(const ProgramKey& key, const char* name)
{
    DWORD type = 0;
    DWORD size = 0;
    return key.ReadRaw(name, type, nullptr, size);
}

// source names the key in the log: "settings" for the user's, "machine settings" for the
// machine's.
void LoadSwitch(const ProgramKey& key, const char* name, bool& on, const char* source)
{
    if (ReadSwitchValue(key, name, on) == StoredValue::Invalid)
        LogPrint("%s: %s is not 0 or 1; using 1\n", source, name);
}

// The choices under the program's key that both the user and the machine make; a value that is
// not valid is logged and the default is kept.
void ReadChoices(const ProgramKey& key, Settings& settings, const char* source)
{
    if (ReadZoneValue(key, settings.zone) == StoredValue::Invalid)
        LogPrint("%s: %s is not a zone name; using %s\n", source, SETTING_ZONE, DEFAULT_ZONE);
    if (ReadThrottleAtValue(key, settings.throttleAt) == StoredValue::Invalid)
        LogPrint("%s: %s is not 80, 85, 90 or 95; using %d\n", source, SETTING_THROTTLE_AT,
                 AMBREL_UPPER_THRESHOLD);
    LoadSwitch(key, SETTING_ON_BATTERY, settings.onBattery, source);
}

void SetDefaults(Settings& settings)
{
    settings.zone[0] = '\0';
    settings.throttleAt = AMBREL_UPPER_THRESHOLD;
    settings.onBattery = true;
    settings.notify = true;
    settings.historyMinutes = HISTORY_HALF_HOUR;
    settings.locked = MenuLocks{false, false, false, false};
}

void LoadHistoryRange(const ProgramKey& key, int32_t& minutes)
{
    if (!Present(key, HISTORY_RANGE_SETTING))
        return;
    DWORD value = 0;
    if (key.ReadDword(HISTORY_RANGE_SETTING, value) && IsHistoryRange(static_cast<int32_t>(value)))
        minutes = static_cast<int32_t>(value);
    else
        LogPrint("settings: %s is not 30, 1440, 10080 or 129600; using 30\n",
                 HISTORY_RANGE_SETTING);
}

bool Saved(bool written, const char* name)
{
    if (!written)
        LogPrint("settings: cannot write %s\n", name);
    return written;
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

StoredValue ReadZoneValue(const ProgramKey& key, char (&zone)[ZONE_NAME_SIZE])
{
    if (!Present(key, SETTING_ZONE))
        return StoredValue::Missing;
    char stored[ZONE_NAME_SIZE];
    if (!key.ReadString(SETTING_ZONE, stored, sizeof stored))
        return StoredValue::Invalid;
    std::memcpy(zone, stored, sizeof stored);
    return StoredValue::Read;
}

StoredValue ReadThrottleAtValue(const ProgramKey& key, int32_t& throttleAt)
{
    if (!Present(key, SETTING_THROTTLE_AT))
        return StoredValue::Missing;
    DWORD value = 0;
    if (!key.ReadDword(SETTING_THROTTLE_AT, value) || !IsThrottleAtChoice(value))
        return StoredValue::Invalid;
    throttleAt = static_cast<int32_t>(value);
    return StoredValue::Read;
}

StoredValue ReadSwitchValue(const ProgramKey& key, const char* name, bool& on)
{
    if (!Present(key, name))
        return StoredValue::Missing;
    DWORD value = 0;
    if (!key.ReadDword(name, value) || value > 1)
        return StoredValue::Invalid;
    on = value == 1;
    return StoredValue::Read;
}

void LoadUserSettings(Settings& settings)
{
    SetDefaults(settings);
    ProgramKey key;
    if (key.Open(PROGRAM_KEY_PATH, false)) {
        ReadChoices(key, settings, "settings");
        LoadSwitch(key, SETTING_NOTIFY, settings.notify, "settings");
        LoadHistoryRange(key, settings.historyMinutes);
        key.Close();
    }
}

void LoadMachineSettings(Settings& settings)
{
    SetDefaults(settings);
    ProgramKey key;
    key.machine = true;
    if (key.Open(PROGRAM_KEY_PATH, false)) {
        ReadChoices(key, settings, "machine settings");
        key.Close();
    }
}

bool SaveZoneSetting(const char* zone)
{
    ProgramKey key;
    bool written = key.Create(PROGRAM_KEY_PATH) && key.WriteString(SETTING_ZONE, zone);
    key.Close();
    return Saved(written, SETTING_ZONE);
}

namespace
{

bool SaveDwordSetting(const char* name, DWORD value)
{
    ProgramKey key;
    bool written = key.Create(PROGRAM_KEY_PATH) && key.WriteDword(name, value);
    key.Close();
    return Saved(written, name);
}

} // namespace

bool SaveThrottleAtSetting(int32_t throttleAt)
{
    return SaveDwordSetting(SETTING_THROTTLE_AT, static_cast<DWORD>(throttleAt));
}

bool SaveSwitchSetting(const char* name, bool on)
{
    return SaveDwordSetting(name, on ? 1 : 0);
}

bool SaveHistoryRangeSetting(int32_t minutes)
{
    return SaveDwordSetting(HISTORY_RANGE_SETTING, static_cast<DWORD>(minutes));
}
