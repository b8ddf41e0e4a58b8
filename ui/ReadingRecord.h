// Where each report goes for the history window: the half hour's samples and the day's minutes.
// The same for the tray's controller, which records its watcher's reports, and for a view, which
// records its controller's.
#pragma once

#include "ui/DayRing.h"
#include "ui/HistoryRing.h"

#include <cstdint>

// Records a report of t °C at mode (status READING_*, lowered: the cap lowered some value) at
// monotonicMs and the local clock localMs; true when it completed a minute of the day.
bool RecordReading(HistoryRing& readings, DayRing& day, int64_t monotonicMs, int64_t localMs,
                   int32_t t, int32_t mode, int32_t status, bool lowered);
