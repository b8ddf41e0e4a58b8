#include "watch/CapCheck.h"

#include "base/Log.h"

CapVerdict CapCheck::OnReading(uint32_t cap, bool lowered, uint64_t nowMs)
{
    ProcessorSample sample = {false, 0, 0};
    if (!lowered) {
        Close();
        missing = false;
    } else if (open) {
        sample = counter.SampleWithBusy();
    } else if (!missing) {
        open = counter.Open(true);
        missing = !open;
        if (missing)
            LogPrint("CapCheck: no processor performance counters: the cap's effect is not seen\n");
    }
    return judge.Observe(cap, lowered, !missing, sample, nowMs);
}

void CapCheck::Close()
{
    if (!open)
        return;
    counter.Close();
    open = false;
}
