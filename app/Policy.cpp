#include "app/Policy.h"

#include "base/Log.h"
#include "base/ProgramKey.h"

#include <cstring>

namespace
{

bool Present(const ProgramKey& key, const char* name)
{
    DWORD type = 0;
    DWORD size = 0;
    return key.ReadRaw(name, type, nullptr, size);
}

void Ignored(const char* name, const char* expected)
{
    LogPrint("policy: %s is not %s; ignored\n", name, expected);
}

// A zone name or "*"; an empty text names no zone.
void ApplyZone(const ProgramKey& key, Settings& settings)
{
    char zone[ZONE_NAME_SIZE];
    if (!key.ReadString(SETTING_ZONE, zone, sizeof zone) || zone[0] == '\0') {
        Ignored(SETTING_ZONE, "a zone name or *");
        return;
    }
    std::memcpy(settings.zone, zone, sizeof zone);
    settings.locked.zone = true;
}

void ApplyThrottleAt(const ProgramKey& key, Settings& settings)
{
    DWORD value = 0;
    if (!key.ReadDword(SETTING_THROTTLE_AT, value) || !IsThrottleAtChoice(value)) {
        Ignored(SETTING_THROTTLE_AT, "80, 85, 90 or 95");
        return;
    }
    settings.throttleAt = static_cast<int32_t>(value);
    settings.locked.throttleAt = true;
}

// A REG_DWORD of 0 or 1.
void ApplySwitch(const ProgramKey& key, const char* name, bool& value, bool& locked)
{
    DWORD stored = 0;
    if (!key.ReadDword(name, stored) || stored > 1) {
        Ignored(name, "0 or 1");
        return;
    }
    value = stored == 1;
    locked = true;
}

} // namespace

void ApplyPolicies(Settings& settings)
{
    ProgramKey key;
    if (!key.OpenMachine(POLICY_KEY_PATH))
        return; // no policy set: the usual case
    if (Present(key, SETTING_ZONE))
        ApplyZone(key, settings);
    if (Present(key, SETTING_THROTTLE_AT))
        ApplyThrottleAt(key, settings);
    if (Present(key, SETTING_ON_BATTERY))
        ApplySwitch(key, SETTING_ON_BATTERY, settings.onBattery, settings.locked.onBattery);
    if (Present(key, SETTING_NOTIFY))
        ApplySwitch(key, SETTING_NOTIFY, settings.notify, settings.locked.notify);
    key.Close();
}
