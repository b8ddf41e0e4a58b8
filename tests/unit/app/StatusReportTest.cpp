#include "app/commands/StatusReport.h"

#include "SourceTexts.h"
#include "watch/TempConversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace
{

StatusAnswer Answered(int32_t temperature, int32_t mode, int32_t reading, int32_t inForce,
                      bool lowered)
{
    StatusAnswer answer{};
    answer.outcome = StatusOutcome::Answered;
    answer.status = {temperature, mode, reading, inForce, lowered, "*", 85, true, 0, 9, 5, 0, 0, 0};
    answer.failedAt = u"09:05";
    return answer;
}

// The same with what the check of the cap's effect says.
StatusAnswer Checked(uint8_t effect, uint16_t performance, bool lowered = true)
{
    StatusAnswer answer = Answered(91, 2, READING_OK, 80, lowered);
    answer.status.effect = effect;
    answer.status.performance = performance;
    return answer;
}

StatusAnswer Failed(StatusOutcome outcome, uint32_t error = 0)
{
    StatusAnswer answer{};
    answer.outcome = outcome;
    answer.errorCode = error;
    answer.argument = "--jsno";
    return answer;
}

std::string Json(const StatusAnswer& answer)
{
    char json[STATUS_JSON_SIZE];
    ComposeStatusJson(json, sizeof json, answer);
    return json;
}

std::string Text(const StatusAnswer& answer, const TextTable& words = English())
{
    char16_t text[STATUS_TEXT_SIZE];
    ComposeStatusText(text, STATUS_TEXT_SIZE, answer, words);
    return Utf8(text);
}

const PipeHistory& History(const std::vector<PipeSample>& samples)
{
    static PipeHistory history;
    history.count = 0;
    for (const PipeSample& sample : samples)
        history.samples[history.count++] = sample;
    return history;
}

const uint32_t MIN = 60000;

} // namespace

