#include "settings/Policy.h"

#include "base/Log.h"
#include "base/ProgramKey.h"

#include <cstring>

namespace
{

// A well-formed policy value locks its setting; one that is not is logged and ignored, and the
// user's choice stays, unlocked.
void Lock(StoredValue found, const char* name, const char* expected, bool& locked)
{
    if (found == StoredValue::Read)
        locked = true;
    else if (found == StoredValue::Invalid)
        LogPrint("policy: %s is not %s; ignored\n", name, expected);
}

// A zone name or "*"; an empty text names no zone.
StoredValue ReadZonePolicy(const ProgramKey& key, Settings& settings)
{
    char zone[ZONE_NAME_SIZE];
    StoredValue found = ReadZoneValue(key, zone);
    if (found != StoredValue::Read)
        return found;
    if (zone[0] == '\0')
        return StoredValue::Invalid;
    std::memcpy(settings.zone, zone, sizeof zone);
    return StoredValue::Read;
}

} // namespace

void ApplyPolicies(Settings& settings)
{
    ProgramKey key;
    if (!key.OpenMachine(POLICY_KEY_PATH))
        return; // no policy set: the usual case
    MenuLocks& locked = settings.locked;
    Lock(ReadZonePolicy(key, settings), SETTING_ZONE, "a zone name or *", locked.zone);
    Lock(ReadThrottleAtValue(key, settings.throttleAt), SETTING_THROTTLE_AT, "80, 85, 90 or 95",
         locked.throttleAt);
    Lock(ReadSwitchValue(key, SETTING_ON_BATTERY, settings.onBattery), SETTING_ON_BATTERY, "0 or 1",
         locked.onBattery);
    Lock(ReadSwitchValue(key, SETTING_NOTIFY, settings.notify), SETTING_NOTIFY, "0 or 1",
         locked.notify);
    bool allowPause = true;
    bool unused = false;
    const StoredValue pause = ReadSwitchValue(key, POLICY_ALLOW_PAUSE, allowPause);
    Lock(pause, POLICY_ALLOW_PAUSE, "0 or 1", unused);
    settings.pauseForbidden = pause == StoredValue::Read && !allowPause;
    key.Close();
}

Settings UserChoicesUnderPolicy()
{
    Settings choices = {};
    LoadUserSettings(choices);
    ApplyPolicies(choices);
    return choices;
}
