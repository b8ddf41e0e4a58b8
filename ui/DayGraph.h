// The day's range of the history window, laid out from the day ring over the steps that every
// range takes (HistoryGraph).
#pragma once

#include "ui/DayRing.h"
#include "ui/HistoryGraph.h"

// Lays out the minutes of the day over the 24 hours up to the local minute now (input.nowMs is
// not used): the columns, the band and the scales; no performance.
void LayOutDay(const GraphInput& input, const DayRing& day, int32_t now, HistoryGraph& graph);
