#include "app/commands/ProcessorDiagnosis.h"

#include "watch/PerformanceCounter.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace
{

// One core at work until told to stop: what a processor boosts for, when it may.
DWORD WINAPI KeepBusy(void* stop)
{
    const std::atomic<bool>& done = *static_cast<const std::atomic<bool>*>(stop);
    volatile unsigned long spin = 0;
    while (!done.load())
        spin = spin + 1;
    return 0;
}

} // namespace

ProcessorLook LookAtProcessor()
{
    ProcessorLook look = {};
    PerformanceCounter counter = {};
    look.available = counter.Open(true);
    if (!look.available)
        return look;
    Sleep(PROCESSOR_LOOK_MS);
    look.now = counter.SampleWithBusy();
    std::atomic<bool> stop(false);
    HANDLE worker = CreateThread(nullptr, 0, KeepBusy, &stop, 0, nullptr);
    if (worker != nullptr) {
        Sleep(PROCESSOR_LOOK_MS);
        look.loaded = counter.SampleWithBusy();
        stop.store(true);
        WaitForSingleObject(worker, INFINITE);
        CloseHandle(worker);
    }
    counter.Close();
    return look;
}

// The performance is in percent of the processor's base frequency, as the cap's check reads it.
int DescribeProcessorLook(const ProcessorLook& look, ProcessorLines& lines)
{
    lines = {};
    if (!look.available) {
        std::snprintf(lines.text[0], PROCESSOR_LINE_SIZE,
                      "processor performance: no counters (Windows 8 and later have them); "
                      "whether the cap takes effect cannot be seen");
        return 1;
    }
    lines.unread[0] = !look.now.ok;
    if (look.now.ok)
        std::snprintf(lines.text[0], PROCESSOR_LINE_SIZE,
                      "processor performance now: %d %% of its base, busy %d %% of the time",
                      static_cast<int>(look.now.performance), static_cast<int>(look.now.busy));
    else
        std::snprintf(lines.text[0], PROCESSOR_LINE_SIZE, "processor performance now: no value");
    lines.unread[1] = !look.loaded.ok;
    if (!look.loaded.ok)
        std::snprintf(lines.text[1], PROCESSOR_LINE_SIZE, "processor with one core busy: no value");
    else if (look.loaded.performance > PROCESSOR_BOOST_PERCENT)
        std::snprintf(lines.text[1], PROCESSOR_LINE_SIZE,
                      "processor with one core busy for a second: %d %% of its base, so it boosts",
                      static_cast<int>(look.loaded.performance));
    else
        std::snprintf(lines.text[1], PROCESSOR_LINE_SIZE,
                      "processor with one core busy for a second: %d %% of its base, so it does "
                      "not boost now (a maximum processor state of 99 %% or less, a power mode or "
                      "the firmware may keep it from it)",
                      static_cast<int>(look.loaded.performance));
    return 2;
}
