#include "watch/PerformanceCounter.h"

#include "base/Log.h"

#include <pdhmsg.h>

namespace
{

bool FormattedPercent(PDH_HCOUNTER counter, int32_t& percent)
{
    PDH_FMT_COUNTERVALUE value;
    if (PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, nullptr, &value) != ERROR_SUCCESS)
        return false;
    if (value.CStatus != PDH_CSTATUS_VALID_DATA && value.CStatus != PDH_CSTATUS_NEW_DATA)
        return false;
    percent = static_cast<int32_t>(value.longValue);
    return true;
}

// Adds the performance counter (withBusy, the busy share too) to query; false, with a whole log
// line, where one does not exist: what was added is then left for the caller to remove.
bool AddCounters(PDH_HQUERY query, bool withBusy, PDH_HCOUNTER& counter, PDH_HCOUNTER& busy)
{
    PDH_STATUS status = PdhAddEnglishCounterA(query, PERFORMANCE_COUNTER_PATH, 0, &counter);
    if (status != ERROR_SUCCESS) {
        counter = nullptr;
        LogPrint("PdhAddCounter(%s) = %d\n", PERFORMANCE_COUNTER_PATH, static_cast<int>(status));
        return false;
    }
    if (!withBusy)
        return true;
    status = PdhAddEnglishCounterA(query, UTILITY_COUNTER_PATH, 0, &busy);
    if (status != ERROR_SUCCESS)
        status = PdhAddEnglishCounterA(query, PROCESSOR_TIME_COUNTER_PATH, 0, &busy);
    if (status != ERROR_SUCCESS) {
        busy = nullptr;
        LogPrint("PdhAddCounter(%s) = %d\n", PROCESSOR_TIME_COUNTER_PATH, static_cast<int>(status));
        return false;
    }
    return true;
}

} // namespace

bool PerformanceCounter::Open(bool withBusy)
{
    Close();
    PDH_STATUS status = PdhOpenQueryA(nullptr, 0, &query);
    if (status != ERROR_SUCCESS) {
        query = nullptr;
        // Whole lines: no entry of this query follows to end them, and the next one is another's.
        LogPrint("PdhOpenQuery = %d\n", static_cast<int>(status));
        return false;
    }
    if (!AddCounters(query, withBusy, counter, busy)) {
        Close();
        return false;
    }
    // The first collection only sets the base of the rate.
    PdhCollectQueryData(query);
    return true;
}

bool PerformanceCounter::Sample(int32_t& percent)
{
    if (query == nullptr || PdhCollectQueryData(query) != ERROR_SUCCESS)
        return false;
    return FormattedPercent(counter, percent);
}

ProcessorSample PerformanceCounter::SampleWithBusy()
{
    if (query == nullptr || PdhCollectQueryData(query) != ERROR_SUCCESS)
        return ProcessorSample{false, 0, 0};
    return Read();
}

ProcessorSample PerformanceCounter::Read() const
{
    ProcessorSample sample = {false, 0, 0};
    if (counter == nullptr || busy == nullptr)
        return sample;
    sample.ok =
        FormattedPercent(counter, sample.performance) && FormattedPercent(busy, sample.busy);
    // The utility weighs the time by the performance and passes 100 while the processor boosts.
    if (sample.busy > 100)
        sample.busy = 100;
    return sample;
}

bool PerformanceCounter::Join(PDH_HQUERY owners)
{
    Forget();
    if (AddCounters(owners, true, counter, busy))
        return true;
    Leave();
    return false;
}

void PerformanceCounter::Leave()
{
    if (counter != nullptr)
        PdhRemoveCounter(counter);
    if (busy != nullptr)
        PdhRemoveCounter(busy);
    Forget();
}

void PerformanceCounter::Forget()
{
    counter = nullptr;
    busy = nullptr;
}

void PerformanceCounter::Close()
{
    if (query != nullptr) {
        PdhCloseQuery(query);
        query = nullptr;
    }
    Forget(); // released with their query
}
