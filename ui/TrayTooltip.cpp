#include "ui/TrayTooltip.h"

#include "base/TextWriter.h"
#include "power/Ambrel.h"
#include "watch/TempConversion.h"
#include "watch/ThermalZone.h"

namespace
{

// Room for one piece of the text, composed before it goes into a pattern.
const size_t PIECE_SIZE = TOOLTIP_SIZE;

void Insert(char16_t* text, const char16_t* pattern, const char16_t* first,
            const char16_t* second = nullptr, const char16_t* third = nullptr)
{
    const char16_t* inserts[] = {first, second, third};
    TextWriter(text, PIECE_SIZE).AddPattern(pattern, inserts, 3);
}

void ZoneText(char16_t* text, const char* zone, const TextTable& words)
{
    TextWriter writer(text, PIECE_SIZE);
    if (IsHottestZone(zone))
        writer.Add(words[IDS_HOTTEST_ZONE]);
    else
        writer.AddAscii(ZoneOrDefault(zone));
}

// The value in force, which is the user's own wherever that is below the mode's level.
// While paused the user's own values are in force: those of mode 0.
void MaximumStateText(char16_t* text, const TooltipFacts& facts, const TextTable& words)
{
    const int mode = facts.mode == AMBREL_PAUSED_MODE ? 0 : facts.mode;
    const int64_t percent = facts.inForce > 0 ? facts.inForce : ThrottlePercentOfMode(mode);
    char16_t value[PIECE_SIZE];
    ComposeQuantity(value, PIECE_SIZE, percent, IDS_PERCENT, words);
    Insert(text, words[IDS_MAXIMUM_STATE], value);
}

// A cap seen without effect says so, with the performance the processor runs at; true when it
// did. That matters more than what the cap covers, which it stands in for.
bool NoEffectText(char16_t* text, const TooltipFacts& facts, const TextTable& words)
{
    if (!facts.lowered || facts.effect != CAP_EFFECT_NONE)
        return false;
    char16_t state[PIECE_SIZE], performance[PIECE_SIZE];
    TextWriter(state, PIECE_SIZE).Add(text);
    ComposeQuantity(performance, PIECE_SIZE, facts.performance, IDS_PERCENT, words);
    Insert(text, words[IDS_TIP_NO_EFFECT], state, performance);
    return true;
}

// While the cap lowers something, also what it caps: both classes of a hybrid processor, and
// the values used on battery when they are included.
void ThrottleText(char16_t* text, const TooltipFacts& facts, const TextTable& words)
{
    MaximumStateText(text, facts, words);
    if (!facts.lowered || NoEffectText(text, facts, words))
        return;
    char16_t state[PIECE_SIZE];
    TextWriter(state, PIECE_SIZE).Add(text);
    Insert(text, words[facts.onBattery ? IDS_CAPPED_AC_AND_BATTERY : IDS_CAPPED_AC_ONLY], state);
}

void MissingZoneText(char16_t* text, const char* zone, const TextTable& words)
{
    if (IsHottestZone(zone)) {
        TextWriter(text, PIECE_SIZE).Add(words[IDS_TIP_NO_ZONES]);
        return;
    }
    char16_t name[PIECE_SIZE];
    ZoneText(name, zone, words);
    Insert(text, words[IDS_TIP_ZONE_MISSING], name);
}

// The reading with its zone: "47 °C (\_TZ.TZ01)", or that there is none.
void ReadingText(char16_t* text, const TooltipFacts& facts, const TextTable& words)
{
    char16_t zone[PIECE_SIZE];
    ZoneText(zone, facts.zone, words);
    if (facts.temperature == TEMP_NO_READING) {
        Insert(text, words[IDS_TIP_NO_READING], zone);
        return;
    }
    char16_t degrees[PIECE_SIZE];
    ComposeQuantity(degrees, PIECE_SIZE, facts.temperature, IDS_DEGREES, words);
    Insert(text, words[IDS_TIP_READING], degrees, zone);
}

// A view without its controller says so, and nothing of the last report: true when it did.
bool NoController(const TooltipFacts& facts, const TextTable& words, TextWriter& writer)
{
    if (facts.status == READING_NO_CONTROLLER)
        writer.Add(words[IDS_TIP_NO_CONTROLLER]);
    else if (facts.status == READING_CONTROLLER_ENDED)
        writer.Add(words[IDS_TIP_CONTROLLER_ENDED]);
    else if (facts.status == READING_NOT_AMBRELS)
        writer.Add(words[IDS_TIP_NOT_AMBRELS]);
    else
        return false;
    return true;
}

} // namespace

