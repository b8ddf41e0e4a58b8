#include "power/PowerSetting.h"

#include "app/Log.h"
#include "power/SchemeKeeper.h"

#include <windows.h>
#include <powrprof.h>

#include <cstring>

namespace
{

// GUID_PROCESSOR_SETTINGS_SUBGROUP
const GUID kProcessorSettingsSubgroup = {
    0x54533251, 0x82BE, 0x4824, {0x96, 0xC1, 0x47, 0xB6, 0x0B, 0x74, 0x0D, 0x00}};

// GUID_PROCESSOR_THROTTLE_MAXIMUM
const GUID kProcessorThrottleMaximum = {
    0xBC5038F7, 0x23E0, 0x4960, {0x96, 0xDA, 0x33, 0xAB, 0xAF, 0x59, 0x35, 0xEC}};

static_assert(sizeof(SchemeId) == sizeof(GUID), "a scheme identifier is a GUID");

// Set and cleared by the watcher's thread; the main thread writes only after joining it.
SchemeKeeper* g_keeper = nullptr;

GUID GuidOf(const SchemeId& scheme)
{
    GUID guid;
    std::memcpy(&guid, &scheme, sizeof guid);
    return guid;
}

SchemeId SchemeIdOf(const GUID& guid)
{
    SchemeId scheme;
    std::memcpy(&scheme, &guid, sizeof scheme);
    return scheme;
}

DWORD WriteAcValue(const GUID* scheme, uint32_t value)
{
    DWORD result = PowerWriteACValueIndex(nullptr, scheme, &kProcessorSettingsSubgroup,
                                          &kProcessorThrottleMaximum, value);
    if (result != ERROR_SUCCESS)
        LogPrint("PowerWriteACValueIndex() error=%lx", result);
    return result;
}

DWORD Activate(const GUID* scheme)
{
    DWORD result = PowerSetActiveScheme(nullptr, scheme);
    if (result != ERROR_SUCCESS)
        LogPrint("PowerSetActiveScheme() error=%lx", result);
    return result;
}

} // namespace

bool ReadThrottleMax(uint32_t& value)
{
    SchemeId active;
    return ReadActiveScheme(active) && ReadSchemeThrottleMax(active, value) == ERROR_SUCCESS;
}

bool WriteThrottleMax(uint32_t value)
{
    GUID* scheme = nullptr;
    DWORD result = PowerGetActiveScheme(nullptr, &scheme);
    if (result != ERROR_SUCCESS) {
        LogPrint("PowerGetActiveScheme() error=%lx", result);
        return false;
    }
    // The keeper records the scheme's own value before anything is written into it.
    SchemeId id = SchemeIdOf(*scheme);
    if (g_keeper != nullptr)
        g_keeper->BeforeWrite(id, value);
    result = WriteAcValue(scheme, value);
    if (g_keeper != nullptr)
        g_keeper->AfterWrite(id, result == ERROR_SUCCESS);
    if (result == ERROR_SUCCESS)
        result = Activate(scheme);
    LocalFree(scheme);
    return result == ERROR_SUCCESS;
}

bool ReadActiveScheme(SchemeId& scheme)
{
    GUID* active = nullptr;
    if (PowerGetActiveScheme(nullptr, &active) != ERROR_SUCCESS)
        return false;
    scheme = SchemeIdOf(*active);
    LocalFree(active);
    return true;
}

uint32_t ReadSchemeThrottleMax(const SchemeId& scheme, uint32_t& value)
{
    GUID guid = GuidOf(scheme);
    DWORD found = 0;
    DWORD size = sizeof found;
    DWORD result =
        PowerReadACValue(nullptr, &guid, &kProcessorSettingsSubgroup, &kProcessorThrottleMaximum,
                         nullptr, reinterpret_cast<UCHAR*>(&found), &size);
    if (result == ERROR_SUCCESS)
        value = found;
    return result;
}

bool WriteSchemeThrottleMax(const SchemeId& scheme, uint32_t value, bool activate)
{
    GUID guid = GuidOf(scheme);
    DWORD result = WriteAcValue(&guid, value);
    if (result == ERROR_SUCCESS && activate)
        result = Activate(&guid);
    return result == ERROR_SUCCESS;
}

void AttachSchemeKeeper(SchemeKeeper* keeper)
{
    g_keeper = keeper;
}
