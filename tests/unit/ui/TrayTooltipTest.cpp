#include "ui/TrayTooltip.h"

#include "ui/DaySummary.h"
#include "ui/HistoryRanges.h"
#include "ui/NoticeText.h"
#include "watch/CapEffect.h"
#include "watch/TempConversion.h"
#include "watch/ThermalZone.h"

#include "base/TextWriter.h"
#include "SourceTexts.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <string>

TEST(TrayTooltip, SaysWhatTheIconCannot)
{
    struct Row {
        TooltipFacts facts;
        const char* text;
    } rows[] = {
        // Where the cap lowers nothing, nothing capped is named.
        {{47, 0, READING_OK, "", nullptr, true, 100, false, nullptr},
         "Ambrel — 47 °C (\\_TZ.TZ01), maximum processor state 100 %"},
        {{91, 2, READING_OK, "*", nullptr, true, 80, true, nullptr},
         "Ambrel — 91 °C (hottest zone), maximum processor state 80 % (all cores, AC and "
         "battery)"},
        {{91, 2, READING_OK, "*", nullptr, false, 80, true, nullptr},
         "Ambrel — 91 °C (hottest zone), maximum processor state 80 % (all cores, AC only)"},
        // The user's own 75 % is below the level: it is the value in force.
        {{91, 2, READING_OK, "*", nullptr, false, 75, false, nullptr},
         "Ambrel — 91 °C (hottest zone), maximum processor state 75 %"},
        // The longest text the program makes with a short zone name still fits whole.
        {{100, 2, READING_FAILED, "*", u"09:05", true, 80, true, nullptr},
         "Ambrel — 100 °C (hottest zone), reading failed since 09:05; maximum processor state "
         "80 % (all cores, AC and battery)"},
        {{-273, 0, READING_NO_ZONE, "", nullptr, true, 100, false, nullptr},
         "Ambrel — no reading: thermal zone \\_TZ.TZ01 not found; choose one in the menu"},
        {{-273, 0, READING_NO_ZONE, "*", nullptr, true, 100, false, nullptr},
         "Ambrel — no reading: no thermal zones found"},
        // A value in force that could not be read: the mode's level.
        {{88, 1, READING_FAILED, "\\_TZ.THRM", u"09:05", false, 0, true, nullptr},
         "Ambrel — 88 °C (\\_TZ.THRM), reading failed since 09:05; maximum processor state 99 % "
         "(all cores, AC only)"},
        {{-273, 0, READING_FAILED, "", u"23:59", true, 93, false, nullptr},
         "Ambrel — no reading (\\_TZ.TZ01), the sensor has been failing since 23:59; maximum "
         "processor state 93 %"},
        // A view whose controller has gone: nothing of the last report stays.
        {{-273, 0, READING_NO_CONTROLLER, "*", u"09:05", true, 0, false, nullptr},
         "Ambrel — Ambrel service not running"},
        {{91, 2, READING_CONTROLLER_ENDED, "*", nullptr, true, 80, true, nullptr},
         "Ambrel — Ambrel has ended in the other session"},
        // Paused: until when, and the user's own values (mode 0's level while unknown), whether
        // the reading fails or not; a view without its controller says only that.
        {{91, 3, READING_OK, "", nullptr, true, 0, false, u"15:40"},
         "Ambrel — 91 °C (\\_TZ.TZ01), paused until 15:40; maximum processor state 100 %"},
        {{-273, 3, READING_FAILED, "*", u"15:01", true, 93, false, u"3:40 PM"},
         "Ambrel — no reading (hottest zone), paused until 3:40 PM; maximum processor state 93 %"},
        {{-273, 3, READING_NO_CONTROLLER, "*", nullptr, true, 0, false, u"15:40"},
         "Ambrel — Ambrel service not running"},
        // A cap seen without effect says so in place of what it covers; one that works, or a
        // verdict left from a cap that lowers nothing now, adds nothing.
        {{91, 2, READING_OK, "", nullptr, true, 80, true, nullptr, CAP_EFFECT_NONE, 131},
         "Ambrel — 91 °C (\\_TZ.TZ01), maximum processor state 80 % (no effect seen: the "
         "processor runs at 131 %)"},
        {{91, 1, READING_OK, "", nullptr, true, 99, true, nullptr, CAP_EFFECT_WORKS, 100},
         "Ambrel — 91 °C (\\_TZ.TZ01), maximum processor state 99 % (all cores, AC and "
         "battery)"},
        {{91, 2, READING_OK, "", nullptr, true, 80, true, nullptr, CAP_EFFECT_UNKNOWN, 0},
         "Ambrel — 91 °C (\\_TZ.TZ01), maximum processor state 80 % (all cores, AC and "
         "battery)"},
        {{79, 0, READING_OK, "", nullptr, true, 100, false, nullptr, CAP_EFFECT_NONE, 131},
         "Ambrel — 79 °C (\\_TZ.TZ01), maximum processor state 100 %"},
    };
    for (const Row& row : rows) {
        char16_t text[TOOLTIP_SIZE];
        ComposeTooltip(text, TOOLTIP_SIZE, row.facts, English());
        EXPECT_EQ(row.text, Utf8(text));
    }
}

