#include "app/commands/DiagnosisReport.h"

#include "power/PowerSetting.h"
#include "power/RestoreLedger.h"
#include "watch/TempConversion.h"
#include "watch/ZoneCounter.h"
#include "watch/ZoneList.h"

// The sensor's and the power scheme's sections of --diagnose: read once, read-only, nothing
// written and nothing logged.

namespace
{

// One counter path added each way, collected and read once where it was added.
void TryPath(Report& report, const char* zone, const char* counter, bool english)
{
    char path[ZONE_PATH_SIZE];
    if (!ComposeZonePath(path, sizeof path, zone, counter))
        return;
    PDH_HQUERY query = nullptr;
    PDH_STATUS status = PdhOpenQueryA(nullptr, 0, &query);
    if (status != ERROR_SUCCESS) {
        report.Unread("  PdhOpenQueryA -> 0x%08lx", static_cast<unsigned long>(status));
        return;
    }
    PDH_HCOUNTER handle = nullptr;
    status = english ? PdhAddEnglishCounterA(query, path, 0, &handle)
                     : PdhAddCounterA(query, path, 0, &handle);
    const PDH_STATUS added = status;
    PDH_STATUS collected = status, read = status;
    PDH_FMT_COUNTERVALUE value = {};
    if (added == ERROR_SUCCESS && !IsHottestZone(zone)) {
        collected = PdhCollectQueryData(query);
        read = collected == ERROR_SUCCESS
                   ? PdhGetFormattedCounterValue(handle, PDH_FMT_LONG, nullptr, &value)
                   : collected;
    }
    report.Say("  %s \"%s\" -> 0x%08lx%s", english ? "English  " : "localized", path,
               static_cast<unsigned long>(added), added == ERROR_SUCCESS ? "" : " (not added)");
    if (added == ERROR_SUCCESS && !IsHottestZone(zone))
        report.Say("    collect 0x%08lx, value 0x%08lx (%ld)",
                   static_cast<unsigned long>(collected),
                   static_cast<unsigned long>(FormattedReadStatus(read, value)),
                   static_cast<long>(value.longValue));
    PdhCloseQuery(query);
}

} // namespace

void DescribeZones(Report& report)
{
    static ListedZone zones[MAX_LISTED_ZONES];
    const int count = ListThermalZones(zones, MAX_LISTED_ZONES);
    if (count == 0)
        report.Unread("Thermal zones: none found or none readable");
    else
        report.Say("Thermal zones: %d found", count);
    for (int i = 0; i < count; ++i) {
        if (zones[i].reading.valid)
            report.Say("  %s  %d C", zones[i].name, static_cast<int>(zones[i].reading.celsius));
        else
            report.Say("  %s  no value", zones[i].name);
    }
}

// The English path is what the program reads; the same path handed to PdhAddCounterA, which
// takes names in the display language, fails on a Windows in another language.
void DescribePaths(Report& report, const char* zone)
{
    report.Say("Counter paths tried (PDH status):");
    const char* zones[] = {ZoneOrDefault(zone), HOTTEST_ZONE};
    const char* counters[] = {HIGH_PRECISION_COUNTER, PLAIN_COUNTER};
    for (const char* z : zones)
        for (const char* counter : counters)
            for (int english = 1; english >= 0; --english)
                TryPath(report, z, counter, english != 0);
}

void DescribeScheme(Report& report)
{
    SchemeId scheme;
    const uint32_t code = ReadActiveScheme(scheme);
    if (code != 0) {
        report.Unread("Active power scheme: cannot be read (error %lu)",
                      static_cast<unsigned long>(code));
        return;
    }
    char text[SCHEME_ID_TEXT_SIZE];
    FormatSchemeId(scheme, text);
    report.Say("Active power scheme: %s", text);
    const char* names[THROTTLE_VALUE_COUNT] = {"AC ", "AC1", "DC ", "DC1"};
    for (int i = 0; i < THROTTLE_VALUE_COUNT; ++i) {
        const ThrottleValue which = static_cast<ThrottleValue>(i);
        uint32_t value = 0;
        const uint32_t read = ReadSchemeThrottleMax(scheme, value, which);
        if (read == 0)
            report.Say("  maximum processor state %s %lu %%", names[i],
                       static_cast<unsigned long>(value));
        else if (read == POWER_SCHEME_NOT_FOUND && IsClass1(which))
            report.Say("  maximum processor state %s absent (no efficiency class 1)", names[i]);
        else
            report.Unread("  maximum processor state %s cannot be read (error %lu)", names[i],
                          static_cast<unsigned long>(read));
    }
}

// Walks the key read-only: a malformed value is named, never removed.
void DescribeLedger(Report& report, bool machine)
{
    const char* root = machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
    RestoreLedger ledger = {};
    ledger.key.machine = machine;
    if (!ledger.key.Open(RESTORE_LEDGER_KEY_PATH, false)) {
        report.Say("Restore ledger %s\\%s: no key", root, RESTORE_LEDGER_KEY_PATH);
        return;
    }
    report.Say("Restore ledger %s\\%s:", root, RESTORE_LEDGER_KEY_PATH);
    char name[LEDGER_NAME_SIZE + 64];
    int count = 0;
    for (DWORD index = 0; ledger.key.ValueName(index, name, sizeof name); ++index, ++count) {
        LedgerEntry entry = {};
        if (ledger.ReadNamed(name, entry))
            report.Say("  \"%s\": the user's own value before Ambrel: %lu %%, last written by "
                       "Ambrel: %lu %%, held before that write: %lu %%",
                       name, static_cast<unsigned long>(entry.original),
                       static_cast<unsigned long>(entry.written),
                       static_cast<unsigned long>(entry.previous));
        else
            report.Say("  \"%.64s\" malformed", name);
    }
    if (count == 0)
        report.Say("  no entries");
    ledger.key.Close();
}
