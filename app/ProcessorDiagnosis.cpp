#include "app/ProcessorDiagnosis.h"

#include "watch/PerformanceCounter.h"

#include <windows.h>

#include <atomic>

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