// Each state of the controller and each way the question fails: the exit code, the word that
// starts the text and the JSON object's state and error.
TEST(StatusReport, EachStateHasItsCodeWordAndKeys)
{
    struct Row {
        StatusAnswer answer;
        int code;
        const char* start;
        const char* keys;
    } rows[] = {
        {Answered(47, 0, READING_OK, 100, false), 0, "OK: Ambrel — 47 °C (hottest zone)",
         "\"reading\":\"ok\",\"failingSince\":null"},
        // A step that lowers nothing (the user's own value is below it) is no warning.
        {Answered(88, 1, READING_OK, 75, false), 0, "OK: ", "\"mode\":1,\"maxProcessorState\":75"},
        {Answered(91, 2, READING_OK, 80, true), 1, "WARNING: Ambrel — 91 °C",
         "\"lowered\":true,\"onBattery\":true"},
        // Whether the cap takes effect: a warning either way, as the cap lowers a value; without
        // effect the first line says so, and the next one what was seen.
        {Checked(PIPE_EFFECT_NONE, 131), 1,
         "WARNING: Ambrel — 91 °C (hottest zone), maximum processor state 80 % (no effect seen: "
         "the processor runs at 131 %)\r\nThe cap has no effect seen: the processor runs at "
         "131 % while busy, above the 80 % in force.\r\n",
         "\"effect\":\"none\",\"processorPerformance\":131,"},
        {Checked(PIPE_EFFECT_WORKS, 79), 1,
         "WARNING: Ambrel — 91 °C (hottest zone), maximum processor state 80 % (all cores, AC "
         "and battery)\r\nThe cap takes effect: the processor runs at 79 % while busy.\r\n",
         "\"effect\":\"works\",\"processorPerformance\":79,"},
        {Checked(PIPE_EFFECT_UNAVAILABLE, 0), 1,
         "WARNING: Ambrel — 91 °C (hottest zone), maximum processor state 80 % (all cores, AC "
         "and battery)\r\nWhether the cap takes effect cannot be seen",
         "\"effect\":\"unavailable\",\"processorPerformance\":null,"},
        // An older controller that does not check: not known yet. Nothing lowered: no check.
        {Checked(PIPE_EFFECT_OFF, 0), 1, "WARNING: ", "\"effect\":\"unknown\","},
        {Checked(PIPE_EFFECT_NONE, 131, false), 0,
         "OK: Ambrel — 91 °C (hottest zone), maximum processor state 80 %\r\nController",
         "\"effect\":null,\"processorPerformance\":null,"},
        // A failing sensor is critical even while the cap lowers a value.
        {Answered(91, 2, READING_FAILED, 80, true), 2,
         "CRITICAL: Ambrel — 91 °C (hottest zone), reading failed since 09:05",
         "\"reading\":\"failed\",\"failingSince\":\"09:05\""},
        {Answered(TEMP_NO_READING, 0, READING_NO_ZONE, 0, false), 2,
         "CRITICAL: Ambrel — no reading: no thermal zones found",
         "\"temperature\":null,\"reading\":\"no-zone\""},
        {Failed(StatusOutcome::NoController, 2), 2,
         "CRITICAL: no Ambrel controls this machine (its status pipe is not there)\r\n",
         "\"error\":\"no-controller\",\"windowsError\":2}"},
        {Failed(StatusOutcome::Denied, 5), 3,
         "UNKNOWN: this account may not read Ambrel's status pipe; run it as an administrator",
         "\"error\":\"access-denied\",\"windowsError\":5}"},
        {Failed(StatusOutcome::Refused, 109), 3,
         "UNKNOWN: the controller ended the connection without an answer\r\n",
         "\"error\":\"refused\""},
        {Failed(StatusOutcome::Garbled), 3,
         "UNKNOWN: the answer on Ambrel's status pipe is garbled", "\"error\":\"garbled\"}"},
        {Failed(StatusOutcome::TimedOut), 3,
         "UNKNOWN: no answer on Ambrel's status pipe within 5 s\r\n", "\"error\":\"timeout\"}"},
        {Failed(StatusOutcome::Failed, 231), 3,
         "UNKNOWN: Ambrel's status pipe cannot be read (error 231)\r\n",
         "\"error\":\"pipe-error\",\"windowsError\":231}"},
        {Failed(StatusOutcome::BadArguments), 3,
         "UNKNOWN: --jsno is not a switch of --status; use Ambrel.exe --status [--json]\r\n",
         "\"error\":\"bad-arguments\"}"},
    };
    const char* words[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    for (const Row& row : rows) {
        EXPECT_EQ(row.code, StatusExitCode(row.answer)) << row.start;
        EXPECT_EQ(0u, Text(row.answer).rfind(row.start, 0)) << Text(row.answer);
        const std::string json = Json(row.answer);
        const std::string head = std::string("{\"version\":1,\"state\":\"") + words[row.code] +
                                 "\",\"exitCode\":" + std::to_string(row.code) + ",";
        EXPECT_EQ(0u, json.rfind(head, 0)) << json;
        EXPECT_NE(std::string::npos, json.find(row.keys)) << json;
        EXPECT_EQ("}\r\n", json.substr(json.size() - 3)) << json;
        EXPECT_EQ(json.size() - 1, json.find('\n')) << json;
    }
}

// The whole answer, as a person and as a script read it.
TEST(StatusReport, AnAnswerNamesTheControllerThePoliciesAndTheLastHalfHour)
{
    StatusAnswer answer = Answered(91, 2, READING_OK, 80, true);
    answer.status.setBy = PIPE_SET_THROTTLE_AT | PIPE_SET_NOTIFY;
    std::memcpy(answer.user, u"ann\"\\é", 7 * sizeof(char16_t));
    answer.session = 2;
    answer.recent = {true, 93, 12};
    EXPECT_EQ("WARNING: Ambrel — 91 °C (hottest zone), maximum processor state 80 % (all cores, AC "
              "and battery)\r\n"
              "Whether the cap takes effect is not known yet: the processor has not been busy "
              "enough.\r\n"
              "Controller: Ambrel in the notification area of ann\"\\é (session 2)\r\n"
              "Throttle at 85 °C; set by policy: Throttle at, Notify when throttling\r\n"
              "Last 30 minutes: peak 93 °C, throttled for 12 min\r\n",
              Text(answer));
    EXPECT_EQ("{\"version\":1,\"state\":\"WARNING\",\"exitCode\":1,\"temperature\":91,"
              "\"reading\":\"ok\",\"failingSince\":null,\"zone\":\"*\",\"mode\":2,"
              "\"maxProcessorState\":80,\"lowered\":true,\"onBattery\":true,\"effect\":\"unknown\","
              "\"processorPerformance\":null,\"pausedSeconds\":0,"
              "\"controller\":\"tray\",\"session\":2,\"user\":\"ann\\\"\\\\\\u00e9\","
              "\"throttleAt\":85,\"setByPolicy\":[\"ThrottleAt\",\"Notify\"],\"peak30min\":93,"
              "\"throttledMinutes30min\":12}\r\n",
              Json(answer));
    // Paused: nothing is lowered, and the first line says until when.
    StatusAnswer paused = answer;
    paused.status.lowered = false;
    paused.status.pausedSeconds = 1800;
    paused.pausedUntil = u"15:40";
    EXPECT_EQ(STATUS_OK, StatusExitCode(paused));
    EXPECT_NE(std::string::npos, Text(paused).find("paused until 15:40")) << Text(paused);
    EXPECT_NE(std::string::npos, Json(paused).find("\"pausedSeconds\":1800,")) << Json(paused);
    answer.service = true;
    answer.session = 0;
    answer.status.setBy = PIPE_SET_FOR_MACHINE;
    answer.recent = {false, 0, 0};
    const std::string text = Text(answer);
    EXPECT_NE(std::string::npos, text.find("\r\nController: the Ambrel service\r\n"
                                           "Throttle at 85 °C; set by policy: nothing\r\n"
                                           "Last 30 minutes: no reading\r\n"))
        << text;
    const std::string json = Json(answer);
    EXPECT_NE(std::string::npos,
              json.find("\"controller\":\"service\",\"session\":0,\"user\":null,\"throttleAt\":85,"
                        "\"setByPolicy\":[],\"peak30min\":null"))
        << json;
    // Every language has each line, with every number put in.
    answer.recent = {true, 93, 12};
    answer.status.effect = PIPE_EFFECT_NONE;
    answer.status.performance = 131;
    for (const char* language :
         {"LANG_GERMAN", "LANG_FRENCH", "LANG_SPANISH", "LANG_JAPANESE", "LANG_CHINESE"}) {
        const std::string other = Text(answer, ReadTable(language)->table);
        EXPECT_EQ(0u, other.rfind("WARNING: Ambrel — 91 °C", 0)) << other;
        EXPECT_EQ(5, std::count(other.begin(), other.end(), '\n')) << other;
        for (const char* number : {"131", "85 °C", "93 °C", "12"})
            EXPECT_NE(std::string::npos, other.find(number, other.find('\n'))) << other;
    }
}

// What a hostile server or a command line can put in goes out escaped, cut or refused whole.
TEST(StatusReport, UntrustedTextNeverBreaksTheOutput)
{
    StatusAnswer answer = Failed(StatusOutcome::BadArguments);
    answer.argument = "--st\x01\xc3\xa9tus";
    EXPECT_EQ(
        "UNKNOWN: --st???tus is not a switch of --status; use Ambrel.exe --status [--json]\r\n",
        Text(answer));
    answer = Answered(47, 0, READING_OK, 100, false);
    for (size_t i = 0; i + 1 < STATUS_USER_SIZE; ++i)
        answer.user[i] = static_cast<char16_t>(1 + i * 997);
    const std::string json = Json(answer);
    for (char c : json)
        EXPECT_TRUE((c >= 0x20 && c < 0x7f) || c == '\r' || c == '\n') << json;
    EXPECT_NE(std::string::npos, json.find("\"user\":\"\\u0001\\u03e6")) << json;
    char small[64] = "x";
    EXPECT_EQ(0u, ComposeStatusJson(small, sizeof small, answer));
    EXPECT_EQ('\0', small[0]);
    char16_t cut[24];
    ComposeStatusText(cut, 24, answer, English());
    EXPECT_EQ("OK: Ambrel — 47 °C (hot", Utf8(cut));
}

// The peak and the minutes throttled count only what falls within the last 30 minutes; a sample
// holds until the next one's age, the last one until the message.
TEST(StatusReport, TheLastHalfHourIsSummedFromTheSamples)
{
    struct Row {
        std::vector<PipeSample> samples;
        bool any;
        int32_t peak;
        uint32_t minutes;
    } rows[] = {
        {{}, false, 0, 0},
        // An old hot spell that ended 40 minutes ago is gone; the cool sample since holds.
        {{{50 * MIN, 99, 2, 0}, {40 * MIN, 60, 0, 0}}, true, 60, 0},
        // One that began 35 minutes ago and ended 20 minutes ago counts its last 10 minutes.
        {{{35 * MIN, 95, 2, 0}, {20 * MIN, 70, 0, 0}}, true, 95, 10},
        // A failed reading is no peak, but its step counts; the last sample holds until now.
        {{{10 * MIN, 120, 1, READING_FAILED}, {4 * MIN, 88, 1, 0}}, true, 88, 10},
        {{{45 * MIN, 90, 1, 0}}, true, 90, 30},
        // Paused at 80 %, the machine hot: only the minutes before the pause were throttled.
        {{{10 * MIN, 90, 2, 0}, {6 * MIN, 95, PIPE_PAUSED_MODE, 0}}, true, 95, 4},
        // Ages that do not fall (a hostile server's) hold for no time.
        {{{MIN, 80, 2, 0}, {20 * MIN, 81, 2, 0}, {10 * MIN, 40, 0, 0}}, true, 81, 10},
        {{{90 * 1000, 85, 1, 0}, {60 * 1000, 70, 0, 0}}, true, 85, 1},
        {{{80 * 1000, 85, 1, 0}, {60 * 1000, 70, 0, 0}}, true, 85, 0},
    };
    for (const Row& row : rows) {
        const RecentReadings recent = SummariseHistory(History(row.samples));
        EXPECT_EQ(row.any, recent.anyReading) << row.samples.size();
        EXPECT_EQ(row.peak, row.any ? recent.peak : 0) << row.samples.size();
        EXPECT_EQ(row.minutes, recent.throttledMinutes) << row.samples.size();
    }
}
