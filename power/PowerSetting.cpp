#include "power/PowerSetting.h"

#include "base/Log.h"

#include <windows.h>
#include <powrprof.h>

#include <cstring>

namespace
{

// GUID_PROCESSOR_SETTINGS_SUBGROUP
const GUID kProcessorSettingsSubgroup = {
    0x54533251, 0x82BE, 0x4824, {0x96, 0xC1, 0x47, 0xB6, 0x0B, 0x74, 0x0D, 0x00}};

// GUID_PROCESSOR_THROTTLE_MAXIMUM (efficiency class 0) and GUID_PROCESSOR_THROTTLE_MAXIMUM_1
// (class 1), which differ in their last byte.
const GUID kProcessorThrottleMaximum = {
    0xBC5038F7, 0x23E0, 0x4960, {0x96, 0xDA, 0x33, 0xAB, 0xAF, 0x59, 0x35, 0xEC}};
const GUID kProcessorThrottleMaximum1 = {
    0xBC5038F7, 0x23E0, 0x4960, {0x96, 0xDA, 0x33, 0xAB, 0xAF, 0x59, 0x35, 0xED}};

static_assert(sizeof(SchemeId) == sizeof(GUID), "a scheme identifier is a GUID");

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

const GUID* SettingOf(ThrottleValue which)
{
    return IsClass1(which) ? &kProcessorThrottleMaximum1 : &kProcessorThrottleMaximum;
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
    return ReadActiveScheme(active) == ERROR_SUCCESS &&
           ReadSchemeThrottleMax(active, value) == ERROR_SUCCESS;
}

uint32_t ReadActiveScheme(SchemeId& scheme)
{
    GUID* active = nullptr;
    DWORD result = PowerGetActiveScheme(nullptr, &active);
    if (result != ERROR_SUCCESS)
        return result;
    scheme = SchemeIdOf(*active);
    LocalFree(active);
    return ERROR_SUCCESS;
}

uint32_t ReadSchemeThrottleMax(const SchemeId& scheme, uint32_t& value, ThrottleValue which)
{
    GUID guid = GuidOf(scheme);
    DWORD found = 0;
    DWORD size = sizeof found;
    UCHAR* buffer = reinterpret_cast<UCHAR*>(&found);
    DWORD result = IsBattery(which) ? PowerReadDCValue(nullptr, &guid, &kProcessorSettingsSubgroup,
                                                       SettingOf(which), nullptr, buffer, &size)
                                    : PowerReadACValue(nullptr, &guid, &kProcessorSettingsSubgroup,
                                                       SettingOf(which), nullptr, buffer, &size);
    if (result == ERROR_SUCCESS)
        value = found;
    return result;
}

uint32_t WriteSchemeThrottleMaxCode(const SchemeId& scheme, uint32_t value, ThrottleValue which)
{
    GUID guid = GuidOf(scheme);
    const bool battery = IsBattery(which);
    DWORD result = battery ? PowerWriteDCValueIndex(nullptr, &guid, &kProcessorSettingsSubgroup,
                                                    SettingOf(which), value)
                           : PowerWriteACValueIndex(nullptr, &guid, &kProcessorSettingsSubgroup,
                                                    SettingOf(which), value);
    if (result != ERROR_SUCCESS)
        LogPrint("%s() error=%lx", battery ? "PowerWriteDCValueIndex" : "PowerWriteACValueIndex",
                 result);
    return result;
}

bool ActivateScheme(const SchemeId& scheme)
{
    GUID guid = GuidOf(scheme);
    return Activate(&guid) == ERROR_SUCCESS;
}
