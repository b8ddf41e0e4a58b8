#include "power/PowerSetting.h"

#include "app/Log.h"

#include <windows.h>
#include <powrprof.h>

namespace
{

// GUID_PROCESSOR_SETTINGS_SUBGROUP
const GUID kProcessorSettingsSubgroup = {
    0x54533251, 0x82BE, 0x4824, {0x96, 0xC1, 0x47, 0xB6, 0x0B, 0x74, 0x0D, 0x00}};

// GUID_PROCESSOR_THROTTLE_MAXIMUM
const GUID kProcessorThrottleMaximum = {
    0xBC5038F7, 0x23E0, 0x4960, {0x96, 0xDA, 0x33, 0xAB, 0xAF, 0x59, 0x35, 0xEC}};

} // namespace

bool ReadThrottleMax(uint32_t& value)
{
    GUID* scheme = nullptr;
    if (PowerGetActiveScheme(nullptr, &scheme) != ERROR_SUCCESS)
        return false;
    DWORD size = sizeof value;
    DWORD result =
        PowerReadACValue(nullptr, scheme, &kProcessorSettingsSubgroup, &kProcessorThrottleMaximum,
                         nullptr, reinterpret_cast<UCHAR*>(&value), &size);
    LocalFree(scheme);
    return result == ERROR_SUCCESS;
}

bool WriteThrottleMax(uint32_t value)
{
    GUID* scheme = nullptr;
    DWORD result = PowerGetActiveScheme(nullptr, &scheme);
    if (result != ERROR_SUCCESS) {
        LogPrint("PowerGetActiveScheme() error=%lx", result);
        return false;
    }
    result = PowerWriteACValueIndex(nullptr, scheme, &kProcessorSettingsSubgroup,
                                    &kProcessorThrottleMaximum, value);
    if (result != ERROR_SUCCESS) {
        LogPrint("PowerWriteACValueIndex() error=%lx", result);
    } else {
        result = PowerSetActiveScheme(nullptr, scheme);
        if (result != ERROR_SUCCESS)
            LogPrint("PowerSetActiveScheme() error=%lx", result);
    }
    LocalFree(scheme);
    return result == ERROR_SUCCESS;
}
