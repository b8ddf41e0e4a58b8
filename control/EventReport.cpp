#include "control/EventReport.h"

#include "res/AmbrelEvents.h"
#include "settings/Policy.h"
#include "watch/TempConversion.h"
#include "watch/ThermalZone.h"

#include <cstdio>
#include <cstring>

const EventKind EVENT_KINDS[EVENT_KIND_COUNT] = {
    {MSG_AMBREL_STARTED, EVENTLOG_INFORMATION_TYPE, 5},
    {MSG_AMBREL_STOPPED, EVENTLOG_INFORMATION_TYPE, 2},
    {MSG_CAP_LOWERED, EVENTLOG_WARNING_TYPE, 3},
    {MSG_EPISODE_ENDED, EVENTLOG_INFORMATION_TYPE, 2},
    {MSG_LEFTOVERS_GIVEN_BACK, EVENTLOG_WARNING_TYPE, 2},
    {MSG_SENSOR_FAILING, EVENTLOG_ERROR_TYPE, 2},
    {MSG_SENSOR_READING, EVENTLOG_INFORMATION_TYPE, 2},
    {MSG_WRITE_FAILED, EVENTLOG_ERROR_TYPE, 3},
    {MSG_SERVICE_LOG_REFUSED, EVENTLOG_WARNING_TYPE, 2},
    {MSG_PIPE_FAILED, EVENTLOG_ERROR_TYPE, 1},
    {MSG_PAUSED, EVENTLOG_INFORMATION_TYPE, 2},
    {MSG_RESUMED, EVENTLOG_INFORMATION_TYPE, 1},
    {MSG_GUARD_SQUATTED, EVENTLOG_ERROR_TYPE, 1},
    {MSG_CAP_NO_EFFECT, EVENTLOG_WARNING_TYPE, 3},
};

namespace
{

// Indexes into EVENT_KINDS.
enum Kind {
    KIND_STARTED,
    KIND_STOPPED,
    KIND_LOWERED,
    KIND_ENDED,
    KIND_LEFTOVERS,
    KIND_SENSOR_FAILING,
    KIND_SENSOR_READING,
    KIND_WRITE_FAILED,
    KIND_SERVICE_LOG_REFUSED, // reported by the service's entry before the controller runs
    KIND_PIPE_FAILED,
    KIND_PAUSED,
    KIND_RESUMED,
    KIND_GUARD_SQUATTED, // reported by the service's entry before the controller runs
    KIND_NO_EFFECT,
};

const int MAX_INSERTS = 5;
// Room for the inserts of one event; a list of values given back is cut to LIST_SIZE before.
const int INSERTS_SIZE = 4096;
const size_t LIST_SIZE = 2048;
const size_t VALUE_SIZE = 64;

// The inserts of one event: composed as 8-bit text (zone names come in the system's code page)
// and kept as the wide text the event log takes.
class Inserts
{
  public:
    void Add(const char* text)
    {
        if (count == MAX_INSERTS)
            return;
        // Each insert still to come keeps one place for its terminating zero, so room is at
        // least 1; a text that does not fit is left empty.
        wchar_t* at = text16 + used;
        const int room = INSERTS_SIZE - used - (MAX_INSERTS - 1 - count);
        int written = MultiByteToWideChar(CP_ACP, 0, text, -1, at, room);
        if (written == 0) {
            written = 1;
            at[0] = L'\0';
        }
        used += written;
        pointers[count++] = at;
    }
    void AddNumber(long long value)
    {
        char text[VALUE_SIZE];
        std::snprintf(text, sizeof text, "%lld", value);
        Add(text);
    }
    LPCWSTR pointers[MAX_INSERTS] = {};
    WORD count = 0;