// The history window's line of text says the same in short, with "--" for no reading.
TEST(TrayTooltip, HistoryLineSaysTheSameInShort)
{
    struct Row {
        TooltipFacts facts;
        const char* text;
    } rows[] = {
        {{47, 0, READING_OK, "", nullptr, false, 100, false, nullptr},
         "47 °C   \\_TZ.TZ01   maximum processor state 100 %"},
        {{-3, 2, READING_OK, "*", nullptr, false, 0, false, nullptr},
         "-3 °C   hottest zone   maximum processor state 80 %"},
        {{88, 1, READING_FAILED, "\\_TZ.THRM", u"09:05", false, 75, false, nullptr},
         "--   \\_TZ.THRM   maximum processor state 75 %"},
        {{-273, 0, READING_NO_ZONE, "", nullptr, false, 93, false, nullptr},
         "--   \\_TZ.TZ01   maximum processor state 93 %"},
        {{-273, 0, READING_NO_CONTROLLER, "", nullptr, false, 0, false, nullptr},
         "--   Ambrel service not running"},
        {{-273, 0, READING_CONTROLLER_ENDED, "", nullptr, false, 0, false, nullptr},
         "--   Ambrel has ended in the other session"},
        {{91, 2, READING_OK, "*", nullptr, false, 80, true, nullptr, CAP_EFFECT_NONE, 131},
         "91 °C   hottest zone   maximum processor state 80 % (no effect seen: the processor "
         "runs at 131 %)"},
        {{91, 2, READING_OK, "*", nullptr, false, 80, true, nullptr, CAP_EFFECT_WORKS, 80},
         "91 °C   hottest zone   maximum processor state 80 %"},
    };
    for (const Row& row : rows) {
        char16_t text[TOOLTIP_SIZE];
        ComposeHistoryText(text, TOOLTIP_SIZE, row.facts, English());
        EXPECT_EQ(row.text, Utf8(text));
    }
}

// The labels along the history's bottom: the unit at the start, numbers alone in between, and a
// single number between the start and "now" with its unit; over the day in hours.
TEST(TrayTooltip, AxisLabelsNameTheirUnitWhereTheyStandAlone)
{
    struct Row {
        int32_t minutes, span, tick;
        const char* language;
        const char* text;
    } rows[] = {
        {2, 2, 1, "LANG_ENGLISH", "−2 min"},        {1, 2, 1, "LANG_ENGLISH", "−1 min"},
        {0, 2, 1, "LANG_ENGLISH", "now"},           {1, 2, 1, "LANG_GERMAN", "−1 Min."},
        {1, 2, 1, "LANG_JAPANESE", "−1 分"},        {1, 5, 1, "LANG_ENGLISH", "−1"},
        {30, 30, 5, "LANG_ENGLISH", "−30 min"},     {25, 30, 5, "LANG_ENGLISH", "−25"},
        {1440, 1440, 360, "LANG_ENGLISH", "−24 h"}, {1080, 1440, 360, "LANG_ENGLISH", "−18"},
    };
    for (const Row& row : rows) {
        char16_t text[24];
        ComposeAxisLabel(text, 24, row.minutes, row.span, row.tick, ReadTable(row.language)->table);
        EXPECT_EQ(row.text, Utf8(text)) << row.language << " " << row.minutes;
    }
}

// A number format with a thousands separator, as a German Windows writes numbers.
bool Grouped(long long number, char16_t* text)
{
    std::string digits = std::to_string(number);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<size_t>(at), ".");
    TextWriter(text, NUMBER_SIZE).AddAscii(digits.c_str());
    return true;
}

