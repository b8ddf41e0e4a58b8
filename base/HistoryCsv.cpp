#include "base/HistoryCsv.h"

#include <cstdio>
#include <cstring>

namespace
{

// Days from 1601-01-01 to 1970-01-01.
const int32_t DAYS_1601_TO_1970 = 134774;
// The longest row: a time with its offset, then six numbers and their separators.
const size_t MINUTE_ROW_BOUND = 25 + 7 * (3 + 11) + 2;
const size_t DAY_ROW_BOUND = 10 + 6 * (3 + 11) + 2;
const size_t HEAD_BOUND = 256;

class Text
{
  public:
    char* out;
    size_t room;
    size_t size;
    bool fits;

    void Add(const char* text)
    {
        const size_t length = std::strlen(text);
        if (!fits || length >= room - size) {
            fits = false;
            return;
        }
        std::memcpy(out + size, text, length);
        size += length;
    }
    void Number(int32_t value)
    {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%d", static_cast<int>(value));
        Add(digits);
    }
};

void Time(Text& text, int32_t utcMinute, int32_t offset)
{
    const int32_t local = utcMinute + offset;
    const int32_t day = static_cast<int32_t>(DivideDown(local, MINUTES_A_DAY));
    const int32_t ofDay = local - day * MINUTES_A_DAY;
    int year = 0, month = 0, dayOfMonth = 0;
    CivilDate(day, year, month, dayOfMonth);
    const int32_t away = offset < 0 ? -offset : offset;
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:00%c%02d:%02d", year, month,
                  dayOfMonth, static_cast<int>(ofDay / 60), static_cast<int>(ofDay % 60),
                  offset < 0 ? '-' : '+', static_cast<int>(away / 60), static_cast<int>(away % 60));
    text.Add(stamp);
}

void MinuteRow(Text& text, const char* separator, int32_t utcMinute, int32_t offset,
               const WeekMinute& minute)
{
    static const int CAP_OF_MODE[3] = {100, 99, 80};
    Time(text, utcMinute, offset);
    text.Add(separator);
    if ((minute.flags & MINUTE_READING) != 0)
        text.Number(minute.low);
    text.Add(separator);
    if ((minute.flags & MINUTE_READING) != 0)
        text.Number(minute.high);
    text.Add(separator);
    if (minute.cap != 0)
        text.Number(minute.cap);
    text.Add(separator);
    text.Number(CAP_OF_MODE[minute.mode <= 2 ? minute.mode : 0]);
    text.Add(separator);
    text.Number((minute.flags & MINUTE_LOWERED) != 0 ? 1 : 0);
    text.Add(separator);
    text.Number((minute.flags & MINUTE_PAUSED) != 0 ? 1 : 0);
    text.Add("\r\n");
}

void DayRow(Text& text, const char* separator, const YearDay& day)
{
    int year = 0, month = 0, dayOfMonth = 0;
    CivilDate(day.day, year, month, dayOfMonth);
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", year, month, dayOfMonth);
    text.Add(date);
    text.Add(separator);
    if (day.peak != DAY_NO_PEAK)
        text.Number(day.peak);
    const uint16_t counts[4] = {day.minutesRun, day.timesLowered, day.minutesLowered,
                                day.minutesPaused};
    for (uint16_t count : counts) {
        text.Add(separator);
        text.Number(count);
    }
    text.Add("\r\n");
}

// The days held, oldest first, into order; their number.
int DaysInOrder(const HistoryStore& store, const YearDay** order)
{
    int count = 0;
    for (int i = 0; i < KEPT_DAYS; ++i)
        if (store.days[i].day != 0)
            order[count++] = &store.days[i];
    for (int i = 1; i < count; ++i)
        for (int j = i; j > 0 && order[j - 1]->day > order[j]->day; --j) {
            const YearDay* swap = order[j];
            order[j] = order[j - 1];
            order[j - 1] = swap;
        }
    return count;
}

} // namespace

void CivilDate(int32_t day, int& year, int& month, int& dayOfMonth)
{
    // Days since 1970 to the proleptic Gregorian calendar (eras of 400 years from 0000-03-01).
    const int64_t z = static_cast<int64_t>(day) - DAYS_1601_TO_1970 + 719468;
    const int64_t era = DivideDown(z, 146097);
    const int64_t ofEra = z - era * 146097;
    const int64_t yearOfEra = (ofEra - ofEra / 1460 + ofEra / 36524 - ofEra / 146096) / 365;
    const int64_t ofYear = ofEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shifted = (5 * ofYear + 2) / 153;
    dayOfMonth = static_cast<int>(ofYear - (153 * shifted + 2) / 5 + 1);
    month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

size_t HistoryCsvBound(bool days)
{
    return HEAD_BOUND + (days ? KEPT_DAYS * DAY_ROW_BOUND : WEEK_MINUTES * MINUTE_ROW_BOUND);
}

int HistoryCsvRows(const HistoryStore& store, bool days)
{
    int rows = 0;
    if (days) {
        for (const YearDay& day : store.days)
            rows += day.day != 0 ? 1 : 0;
        return rows;
    }
    for (int32_t m = store.newestMinute - WEEK_MINUTES + 1; m <= store.newestMinute; ++m) {
        const WeekMinute* minute = store.MinuteAt(m);
        rows += minute != nullptr && (minute->flags & MINUTE_RAN) != 0 ? 1 : 0;
    }
    return rows;
}

size_t ComposeHistoryCsv(const HistoryStore& store, const HistoryCsvChoice& choice, char* out,
                         size_t room)
{
    if (out == nullptr || room == 0)
        return 0;
    const char* separator = choice.separator[0] != '\0' ? choice.separator : ",";
    Text text = {out, room, 0, true};
    text.Add("\xEF\xBB\xBF");
    const char* const minuteHead[] = {
        "Time",  "Lowest \xC2\xB0\x43", "Highest \xC2\xB0\x43", "Cap %", "Step %", "Lowered",
        "Paused"};
    const char* const dayHead[] = {"Date",          "Peak \xC2\xB0\x43", "Minutes run",
                                   "Times lowered", "Minutes lowered",   "Minutes paused"};
    const int columns = choice.days ? 6 : 7;
    for (int i = 0; i < columns; ++i) {
        if (i > 0)
            text.Add(separator);
        text.Add(choice.days ? dayHead[i] : minuteHead[i]);
    }
    text.Add("\r\n");
    if (choice.days) {
        const YearDay* order[KEPT_DAYS];
        const int count = DaysInOrder(store, order);
        for (int i = 0; i < count; ++i)
            DayRow(text, separator, *order[i]);
    } else if (!store.Empty()) {
        for (int32_t m = store.newestMinute - WEEK_MINUTES + 1; m <= store.newestMinute; ++m) {
            const WeekMinute* minute = store.MinuteAt(m);
            if (minute == nullptr || (minute->flags & MINUTE_RAN) == 0)
                continue;
            const int32_t offset =
                choice.offsetAt != nullptr ? choice.offsetAt(m, choice.context) : 0;
            MinuteRow(text, separator, m, offset, *minute);
        }
    }
    return text.fits ? text.size : 0;
}
