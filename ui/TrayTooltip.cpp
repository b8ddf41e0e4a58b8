#include "ui/TrayTooltip.h"

#include "power/Ambrel.h"
#include "watch/TempConversion.h"
#include "watch/ThermalZone.h"

#include <cstdio>

namespace
{

// Appends to a fixed buffer and cuts what does not fit; the text always stays terminated.
class TextWriter
{
  public:
    TextWriter(char16_t* text, size_t size) : out(text), room(size), used(0) { out[0] = u'\0'; }

    TextWriter& Add(const char16_t* text)
    {
        while (*text != u'\0' && used + 1 < room)
            out[used++] = *text++;
        out[used] = u'\0';
        return *this;
    }

    // Zone names are ASCII (ACPI names); other bytes are shown as '?' rather than misread.
    TextWriter& AddAscii(const char* text)
    {
        while (*text != '\0' && used + 1 < room) {
            unsigned char c = static_cast<unsigned char>(*text++);
            out[used++] = c < 0x80 ? static_cast<char16_t>(c) : u'?';
        }
        out[used] = u'\0';
        return *this;
    }

    TextWriter& AddNumber(long long number, const char* format = "%lld")
    {
        char digits[24];
        std::snprintf(digits, sizeof digits, format, number);
        return AddAscii(digits);
    }

  private:
    char16_t* out;
    size_t room;
    size_t used;
};

const char* ZoneName(const char* zone)
{
    return zone[0] != '\0' ? zone : DEFAULT_ZONE;
}

void AddZone(TextWriter& text, const char* zone)
{
    if (IsHottestZone(zone))
        text.Add(u"hottest zone");
    else
        text.AddAscii(ZoneName(zone));
}

void AddTime(TextWriter& text, const TooltipFacts& facts)
{
    text.AddNumber(facts.failedHour, "%02lld").Add(u":").AddNumber(facts.failedMinute, "%02lld");
}

void AddThrottle(TextWriter& text, int32_t mode)
{
    text.Add(u"maximum processor state ").AddNumber(ThrottlePercentOfMode(mode)).Add(u" %");
}

void AddMissingZone(TextWriter& text, const char* zone)
{
    if (IsHottestZone(zone)) {
        text.Add(u"no reading: no thermal zones found");
        return;
    }
    text.Add(u"no reading: thermal zone ").AddAscii(ZoneName(zone));
    text.Add(u" not found; choose one in the menu");
}

} // namespace

void ComposeTooltip(char16_t* text, size_t size, const TooltipFacts& facts)
{
    if (size == 0)
        return;
    TextWriter writer(text, size);
    writer.Add(u"Ambrel \u2014 ");
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
        writer.Add(shown ? u", reading failed since " : u", the sensor fails since ");
        AddTime(writer, facts);
        writer.Add(u"; ");
    } else {
        writer.Add(u", ");
    }
    AddThrottle(writer, facts.mode);
}
