#include "watch/CapCheck.h"

#include "base/Log.h"

CapVerdict CapCheck::OnReading(PDH_HQUERY query, uint32_t cap, bool lowered, uint64_t nowMs)
{
    ProcessorSample sample = {false, 0, 0};
    if (!lowered) {
        if (joined != nullptr)
            counter.Leave();
        joined = nullptr;
        missing = false;
    } else if (joined != nullptr) {
        sample = counter.Read();
    } else if (!missing && query != nullptr) {
        missing = !counter.Join(query);
        joined = missing ? nullptr : query;
        if (missing)
            LogPrint("CapCheck: no processor performance counters: the cap's effect is not seen\n");
    }
    // Without the watcher's query nothing can be read: that is a failed sample, not a missing
    // counter.
    return judge.Observe(cap, lowered, !missing, sample, nowMs);
}

void CapCheck::QueryClosed()
{
    counter.Forget();
    joined = nullptr;
}