// The day's summary: how often and how long since midnight, and the peak, in the user's words
// and number format; part of a minute counts as a minute.
TEST(DaySummary, SaysHowOftenHowLongAndHowHot)
{
    std::unique_ptr<SourceTable> german = ReadTable("LANG_GERMAN");
    german->table.formatNumber = Grouped;
    struct Row {
        DayTotals today;
        const TextTable& words;
        const char* text;
    } rows[] = {
        {{1, 3, 13 * MINUTE_MS + 1, 94},
         English(),
         "Today: lowered 3 times, 14 min in all, peak 94 °C"},
        {{1, 1, 1000, 86}, English(), "Today: lowered once, 1 min in all, peak 86 °C"},
        {{1, 0, 0, 47}, English(), "Today: not lowered, peak 47 °C"},
        {{1, 0, 0, TEMP_NO_READING}, English(), "Today: not lowered, peak --"},
        {{1, 1200, 1440 * MINUTE_MS, 101},
         german->table,
         "Heute: 1.200-mal gesenkt, insgesamt 1.440 Min., Spitze 101 °C"},
    };
    for (const Row& row : rows) {
        char16_t text[TOOLTIP_SIZE];
        ComposeDaySummary(text, TOOLTIP_SIZE, row.today, row.words);
        EXPECT_EQ(row.text, Utf8(text));
    }
}

// The last 30 days: on how many days and how long in all, the peak, and how the daily peaks
// moved against the 30 days before, in the user's words and number format.
TEST(DaySummary, TheLast30DaysSayHowOftenHowLongAndWhetherThePeaksRose)
{
    std::unique_ptr<SourceTable> german = ReadTable("LANG_GERMAN");
    german->table.formatNumber = Grouped;
    struct Row {
        DaysSummary days;
        const TextTable& words;
        const char* text;
    } rows[] = {
        {{30, 12, 320, 96, true, 4},
         English(),
         "Last 30 days: lowered on 12 days, 5 h 20 min in all, peak 96 °C; the peaks rose 4 °C "
         "since the 30 days before"},
        {{3, 1, 45, 88, true, -2},
         English(),
         "Last 30 days: lowered on 1 day, 45 min in all, peak 88 °C; the peaks fell 2 °C since "
         "the 30 days before"},
        {{3, 0, 0, 70, true, 0},
         English(),
         "Last 30 days: not lowered, peak 70 °C; the peaks as high as in the 30 days before"},
        {{0, 0, 0, DAY_NO_PEAK, false, 0}, English(), "Last 30 days: not lowered, peak --"},
        {{30, 30, 43200, 101, false, 0},
         german->table,
         "Letzte 30 Tage: an 30 Tagen gesenkt, insgesamt 720 Std. 0 Min., Spitze 101 °C"},
    };
    for (const Row& row : rows) {
        char16_t text[TOOLTIP_SIZE];
        ComposeDaysSummary(text, TOOLTIP_SIZE, row.days, row.words);
        EXPECT_EQ(row.text, Utf8(text));
    }
}

TEST(TrayTooltip, ALongZoneNameIsCutToTheBuffer)
{
    std::string zone(ZONE_NAME_SIZE - 1, 'Z');
    TooltipFacts facts = {-273, 0,   READING_NO_ZONE, zone.c_str(), nullptr,
                          true, 100, false,           nullptr};
    char16_t text[40];
    text[39] = u'x';
    ComposeTooltip(text, 40, facts, English());
    EXPECT_EQ(u'\0', text[39]);
    EXPECT_EQ(39u, Utf8(text).size() - 2); // the dash takes three bytes in UTF-8
}

TEST(NoticeText, NamesTheStateAndTheTemperatureCutToTheBuffer)
{
    char16_t text[NOTICE_SIZE];
    ComposeThrottleNotice(text, NOTICE_SIZE, 86, 1, English());
    EXPECT_EQ("Ambrel lowered the maximum processor state to 99 % at 86 °C", Utf8(text));
    char16_t cut[12];
    ComposeThrottleNotice(cut, 12, 101, 2, English());
    EXPECT_EQ("Ambrel lowe", Utf8(cut));
}