void ComposeQuantity(char16_t* text, size_t size, long long number, int pattern,
                     const TextTable& words)
{
    if (size == 0)
        return;
    char16_t digits[NUMBER_SIZE];
    words.Number(number, digits);
    const char16_t* inserts[] = {digits};
    TextWriter(text, size).AddPattern(words[pattern], inserts, 1);
}

void ComposeTooltip(char16_t* text, size_t size, const TooltipFacts& facts, const TextTable& words)
{
    if (size == 0)
        return;
    TextWriter writer(text, size);
    writer.Add(u"Ambrel \u2014 ");
    if (NoController(facts, words, writer))
        return;
    char16_t body[PIECE_SIZE];
    if (facts.status == READING_NO_ZONE) {
        MissingZoneText(body, facts.zone, words);
        writer.Add(body);
        return;
    }
    char16_t reading[PIECE_SIZE], throttle[PIECE_SIZE];
    ReadingText(reading, facts, words);
    ThrottleText(throttle, facts, words);
    // The pause is what the user chose, and says why nothing is capped; a failing sensor
    // changes nothing while paused.
    if (facts.pausedUntil != nullptr) {
        Insert(body, words[IDS_TIP_PAUSED], reading, facts.pausedUntil, throttle);
    } else if (facts.status == READING_FAILED) {
        const int pattern = facts.temperature != TEMP_NO_READING ? IDS_TIP_FAILED : IDS_TIP_FAILING;
        Insert(body, words[pattern], reading, facts.failedAt, throttle);
    } else {
        Insert(body, words[IDS_TIP_OK], reading, throttle);
    }
    writer.Add(body);
}

void ComposeHistoryText(char16_t* text, size_t size, const TooltipFacts& facts,
                        const TextTable& words)
{
    if (size == 0)
        return;
    TextWriter writer(text, size);
    char16_t piece[PIECE_SIZE];
    if (facts.status == READING_OK && facts.temperature != TEMP_NO_READING) {
        ComposeQuantity(piece, PIECE_SIZE, facts.temperature, IDS_DEGREES, words);
        writer.Add(piece);
    } else {
        writer.Add(u"--");
    }
    writer.Add(u"   ");
    if (NoController(facts, words, writer))
        return;
    ZoneText(piece, facts.zone, words);
    writer.Add(piece).Add(u"   ");
    MaximumStateText(piece, facts, words);
    NoEffectText(piece, facts, words);
    writer.Add(piece);
}

void ComposeAxisLabel(char16_t* text, size_t size, int32_t minutes, int32_t spanMinutes,
                      int32_t tickMinutes, const TextTable& words)
{
    if (minutes == 0) {
        TextWriter(text, size).Add(words[IDS_AXIS_NOW]);
        return;
    }
    // Over days, whole days ago; over hours, hours.
    const bool days = spanMinutes >= 2 * 24 * 60;
    const bool hours = !days && spanMinutes >= 120;
    const int32_t shown = days ? minutes / (24 * 60) : hours ? minutes / 60 : minutes;
    if (minutes == spanMinutes || (tickMinutes > 0 && spanMinutes / tickMinutes == 2)) {
        ComposeQuantity(text, size, shown,
                        days    ? IDS_AXIS_START_DAYS
                        : hours ? IDS_AXIS_START_HOURS
                                : IDS_AXIS_START,
                        words);
        return;
    }
    char16_t number[NUMBER_SIZE];
    words.Number(shown, number);
    TextWriter(text, size).Add(u"\u2212").Add(number);
}
