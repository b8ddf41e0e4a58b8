#include "app/commands/StatusReport.h"

#include "base/JsonWriter.h"
#include "base/TextWriter.h"
#include "ui/HistoryRing.h"
#include "ui/TrayTooltip.h"
#include "watch/TempConversion.h"
#include "watch/ThermalZone.h"

#include <cstdio>

namespace
{

const size_t LINE_SIZE = 256;

// The PIPE_SET_* bits that a policy sets, with the value name that sets each (the policy key's
// names, settings/Settings.h, which is not free of the platform) and its menu item.
struct PolicyBit {
    uint8_t bit;
    const char* name;
    int item;
};
const PolicyBit POLICY_BITS[] = {
    {PIPE_SET_ZONE, "ThermalZone", IDS_MENU_THERMAL_ZONE},
    {PIPE_SET_THROTTLE_AT, "ThrottleAt", IDS_MENU_THROTTLE_AT},
    {PIPE_SET_ON_BATTERY, "OnBattery", IDS_MENU_ON_BATTERY},
    {PIPE_SET_NOTIFY, "Notify", IDS_MENU_NOTIFY},
};

// The ms of [end, start] (ages, older first) that fall within the last half hour.
uint32_t WithinSpan(uint32_t start, uint32_t end)
{
    const uint32_t span = static_cast<uint32_t>(HISTORY_SPAN_MS);
    start = start < span ? start : span;
    end = end < span ? end : span;
    return start > end ? start - end : 0;
}

// How an outcome that is no answer is named in the JSON, and the text that tells it.
struct OutcomeWords {
    StatusOutcome outcome;
    const char* name;
    int text;
};

const OutcomeWords OUTCOME_WORDS[] = {
    {StatusOutcome::NoController, "no-controller", IDS_STATUS_NO_CONTROLLER},
    {StatusOutcome::Denied, "access-denied", IDS_STATUS_DENIED},
    {StatusOutcome::Refused, "refused", IDS_STATUS_REFUSED},
    {StatusOutcome::Garbled, "garbled", IDS_STATUS_GARBLED},
    {StatusOutcome::TimedOut, "timeout", IDS_STATUS_TIMEOUT},
    {StatusOutcome::BadArguments, "bad-arguments", IDS_STATUS_USAGE},
    {StatusOutcome::NotAmbrels, "not-ambrels", IDS_STATUS_NOT_AMBRELS},
};
// Any other outcome: the pipe could not be read.
const OutcomeWords FAILED_WORDS = {StatusOutcome::Failed, "pipe-error", IDS_STATUS_FAILED};

const OutcomeWords& WordsOf(StatusOutcome outcome)
{
    for (const OutcomeWords& words : OUTCOME_WORDS) {
        if (words.outcome == outcome)
            return words;
    }
    return FAILED_WORDS;
}

void Line(TextWriter& writer, const char16_t* pattern, const char16_t* first,
          const char16_t* second = nullptr)
{
    const char16_t* inserts[] = {first, second};
    writer.AddPattern(pattern, inserts, 2).AddAscii("\r\n");
}

void Number(char16_t* text, long long number)
{
    TextWriter(text, NUMBER_SIZE).AddNumber(number);
}

// A command line's bytes shown as printable ASCII, '?' for each other one: no control character
// of a caller's reaches the console.
void PrintableArgument(char16_t* text, const char* argument)
{
    size_t i = 0;
    for (; i + 1 < LINE_SIZE && argument[i] != '\0'; ++i) {
        const unsigned char c = static_cast<unsigned char>(argument[i]);
        text[i] = c >= 0x20 && c < 0x7f ? static_cast<char16_t>(c) : u'?';
    }
    text[i] = u'\0';
}

void ErrorLine(TextWriter& writer, const StatusAnswer& answer, const TextTable& words)
{
    char16_t insert[LINE_SIZE] = u"";
    if (answer.outcome == StatusOutcome::TimedOut)
        Number(insert, STATUS_WAIT_SECONDS);
    else if (answer.outcome == StatusOutcome::Failed)
        Number(insert, answer.errorCode);
    else if (answer.outcome == StatusOutcome::NotAmbrels)
        Number(insert, answer.serverProcess);
    else if (answer.outcome == StatusOutcome::BadArguments && answer.argument != nullptr)
        PrintableArgument(insert, answer.argument);
    Line(writer, words[WordsOf(answer.outcome).text], insert);
}

void ControllerLine(TextWriter& writer, const StatusAnswer& answer, const TextTable& words)
{
    char16_t session[NUMBER_SIZE];
    Number(session, answer.session);
    if (answer.service)
        Line(writer, words[IDS_STATUS_SERVICE], session);
    else if (answer.user[0] != u'\0')
        Line(writer, words[IDS_STATUS_TRAY], answer.user, session);
    else
        Line(writer, words[IDS_STATUS_TRAY_SESSION], session);
}

void SettingsLine(TextWriter& writer, const PipeStatus& status, const TextTable& words)
{
    char16_t threshold[LINE_SIZE], set[LINE_SIZE];
    ComposeQuantity(threshold, LINE_SIZE, status.throttleAt, IDS_DEGREES, words);
    TextWriter list(set, LINE_SIZE);
    bool any = false;
    for (const PolicyBit& policy : POLICY_BITS) {
        if ((status.setBy & policy.bit) == 0)
            continue;
        list.AddAscii(any ? ", " : "").Add(words[policy.item]);
        any = true;
    }
    if (!any)
        list.Add(words[IDS_STATUS_NOTHING]);
    Line(writer, words[IDS_STATUS_SETTINGS], threshold, set);
}

void RecentLine(TextWriter& writer, const RecentReadings& recent, const TextTable& words)
{
    if (!recent.anyReading) {
        writer.Add(words[IDS_STATUS_NO_RECENT]).AddAscii("\r\n");
        return;
    }
    char16_t peak[LINE_SIZE], minutes[NUMBER_SIZE];
    ComposeQuantity(peak, LINE_SIZE, recent.peak, IDS_DEGREES, words);
    words.Number(recent.throttledMinutes, minutes);
    Line(writer, words[IDS_STATUS_RECENT], peak, minutes);
}

// While the cap lowers a value: whether it takes effect, and the performance seen. A controller
// that does not check says nothing of it, which is "not known yet".
uint8_t EffectOf(const PipeStatus& status)
{
    return status.effect == PIPE_EFFECT_OFF ? PIPE_EFFECT_UNKNOWN : status.effect;
}

void EffectLine(TextWriter& writer, const PipeStatus& status, const TextTable& words)
{
    if (!status.lowered)
        return;
    static const int texts[] = {IDS_STATUS_EFFECT_UNKNOWN, IDS_STATUS_EFFECT_UNKNOWN,
                                IDS_STATUS_EFFECT_WORKS, IDS_STATUS_EFFECT_NONE,
                                IDS_STATUS_EFFECT_UNAVAILABLE};
    const uint8_t effect = EffectOf(status);
    char16_t performance[LINE_SIZE], cap[LINE_SIZE];
    ComposeQuantity(performance, LINE_SIZE, status.performance, IDS_PERCENT, words);
    ComposeQuantity(cap, LINE_SIZE, status.inForce, IDS_PERCENT, words);
    Line(writer, words[texts[effect <= PIPE_EFFECT_UNAVAILABLE ? effect : 1]], performance, cap);
}

const char* EffectName(uint8_t effect)
{
    static const char* const names[] = {"unknown", "unknown", "works", "none", "unavailable"};
    return effect <= PIPE_EFFECT_UNAVAILABLE ? names[effect] : "unknown";
}

const char* ReadingName(int32_t status)
{
    return status == READING_OK ? "ok" : status == READING_NO_ZONE ? "no-zone" : "failed";
}

void JsonStatus(JsonWriter& json, const StatusAnswer& answer)
{
    const PipeStatus& s = answer.status;
    if (s.temperature == TEMP_NO_READING)
        json.Null("temperature");
    else
        json.Int("temperature", s.temperature);
    json.String("reading", ReadingName(s.status));
    if (s.status == READING_FAILED) {
        char since[8];
        std::snprintf(since, sizeof since, "%02u:%02u", s.failedHour % 24u, s.failedMinute % 60u);
        json.String("failingSince", since);
    } else {
        json.Null("failingSince");
    }
    json.String("zone", ZoneOrDefault(s.zone)).Int("mode", s.mode);
    if (s.inForce > 0)
        json.Int("maxProcessorState", s.inForce);
    else
        json.Null("maxProcessorState");
    json.Bool("lowered", s.lowered).Bool("onBattery", s.onBattery);
    // Checked only while the cap lowers a value; the performance only once something was seen.
    if (s.lowered)
        json.String("effect", EffectName(EffectOf(s)));
    else
        json.Null("effect");
    if (s.lowered && s.performance > 0)
        json.Int("processorPerformance", s.performance);
    else
        json.Null("processorPerformance");
    json.Int("pausedSeconds", static_cast<long long>(s.pausedSeconds));
    json.String("controller", answer.service ? "service" : "tray").Int("session", answer.session);
    if (answer.service || answer.user[0] == u'\0')
        json.Null("user");
    else
        json.String16("user", answer.user);
    json.Int("throttleAt", s.throttleAt).Key("setByPolicy").Raw("[");
    bool any = false;
    for (const PolicyBit& policy : POLICY_BITS) {
        if ((s.setBy & policy.bit) != 0) {
            json.Raw(any ? ",\"" : "\"").Raw(policy.name).Raw("\"");
            any = true;
        }
    }
    json.Raw("]");
    if (answer.recent.anyReading)
        json.Int("peak30min", answer.recent.peak);
    else
        json.Null("peak30min");
    json.Int("throttledMinutes30min", answer.recent.throttledMinutes);
}

} // namespace

