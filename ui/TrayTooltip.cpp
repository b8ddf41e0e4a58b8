#include "ui/TrayTooltip.h"

#include "power/Ambrel.h"
#include "base/TextWriter.h"
#include "watch/TempConversion.h"
#include "watch/ThermalZone.h"

namespace
{

void AddZone(TextWriter& text, const char* zone)
{
    if (IsHottestZone(zone))
        text.Add(u"hottest zone");
    else
        text.AddAscii(ZoneOrDefault(zone));
}

void AddTime(TextWriter& text, const TooltipFacts& facts)
{
    text.AddNumber(facts.failedHour, "%02lld").Add(u":").AddNumber(facts.failedMinute, "%02lld");
}

// The value in force, which is the user's own wherever that is below the mode's level.
void AddMaximumState(TextWriter& text, const TooltipFacts& facts)
{
    const int64_t percent = facts.inForce > 0 ? facts.inForce : ThrottlePercentOfMode(facts.mode);
    text.Add(u"maximum processor state ").AddNumber(percent).Add(u" %");
}

// While the cap lowers something, also what it caps: both classes of a hybrid processor, and
// the values used on battery when they are included.
void AddThrottle(TextWriter& text, const TooltipFacts& facts)
{
    AddMaximumState(text, facts);
    if (facts.lowered)
        text.Add(facts.onBattery ? u" (all cores, AC and battery)" : u" (all cores, AC only)");
}

void AddMissingZone(TextWriter& text, const char* zone)
{
    if (IsHottestZone(zone)) {
        text.Add(u"no reading: no thermal zones found");
        return;
    }
    text.Add(u"no reading: thermal zone ").AddAscii(ZoneOrDefault(zone));
    text.Add(u" not found; choose one in the menu");
}

} // namespace

void ComposeTooltip(char16_t* text, size_t size, const TooltipFacts& facts)
{
    if (size == 0)
        return;
    TextWriter writer(text, size);
    writer.Add(u"Ambrel \u2014 ");
    if (facts.status == READING_NO_CONTROLLER) {
        writer.Add(u"Ambrel service not running");
        return;
    }
    if (facts.status == READING_NO_ZONE) {
        AddMissingZone(writer, facts.zone);
        return;
    }
    const bool shown = facts.temperature != TEMP_NO_READING;
    if (shown) {
        writer.AddNumber(facts.temperature).Add(u" \u00B0C (");
        AddZone(writer, facts.zone);
        writer.Add(u")");
    } else {
        writer.Add(u"no reading (");
        AddZone(writer, facts.zone);
        writer.Add(u")");
    }
    if (facts.status == READING_FAILED) {
        writer.Add(shown ? u", reading failed since " : u", the sensor has been failing since ");
        AddTime(writer, facts);
        writer.Add(u"; ");
    } else {
        writer.Add(u", ");
    }
    AddThrottle(writer, facts);
}

void ComposeHistoryText(char16_t* text, size_t size, const TooltipFacts& facts)
{
    if (size == 0)
        return;
    TextWriter writer(text, size);
    if (facts.status == READING_OK && facts.temperature != TEMP_NO_READING)
        writer.AddNumber(facts.temperature).Add(u" \u00B0C");
    else
        writer.Add(u"--");
    writer.Add(u"   ");
    if (facts.status == READING_NO_CONTROLLER) {
        writer.Add(u"Ambrel service not running");
        return;
    }
    AddZone(writer, facts.zone);
    writer.Add(u"   ");
    AddMaximumState(writer, facts);
}
