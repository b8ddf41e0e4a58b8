#include "app/commands/Diagnosis.h"

#include "app/commands/DiagnosisReport.h"
#include "app/commands/ProcessorDiagnosis.h"
#include "app/commands/StatusQuery.h"
#include "base/LoadedTexts.h"
#include "base/Log.h"
#include "power/PowerSetting.h"
#include "roles/service/ServiceStatus.h"
#include "settings/Policy.h"
#include "settings/Settings.h"
#include "ui/SystemLook.h"
#include "watch/TempConversion.h"
#include "watch/ZoneCounter.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{

const char* OutcomeText(StatusOutcome outcome)
{
    switch (outcome) {
    case StatusOutcome::Answered:
        return "answered";
    case StatusOutcome::NoController:
        return "no pipe: nothing controls this machine";
    case StatusOutcome::Denied:
        return "access denied to the pipe";
    case StatusOutcome::Refused:
        return "the connection was closed without an answer";
    case StatusOutcome::Garbled:
        return "a garbled answer";
    case StatusOutcome::TimedOut:
        return "no answer in time";
    default:
        return "the pipe cannot be read";
    }
}

const char* StepText(int32_t mode)
{
    switch (mode) {
    case 0:
        return "none (the user's own values)";
    case 1:
        return "99 %";
    case 2:
        return "80 %";
    case PIPE_PAUSED_MODE:
        return "paused (the user's own values)";
    default:
        return "unknown";
    }
}

const char* ReadingText(int32_t status)
{
    switch (status) {
    case READING_OK:
        return "OK";
    case READING_FAILED:
        return "failed (the sensor gives no value)";
    case READING_NO_ZONE:
        return "no zone (the zone read does not exist)";
    default:
        return "unknown";
    }
}

struct PolicyName {
    uint8_t bit;
    const char* name;
};
const PolicyName POLICY_NAMES[] = {{PIPE_SET_ZONE, "the zone"},
                                   {PIPE_SET_THROTTLE_AT, "the threshold"},
                                   {PIPE_SET_ON_BATTERY, "on battery too"},
                                   {PIPE_SET_NOTIFY, "notify when throttling"}};

// Who controls, and so which role a start of Ambrel takes here.
void DescribeRole(Report& report)
{
    static StatusAnswer answer;
    static PipeHistory history;
    answer = StatusAnswer{};
    AskController(answer, history);
    if (answer.outcome == StatusOutcome::NoController) {
        report.Say("Role in force: none (nothing controls the machine; Ambrel started now is the "
                   "tray)");
        return;
    }
    if (answer.outcome != StatusOutcome::Answered) {
        report.Unread("Role in force: unknown (status pipe: %s, error %lu)",
                      OutcomeText(answer.outcome), static_cast<unsigned long>(answer.errorCode));
        return;
    }
    DWORD own = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &own);
    const char* role = answer.service ? "service" : answer.session == own ? "tray" : "view";
    report.Say("Role in force: %s (the controller is %s in session %lu; this session %lu)", role,
               answer.service ? "the Ambrel service" : "a tray",
               static_cast<unsigned long>(answer.session), static_cast<unsigned long>(own));
    const PipeStatus& s = answer.status;
    char temperature[16] = "no reading yet";
    if (s.temperature != TEMP_NO_READING)
        std::snprintf(temperature, sizeof temperature, "%d C", static_cast<int>(s.temperature));
    char inForce[16] = "unknown";
    if (s.inForce > 0)
        std::snprintf(inForce, sizeof inForce, "%d %%", static_cast<int>(s.inForce));
    char policies[80] = "";
    for (const PolicyName& policy : POLICY_NAMES)
        if ((s.setBy & policy.bit) != 0)
            std::snprintf(policies + std::strlen(policies), sizeof policies - std::strlen(policies),
                          "%s%s", policies[0] != '\0' ? ", " : "", policy.name);
    report.Say("  status: %s, step of the cap: %s, last reading: %s, maximum processor state in "
               "force: %s, "
               "lowered: %s, zone \"%s\", throttle at %d C, set by policy: %s, settings: %s",
               temperature, StepText(s.mode), ReadingText(s.status), inForce,
               s.lowered ? "yes" : "no", ZoneOrDefault(s.zone), s.throttleAt,
               policies[0] != '\0' ? policies : "nothing",
               (s.setBy & PIPE_SET_FOR_MACHINE) != 0 ? "the machine's" : "the user's");
}

const char* Found(StoredValue value)
{
    return value == StoredValue::Read      ? ""
           : value == StoredValue::Missing ? " (missing)"
                                           : " (not valid)";
}

void DescribeStored(Report& report, const char* label, const ProgramKey& key)
{
    char zone[ZONE_NAME_SIZE] = "";
    int32_t throttleAt = 0;
    bool onBattery = false, notify = false;
    const StoredValue z = ReadZoneValue(key, zone);
    const StoredValue t = ReadThrottleAtValue(key, throttleAt);
    const StoredValue b = ReadSwitchValue(key, SETTING_ON_BATTERY, onBattery);
    const StoredValue n = ReadSwitchValue(key, SETTING_NOTIFY, notify);
    report.Say("%s: %s \"%s\"%s, %s %ld%s, %s %d%s, %s %d%s", label, SETTING_ZONE, zone, Found(z),
               SETTING_THROTTLE_AT, static_cast<long>(throttleAt), Found(t), SETTING_ON_BATTERY,
               onBattery ? 1 : 0, Found(b), SETTING_NOTIFY, notify ? 1 : 0, Found(n));
}

