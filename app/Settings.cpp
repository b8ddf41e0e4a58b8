#include "app/Settings.h"

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

void LoadNotify(const ProgramKey& key, Settings& settings)
{
    DWORD type = 0;
    DWORD size = 0;
    if (!key.ReadRaw(SETTING_NOTIFY, type, nullptr, size))
        return;
    DWORD value = 0;
    if (key.ReadDword(SETTING_NOTIFY, value)) {
        settings.notify = value != 0;
        return;
    }
    LogPrint("settings: %s is not a number; notifying\n", SETTING_NOTIFY);
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

void LoadSettings(Settings& settings)
{
    settings.zone[0] = '\0';
    settings.throttleAt = AMBREL_UPPER_THRESHOLD;
    settings.notify = true;
    ProgramKey key;
    if (!key.Open(PROGRAM_KEY_PATH, false))
        return;
    LoadZone(key, settings);
    LoadThrottleAt(key, settings);
    LoadNotify(key, settings);
    key.Close();
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

bool SaveNotifySetting(bool notify)
{
    ProgramKey key;
    bool written = key.Create(PROGRAM_KEY_PATH) && key.WriteDword(SETTING_NOTIFY, notify ? 1 : 0);
    key.Close();
    return Saved(written, SETTING_NOTIFY);
}