RecentReadings SummariseHistory(const PipeHistory& history)
{
    RecentReadings recent = {false, 0, 0};
    uint64_t throttledMs = 0;
    const int count = history.count < PIPE_HISTORY_CAPACITY ? history.count : PIPE_HISTORY_CAPACITY;
    for (int i = 0; i < count; ++i) {
        const PipeSample& sample = history.samples[i];
        const uint32_t end = i + 1 < count ? history.samples[i + 1].ageMs : 0;
        // The last sample holds until now: it counts even when it is older than the span.
        if (end >= static_cast<uint32_t>(HISTORY_SPAN_MS))
            continue;
        // Paused, the user's own values are in force: that time lowers nothing.
        if (sample.mode > 0 && sample.mode != PIPE_PAUSED_MODE)
            throttledMs += WithinSpan(sample.ageMs, end);
        if (sample.status == READING_OK && (!recent.anyReading || sample.value > recent.peak)) {
            recent.peak = sample.value;
            recent.anyReading = true;
        }
    }
    recent.throttledMinutes = static_cast<uint32_t>((throttledMs + 30000) / 60000);
    return recent;
}

int StatusExitCode(const StatusAnswer& answer)
{
    switch (answer.outcome) {
    case StatusOutcome::Answered:
        if (answer.status.status != READING_OK)
            return STATUS_CRITICAL;
        return answer.status.lowered ? STATUS_WARNING : STATUS_OK;
    case StatusOutcome::NoController:
        return STATUS_CRITICAL;
    default:
        return STATUS_UNKNOWN;
    }
}

