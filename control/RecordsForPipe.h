// The controller's records as the status pipe carries them to a view: the newest readings with
// their ages, and the day's minutes with their distance from now and today's totals.
// Platform-free: the caller hands in the clocks.
#pragma once

#include "link/PipeMessage.h"
#include "ui/DayRing.h"
#include "ui/HistoryRing.h"

// The newest readings that fit, each with its age at nowMs (the readings' monotonic clock).
void HistoryToPipe(const HistoryRing& readings, int64_t nowMs, PipeHistory& history);

// The minutes of the 24 hours up to the local minute now, with today's totals.
void DayToPipe(const DayRing& ring, int32_t now, PipeDay& day);