  private:
    wchar_t text16[INSERTS_SIZE];
    int used = 0;
};

void Report(EventSource& source, Kind kind, Inserts& inserts)
{
    const EventKind& event = EVENT_KINDS[kind];
    source.Report(event.type, event.id, inserts.pointers, inserts.count);
}

// "<scheme> AC 100 (was 80), ..."; "none" for an empty list.
void ComposeList(const GivenBackList& list, char text[LIST_SIZE])
{
    size_t used = 0;
    text[0] = '\0';
    for (int i = 0; i < list.count && used < LIST_SIZE; ++i) {
        const GivenBackValue& value = list.values[i];
        LedgerEntry entry = {};
        entry.scheme = value.scheme;
        entry.which = value.which;
        char name[LEDGER_NAME_SIZE];
        FormatLedgerName(entry, name);
        int n = std::snprintf(text + used, LIST_SIZE - used, "%s%s %lu (was %lu)",
                              i > 0 ? ", " : "", name, static_cast<unsigned long>(value.value),
                              static_cast<unsigned long>(value.from));
        if (n < 0)
            break;
        used += static_cast<size_t>(n);
    }
    if (list.count == 0)
        std::snprintf(text, LIST_SIZE, "none");
}

void AddList(Inserts& inserts, const GivenBackList& list)
{
    inserts.AddNumber(static_cast<long long>(list.count));
    char text[LIST_SIZE];
    ComposeList(list, text);
    inserts.Add(text);
}

// The names of the settings a policy sets, or "nothing"; AllowPause where it forbids the pause.
void ComposeLocked(const Settings& settings, char* text, size_t size)
{
    const MenuLocks& locked = settings.locked;
    const bool set[] = {locked.zone, locked.throttleAt, locked.onBattery, locked.notify,
                        settings.pauseForbidden};
    const char* names[] = {SETTING_ZONE, SETTING_THROTTLE_AT, SETTING_ON_BATTERY, SETTING_NOTIFY,
                           POLICY_ALLOW_PAUSE};
    size_t used = 0;
    text[0] = '\0';
    for (size_t i = 0; i < sizeof set / sizeof set[0] && used < size; ++i) {
        if (!set[i])
            continue;
        int n = std::snprintf(text + used, size - used, "%s%s", used > 0 ? ", " : "", names[i]);
        used += n > 0 ? static_cast<size_t>(n) : 0;
    }
    if (used == 0)
        std::snprintf(text, size, "nothing");
}

const char* ZoneText(const char* zone)
{
    return IsHottestZone(zone) ? "the hottest zone" : ZoneOrDefault(zone);
}

} // namespace

void EventReport::Start(const Settings& settings)
{
    source.Open();
    if (!rules.Admit(GetTickCount64()))
        return;
    Inserts inserts;
    inserts.Add(AMBREL_VERSION);
    inserts.Add(ZoneText(settings.zone));
    inserts.AddNumber(static_cast<long long>(settings.throttleAt));
    inserts.Add(settings.onBattery ? "yes" : "no");
    char locked[VALUE_SIZE];
    ComposeLocked(settings, locked, sizeof locked);
    inserts.Add(locked);
    Report(source, KIND_STARTED, inserts);
}

void EventReport::OnScheme(WPARAM first, LPARAM last)
{
    std::memcpy(&scheme, &first, sizeof first);
    std::memcpy(reinterpret_cast<char*>(&scheme) + sizeof first, &last, sizeof last);
    hasScheme = true;
}

void EventReport::ReportEpisode(const EpisodeNews& news, int32_t t, int32_t inForce)
{
    if (news.ended) {
        Inserts inserts;
        inserts.AddNumber(static_cast<long long>(news.durationMs / 1000));
        inserts.AddNumber(static_cast<long long>(news.peak));
        Report(source, KIND_ENDED, inserts);
    }
    if (news.began) {
        Inserts inserts;
        inserts.AddNumber(static_cast<long long>(t));
        inserts.AddNumber(static_cast<long long>(inForce));
        char text[SCHEME_ID_TEXT_SIZE] = "unknown";
        if (hasScheme)
            FormatSchemeId(scheme, text);
        inserts.Add(text);
        Report(source, KIND_LOWERED, inserts);
    }
}

void EventReport::OnReport(HWND window, int32_t t, bool nowLowered, int32_t inForce, bool good)
{
    if (stopped)
        return;
    if (lowered && !nowLowered)
        SetTimer(window, EPISODE_TIMER_ID, static_cast<UINT>(EPISODE_QUIET_MS + 1000), nullptr);
    lowered = nowLowered;
    ReportEpisode(rules.OnReport(nowLowered, t, good, GetTickCount64()), t, inForce);
}

