#include "present/RecordsFromPipe.h"

#include "watch/TempConversion.h"

void HistoryFromPipe(const PipeHistory& history, int64_t nowMs, HistoryRing& readings)
{
    readings.Clear();
    for (int i = 0; i < history.count && i < PIPE_HISTORY_CAPACITY; ++i) {
        const PipeSample& s = history.samples[i];
        readings.Add({nowMs - static_cast<int64_t>(s.ageMs), s.value, s.mode, s.status});
    }
}

void DayFromPipe(const PipeDay& day, int64_t monotonicMs, int64_t localMs, DayRing& ring)
{
    ring.Clear();
    const int32_t now = LocalMinute(localMs);
    for (int i = 0; i < day.count && i < DAY_MINUTES; ++i) {
        const PipeDayMinute& sent = day.minutes[i];
        ring.Put({now - sent.ago, sent.low, sent.high, sent.mode, sent.flags});
    }
    ring.Resume({LocalDay(localMs), day.episodes, int64_t(day.loweredSeconds) * 1000, day.peak},
                day.loweredNow, monotonicMs, localMs);
}

ControllerReport ReportOfLostController(const ControllerReport& shown, bool notAmbrels,
                                        bool controllerWasTray)
{
    ControllerReport report = shown;
    report.temperature = TEMP_NO_READING;
    report.mode = 0;
    report.readingStatus = notAmbrels          ? READING_NOT_AMBRELS
                           : controllerWasTray ? READING_CONTROLLER_ENDED
                                               : READING_NO_CONTROLLER;
    report.capInForce = 0;
    report.capLowered = false;
    report.pausedSeconds = 0;
    return report;
}
