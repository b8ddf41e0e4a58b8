#include "ui/DaySummary.h"

#include "base/TextWriter.h"
#include "ui/TrayTooltip.h"
#include "watch/TempConversion.h"

namespace
{

const size_t PIECE_SIZE = 32;

} // namespace

void ComposePeak(char16_t* peak, size_t size, bool known, int32_t celsius, const TextTable& words)
{
    if (!known)
        TextWriter(peak, size).Add(u"--");
    else
        ComposeQuantity(peak, size, celsius, IDS_DEGREES, words);
}

void AddLoweringsPattern(TextWriter& writer, long long times, const char16_t* duration,
                         const char16_t* peak, const int (&patterns)[3], const TextTable& words)
{
    char16_t count[NUMBER_SIZE];
    words.Number(times, count);
    if (times == 0) {
        const char16_t* inserts[] = {peak};
        writer.AddPattern(words[patterns[0]], inserts, 1);
    } else if (times == 1) {
        const char16_t* inserts[] = {duration, peak};
        writer.AddPattern(words[patterns[1]], inserts, 2);
    } else {
        const char16_t* inserts[] = {count, duration, peak};
        writer.AddPattern(words[patterns[2]], inserts, 3);
    }
}

void ComposeDaySummary(char16_t* text, size_t size, const DayTotals& today, const TextTable& words)
{
    char16_t peak[PIECE_SIZE];
    ComposePeak(peak, PIECE_SIZE, today.peak != TEMP_NO_READING, today.peak, words);
    const long long minutes =
        today.loweredMs > 0 ? (today.loweredMs + MINUTE_MS - 1) / MINUTE_MS : 0;
    char16_t duration[NUMBER_SIZE];
    words.Number(minutes, duration);
    TextWriter writer(text, size);
    AddLoweringsPattern(writer, today.episodes, duration, peak,
                        {IDS_DAY_NONE, IDS_DAY_ONCE, IDS_DAY_TIMES}, words);
}