void EventReport::OnQuietTimer(HWND window)
{
    KillTimer(window, EPISODE_TIMER_ID);
    if (!stopped)
        ReportEpisode(rules.OnQuiet(GetTickCount64()), 0, 0);
}

void EventReport::OnStatus(int32_t status, const char* zone)
{
    if (stopped)
        return;
    const SensorNews news = rules.OnStatus(status == READING_OK, GetTickCount64());
    Inserts inserts;
    inserts.Add(ZoneText(zone));
    if (news.failing) {
        inserts.Add(status == READING_NO_ZONE ? "the zone does not exist"
                                              : "the counter gives no value");
        Report(source, KIND_SENSOR_FAILING, inserts);
    } else if (news.reading) {
        inserts.AddNumber(static_cast<long long>(news.failedMs / 1000));
        Report(source, KIND_SENSOR_READING, inserts);
    }
}

void EventReport::ReportFailure(const SchemeId& failedScheme, uint32_t which, uint32_t error)
{
    LedgerEntry entry = {};
    entry.scheme = failedScheme;
    entry.which = static_cast<ThrottleValue>(which & 3);
    char name[LEDGER_NAME_SIZE];
    FormatLedgerName(entry, name);
    Inserts inserts;
    inserts.Add(name + SCHEME_ID_TEXT_SIZE); // the value's name after the scheme's and a space
    name[SCHEME_ID_TEXT_SIZE - 1] = '\0';
    inserts.Add(name);
    inserts.AddNumber(static_cast<long long>(error));
    Report(source, KIND_WRITE_FAILED, inserts);
}

void EventReport::OnWriteFailed(WPARAM which, LPARAM error)
{
    if (stopped || !rules.OnWriteFailed(GetTickCount64()))
        return;
    SchemeId none = {};
    ReportFailure(hasScheme ? scheme : none, static_cast<uint32_t>(which),
                  static_cast<uint32_t>(error));
}

void EventReport::OnNoEffect(int32_t inForce, int32_t performance, int32_t busy)
{
    if (stopped || !rules.OnNoEffect(GetTickCount64()))
        return;
    Inserts inserts;
    inserts.AddNumber(static_cast<long long>(inForce));
    inserts.AddNumber(static_cast<long long>(performance));
    inserts.AddNumber(static_cast<long long>(busy));
    Report(source, KIND_NO_EFFECT, inserts);
}

void EventReport::OnPipeFailed(DWORD error)
{
    if (stopped || !rules.Admit(GetTickCount64()))
        return;
    Inserts inserts;
    inserts.AddNumber(static_cast<long long>(error));
    Report(source, KIND_PIPE_FAILED, inserts);
}

void EventReport::OnPause(const char* by, int minutes)
{
    if (stopped || !rules.Admit(GetTickCount64()))
        return;
    Inserts inserts;
    inserts.Add(by);
    inserts.AddNumber(static_cast<long long>(minutes));
    Report(source, KIND_PAUSED, inserts);
}

void EventReport::OnResume(const char* how)
{
    if (stopped || !rules.Admit(GetTickCount64()))
        return;
    Inserts inserts;
    inserts.Add(how);
    Report(source, KIND_RESUMED, inserts);
}

void EventReport::OnLeftovers(const GivenBackList& leftovers)
{
    if (stopped || leftovers.count == 0 || !rules.Admit(GetTickCount64()))
        return;
    Inserts inserts;
    AddList(inserts, leftovers);
    Report(source, KIND_LEFTOVERS, inserts);
}

void EventReport::Stop(const GivenBackList& givenBack, FailedWrite& failure)
{
    if (stopped)
        return;
    stopped = true;
    const uint64_t now = GetTickCount64();
    ReportEpisode(rules.OnEnd(now), 0, 0);
    if (failure.due) {
        failure.due = false;
        if (rules.OnWriteFailed(now))
            ReportFailure(failure.scheme, failure.which, failure.error);
    }
    if (rules.Admit(now)) {
        Inserts inserts;
        AddList(inserts, givenBack);
        Report(source, KIND_STOPPED, inserts);
    }
    source.Close();
}
