#include "ui/TrayTooltip.h"

#include "ui/NoticeText.h"
#include "watch/TempConversion.h"
#include "watch/ThermalZone.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

std::string Utf8(const char16_t* text)
{
    std::string out;
    for (; *text != u'\0'; ++text) {
        if (*text < 0x80)
            out += static_cast<char>(*text);
        else if (*text < 0x800)
            out +=
                {static_cast<char>(0xC0 | (*text >> 6)), static_cast<char>(0x80 | (*text & 0x3F))};
        else
            out += {static_cast<char>(0xE0 | (*text >> 12)),
                    static_cast<char>(0x80 | ((*text >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (*text & 0x3F))};
    }
    return out;
}

TEST(TrayTooltip, SaysWhatTheIconCannot)
{
    struct Row {
        TooltipFacts facts;
        const char* text;
    } rows[] = {
        // Where the cap lowers nothing, nothing capped is named.
        {{47, 0, READING_OK, "", 0, 0, true, 100, false},
         "Ambrel — 47 °C (\\_TZ.TZ01), maximum processor state 100 %"},
        {{91, 2, READING_OK, "*", 0, 0, true, 80, true},
         "Ambrel — 91 °C (hottest zone), maximum processor state 80 % (all cores, AC and "
         "battery)"},
        {{91, 2, READING_OK, "*", 0, 0, false, 80, true},
         "Ambrel — 91 °C (hottest zone), maximum processor state 80 % (all cores, AC only)"},
        // The user's own 75 % is below the level: it is the value in force.
        {{91, 2, READING_OK, "*", 0, 0, false, 75, false},
         "Ambrel — 91 °C (hottest zone), maximum processor state 75 %"},
        // The longest text the program makes with a short zone name still fits whole.
        {{100, 2, READING_FAILED, "*", 9, 5, true, 80, true},
         "Ambrel — 100 °C (hottest zone), reading failed since 09:05; maximum processor state "
         "80 % (all cores, AC and battery)"},
        {{-273, 0, READING_NO_ZONE, "", 0, 0, true, 100, false},
         "Ambrel — no reading: thermal zone \\_TZ.TZ01 not found; choose one in the menu"},
        {{-273, 0, READING_NO_ZONE, "*", 0, 0, true, 100, false},
         "Ambrel — no reading: no thermal zones found"},
        // A value in force that could not be read: the mode's level.
        {{88, 1, READING_FAILED, "\\_TZ.THRM", 9, 5, false, 0, true},
         "Ambrel — 88 °C (\\_TZ.THRM), reading failed since 09:05; maximum processor state 99 % "
         "(all cores, AC only)"},
        {{-273, 0, READING_FAILED, "", 23, 59, true, 93, false},
         "Ambrel — no reading (\\_TZ.TZ01), the sensor has been failing since 23:59; maximum "
         "processor state 93 %"},
        // A view whose controller has gone: nothing of the last report stays.
        {{-273, 0, READING_NO_CONTROLLER, "*", 9, 5, true, 0, false},
         "Ambrel — Ambrel service not running"},
    };
    for (const Row& row : rows) {
        char16_t text[TOOLTIP_SIZE];
        ComposeTooltip(text, TOOLTIP_SIZE, row.facts);
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
        {{47, 0, READING_OK, "", 0, 0, false, 100, false},
         "47 °C   \\_TZ.TZ01   maximum processor state 100 %"},
        {{-3, 2, READING_OK, "*", 0, 0, false, 0, false},
         "-3 °C   hottest zone   maximum processor state 80 %"},
        {{88, 1, READING_FAILED, "\\_TZ.THRM", 9, 5, false, 75, false},
         "--   \\_TZ.THRM   maximum processor state 75 %"},
        {{-273, 0, READING_NO_ZONE, "", 0, 0, false, 93, false},
         "--   \\_TZ.TZ01   maximum processor state 93 %"},
        {{-273, 0, READING_NO_CONTROLLER, "", 0, 0, false, 0, false},
         "--   Ambrel service not running"},
    };
    for (const Row& row : rows) {
        char16_t text[TOOLTIP_SIZE];
        ComposeHistoryText(text, TOOLTIP_SIZE, row.facts);
        EXPECT_EQ(row.text, Utf8(text));
    }
}

TEST(TrayTooltip, ALongZoneNameIsCutToTheBuffer)
{
    std::string zone(ZONE_NAME_SIZE - 1, 'Z');
    TooltipFacts facts = {-273, 0, READING_NO_ZONE, zone.c_str(), 0, 0, true, 100, false};
    char16_t text[40];
    text[39] = u'x';
    ComposeTooltip(text, 40, facts);
    EXPECT_EQ(u'\0', text[39]);
    EXPECT_EQ(39u, Utf8(text).size() - 2); // the dash takes three bytes in UTF-8
}

TEST(NoticeText, NamesTheStateAndTheTemperatureCutToTheBuffer)
{
    char16_t text[NOTICE_SIZE];
    ComposeThrottleNotice(text, NOTICE_SIZE, 86, 1);
    EXPECT_EQ("Ambrel lowered the maximum processor state to 99 % at 86 °C", Utf8(text));
    char16_t cut[12];
    ComposeThrottleNotice(cut, 12, 101, 2);
    EXPECT_EQ("Ambrel lowe", Utf8(cut));
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

} // namespace
