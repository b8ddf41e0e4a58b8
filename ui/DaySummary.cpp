#include "ui/DaySummary.h"

#include "base/TextWriter.h"
#include "ui/TrayTooltip.h"
#include "watch/TempConversion.h"

namespace
{

const size_t PIECE_SIZE = 32;

} // namespace

void ComposeDaySummary(char16_t* text, size_t size, const DayTotals& today, const TextTable& words)
{
    char16_t peak[PIECE_SIZE];
    if (today.peak == TEMP_NO_READING)
        TextWriter(peak, PIECE_SIZE).Add(u"--");
    else
        ComposeQuantity(peak, PIECE_SIZE, today.peak, IDS_DEGREES, words);
    const long long minutes =
        today.loweredMs > 0 ? (today.loweredMs + MINUTE_MS - 1) / MINUTE_MS : 0;
    char16_t count[NUMBER_SIZE];
    char16_t duration[NUMBER_SIZE];
    words.Number(today.episodes, count);
    words.Number(minutes, duration);
    TextWriter writer(text, size);
    if (today.episodes == 0) {
        const char16_t* inserts[] = {peak};
        writer.AddPattern(words[IDS_DAY_NONE], inserts, 1);
    } else if (today.episodes == 1) {
        const char16_t* inserts[] = {duration, peak};
        writer.AddPattern(words[IDS_DAY_ONCE], inserts, 2);
    } else {
        const char16_t* inserts[] = {count, duration, peak};
        writer.AddPattern(words[IDS_DAY_TIMES], inserts, 3);
    }
}
