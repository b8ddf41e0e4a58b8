// The day's range of the history window, laid out from the day ring over the steps that every
// range takes (HistoryGraph).
#pragma once

#include "ui/DayRing.h"
#include "ui/HistoryGraph.h"

// Lays out the minutes of the day over the 24 hours up to the local minute now (input.nowMs is
// not used): the columns, the band and the scales; no performance.
void LayOutDay(const GraphInput& input, const DayRing& day, int32_t now, HistoryGraph& graph);

// A column and a stretch of the band as the day's are laid out, merged with the last one where
// they meet (for the week's range too).
void AddDayColumn(HistoryGraph& graph, int32_t left, int32_t right, int32_t top, int32_t bottom);
void AddBandSegment(HistoryGraph& graph, int32_t left, int32_t right, int32_t mode);