// The words of another language go where its own sentences put them, and the longest tooltip of a
// reading (one that failed, the cap lowering both values) fits the shell's buffer in every one.
TEST(TrayTooltip, OtherLanguagesPlaceTheirOwnWordsAndFitTheBuffer)
{
    TooltipFacts failing = {100, 2, READING_FAILED, "*", u"12:59", true, 0, true, nullptr};
    char16_t text[TOOLTIP_SIZE];
    for (const char* language : {"LANG_ENGLISH", "LANG_GERMAN", "LANG_FRENCH", "LANG_SPANISH",
                                 "LANG_JAPANESE", "LANG_CHINESE"}) {
        ComposeTooltip(text, TOOLTIP_SIZE, failing, ReadTable(language)->table);
        const std::string tip = Utf8(text);
        EXPECT_EQ(')', tip.back()) << tip;
    }
    // A cap without effect, on a good reading of the hottest zone, fits whole in every one.
    TooltipFacts noEffect = {100,  2,       READING_OK,      "*", nullptr, true, 80,
                             true, nullptr, CAP_EFFECT_NONE, 131};
    for (const char* language : {"LANG_ENGLISH", "LANG_GERMAN", "LANG_FRENCH", "LANG_SPANISH",
                                 "LANG_JAPANESE", "LANG_CHINESE"}) {
        ComposeTooltip(text, TOOLTIP_SIZE, noEffect, ReadTable(language)->table);
        const std::string tip = Utf8(text);
        EXPECT_EQ(')', tip.back()) << tip;
        EXPECT_NE(std::string::npos, tip.find("131")) << tip;
        char16_t notice[NOTICE_SIZE];
        ComposeNoEffectNotice(notice, NOTICE_SIZE, 131, 80, ReadTable(language)->table);
        const std::string said = Utf8(notice);
        EXPECT_NE(std::string::npos, said.find("131")) << said;
        EXPECT_NE(std::string::npos, said.find("80")) << said;
    }
    std::unique_ptr<SourceTable> german = ReadTable("LANG_GERMAN");
    failing.onBattery = false;
    ComposeTooltip(text, TOOLTIP_SIZE, failing, german->table);
    EXPECT_EQ("Ambrel — 100 °C (heißeste Zone), Messfehler seit 12:59; max. Leistungszustand des "
              "Prozessors 80 % (alle Kerne, nur Netz)",
              Utf8(text));
    const TooltipFacts paused = {47, 3, READING_OK, "*", nullptr, true, 100, false, u"15:40"};
    ComposeTooltip(text, TOOLTIP_SIZE, paused, german->table);
    EXPECT_EQ("Ambrel — 47 °C (heißeste Zone), pausiert bis 15:40; max. Leistungszustand des "
              "Prozessors 100 %",
              Utf8(text));
    std::unique_ptr<SourceTable> japanese = ReadTable("LANG_JAPANESE");
    char16_t notice[NOTICE_SIZE];
    ComposeThrottleNotice(notice, NOTICE_SIZE, 86, 2, japanese->table);
    EXPECT_EQ("Ambrel は 86 °C で最大のプロセッサの状態を 80% に下げました", Utf8(notice));
    ComposeHistoryText(text, TOOLTIP_SIZE, failing, japanese->table);
    EXPECT_EQ("--   最も高温のゾーン   最大のプロセッサの状態 80%", Utf8(text));
}

TEST(TextWriter, PatternsTakeTheirInsertsInAnyOrder)
{
    const char16_t* inserts[] = {u"99 %", u"86 °C", nullptr};
    struct Row {
        const char16_t* pattern;
        int count;
        size_t size;
        const char* text;
    } rows[] = {
        {u"to %1 at %2", 2, 64, "to 99 % at 86 °C"},
        {u"bei %2 auf %1", 2, 64, "bei 86 °C auf 99 %"},
        {u"%1%% %3%4|%9|%0|%", 3, 64, "99 %% ||%0|%"},
        {u"%2 only", 1, 64, " only"},
        {u"to %1 at %2", 2, 8, "to 99 %"},
    };
    for (const Row& row : rows) {
        char16_t text[64];
        TextWriter(text, row.size).AddPattern(row.pattern, inserts, row.count);
        EXPECT_EQ(row.text, Utf8(text)) << Utf8(row.pattern);
    }
}

TEST(ThermalZone, HottestIgnoresFrozenAndMissingZones)
{
    struct Row {
        std::vector<ZoneReading> readings;
        int hottest;
    } rows[] = {
        {{{52, true}, {61, true}, {48, true}}, 1},
        // 0 K and 400 K zones, a zone without a value
        {{{-273, true}, {127, true}, {90, false}, {55, true}}, 3},
        {{{0, true}, {126, true}}, -1},
        {{{1, true}, {125, true}}, 1},
        {{}, -1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.hottest,
                  HottestZone(row.readings.data(), static_cast<int>(row.readings.size())));
}

TEST(ThermalZone, PathsAreEnglishAndNeverOverrun)
{
    char path[ZONE_PATH_SIZE];
    ASSERT_TRUE(ComposeZonePath(path, sizeof path, HOTTEST_ZONE, PLAIN_COUNTER));
    EXPECT_STREQ("\\Thermal Zone Information(*)\\Temperature", path);
    char small[20] = "untouched";
    EXPECT_FALSE(ComposeZonePath(small, sizeof small, DEFAULT_ZONE, HIGH_PRECISION_COUNTER));
    EXPECT_STREQ("", small);
}
