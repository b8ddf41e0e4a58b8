#include "ui/ReadingRecord.h"

bool RecordReading(HistoryRing& readings, DayRing& day, int64_t monotonicMs, int64_t localMs,
                   int32_t t, int32_t mode, int32_t status, bool lowered)
{
    readings.Add({monotonicMs, t, static_cast<int16_t>(mode), static_cast<int16_t>(status)});
    return day.Add(monotonicMs, localMs, t, mode, status, lowered);
}
