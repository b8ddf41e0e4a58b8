#include "ui/HistoryRing.h"

void HistoryRing::Add(const HistoryEntry& entry)
{
    if (count < HISTORY_CAPACITY) {
        entries[(first + count) % HISTORY_CAPACITY] = entry;
        ++count;
        return;
    }
    entries[first] = entry;
    first = (first + 1) % HISTORY_CAPACITY;
}

const HistoryEntry& HistoryRing::At(int index) const
{
    return entries[(first + index) % HISTORY_CAPACITY];
}

void HistoryRing::Clear()
{
    first = 0;
    count = 0;
}