const char* StatusWord(int code)
{
    static const char* const words[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    return code >= STATUS_OK && code <= STATUS_UNKNOWN ? words[code] : words[STATUS_UNKNOWN];
}

void ComposeStatusText(char16_t* text, size_t size, const StatusAnswer& answer,
                       const TextTable& words)
{
    TextWriter writer(text, size);
    writer.AddAscii(StatusWord(StatusExitCode(answer))).AddAscii(": ");
    if (answer.outcome != StatusOutcome::Answered) {
        ErrorLine(writer, answer, words);
        return;
    }
    const PipeStatus& s = answer.status;
    const TooltipFacts facts = {s.temperature,      s.mode,      s.status,     s.zone,
                                answer.failedAt,    s.onBattery, s.inForce,    s.lowered,
                                answer.pausedUntil, s.effect,    s.performance};
    char16_t first[LINE_SIZE];
    ComposeTooltip(first, LINE_SIZE, facts, words);
    writer.Add(first).AddAscii("\r\n");
    EffectLine(writer, s, words);
    ControllerLine(writer, answer, words);
    SettingsLine(writer, s, words);
    RecentLine(writer, answer.recent, words);
}

size_t ComposeStatusJson(char* out, size_t size, const StatusAnswer& answer)
{
    const int code = StatusExitCode(answer);
    JsonWriter json(out, size);
    json.Raw("{").Int("version", STATUS_JSON_VERSION).String("state", StatusWord(code));
    json.Int("exitCode", code);
    if (answer.outcome == StatusOutcome::Answered) {
        JsonStatus(json, answer);
    } else {
        json.String("error", WordsOf(answer.outcome).name);
        if (answer.errorCode != 0)
            json.Int("windowsError", answer.errorCode);
        if (answer.outcome == StatusOutcome::NotAmbrels)
            json.Int("serverProcess", answer.serverProcess);
    }
    json.Raw("}\r\n");
    if (!json.fits) {
        out[0] = '\0';
        return 0;
    }
    return json.Used();
}