void DescribeInForce(Report& report, const char* label, const Settings& settings)
{
    const MenuLocks& locked = settings.locked;
    report.Say("In force for %s: zone \"%s\", throttle at %ld C, on battery %s, notify %s; set by "
               "policy:%s%s%s%s%s",
               label, ZoneOrDefault(settings.zone), static_cast<long>(settings.throttleAt),
               settings.onBattery ? "yes" : "no", settings.notify ? "yes" : "no",
               locked.zone ? " ThermalZone" : "", locked.throttleAt ? " ThrottleAt" : "",
               locked.onBattery ? " OnBattery" : "", locked.notify ? " Notify" : "",
               locked.zone || locked.throttleAt || locked.onBattery || locked.notify ? ""
                                                                                     : " nothing");
}

void DescribeSettings(Report& report)
{
    ProgramKey key;
    if (key.Open(PROGRAM_KEY_PATH, false))
        DescribeStored(report, "User settings (HKEY_CURRENT_USER\\Software\\Ambrel)", key);
    else
        report.Say("User settings: no key");
    key.Close();
    key.machine = true;
    if (key.Open(PROGRAM_KEY_PATH, false))
        DescribeStored(report, "Machine settings (HKEY_LOCAL_MACHINE\\Software\\Ambrel)", key);
    else
        report.Say("Machine settings: no key");
    key.Close();
    if (key.OpenMachine(POLICY_KEY_PATH))
        DescribeStored(report, "Policies (HKEY_LOCAL_MACHINE\\Software\\Policies\\Ambrel)", key);
    else
        report.Say("Policies: no key");
    key.Close();
    Settings settings = {};
    LoadUserSettings(settings);
    ApplyPolicies(settings);
    DescribeInForce(report, "this user's tray", settings);
    settings = Settings{};
    LoadMachineSettings(settings);
    ApplyPolicies(settings);
    DescribeInForce(report, "the service", settings);
}

const char* ServiceStateName(DWORD state)
{
    switch (state) {
    case SERVICE_STOPPED:
        return "stopped";
    case SERVICE_START_PENDING:
        return "starting";
    case SERVICE_STOP_PENDING:
        return "stopping";
    case SERVICE_RUNNING:
        return "running";
    default:
        return "pending";
    }
}

void DescribeService(Report& report)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) {
        report.Unread("Service \"Ambrel\": the service manager cannot be asked (error %lu)",
                      GetLastError());
        return;
    }
    SC_HANDLE service = OpenServiceW(manager, SERVICE_NAME, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status = {};
    if (service == nullptr && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST)
        report.Say("Service \"Ambrel\": not installed");
    else if (service == nullptr || !QueryServiceStatus(service, &status))
        report.Unread("Service \"Ambrel\": state cannot be read (error %lu)", GetLastError());
    else
        report.Say("Service \"Ambrel\": %s (state %lu)", ServiceStateName(status.dwCurrentState),
                   status.dwCurrentState);
    if (service != nullptr)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

void DescribeLook(Report& report, HINSTANCE instance)
{
    const LANGID language = GetUserDefaultUILanguage();
    const LANGID primary = MAKELANGID(PRIMARYLANGID(language), SUBLANG_NEUTRAL);
    const wchar_t* text = nullptr;
    int length = 0;
    const char* table = "English (neither the language's own nor its main language's)";
    if (FindTableText(instance, IDS_FIRST, language, &text, &length))
        table = "the language's own";
    else if (FindTableText(instance, IDS_FIRST, primary, &text, &length))
        table = "its main language's";
    report.Say("UI language: 0x%04x, string table: %s", static_cast<unsigned>(language), table);
    const HistoryLook look = CurrentHistoryPalette().look;
    report.Say("Theme: %s", look == HistoryLook::HighContrast ? "high contrast"
                            : look == HistoryLook::Dark       ? "dark"
                                                              : "light");
}

void DescribeProcessor(Report& report)
{
    ProcessorLines lines;
    const int count = DescribeProcessorLook(LookAtProcessor(), lines);
    for (int i = 0; i < count; ++i) {
        if (lines.unread[i])
            report.Unread("%s", lines.text[i]);
        else
            report.Say("%s", lines.text[i]);
    }
}

} // namespace

int RunDiagnosis(HINSTANCE instance)
{
    Report report;
    report.output.Open();
    report.Say("Ambrel %s diagnosis (read-only)", AMBREL_VERSION);
    DescribeRole(report);
    DescribeZones(report);
    Settings settings = {};
    LoadUserSettings(settings);
    ApplyPolicies(settings);
    DescribePaths(report, settings.zone);
    DescribeScheme(report);
    DescribeProcessor(report);
    DescribeLedger(report, false);
    DescribeLedger(report, true);
    DescribeSettings(report);
    DescribeService(report);
    DescribeLook(report, instance);
    if (report.unread == 0)
        report.Say("Everything could be read.");
    else
        report.Say("%d item(s) could not be read.", report.unread);
    report.output.Close();
    return report.unread == 0 ? DIAGNOSE_ALL_READ : DIAGNOSE_SOME_UNREAD;
}
