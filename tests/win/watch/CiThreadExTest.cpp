#include "watch/CiThreadEx.h"

#include "WatchTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

struct Call {
    int reason;
    DWORD threadId;
    double startMs;
    double endMs;
};

// The callback's record. The worker appends to it; the test reads it only after joining.
struct Recorder {
    std::vector<Call> calls;
    // How long each TIMEOUT call takes.
    DWORD timeoutSleepMs;
    // reached is signalled when this many TIMEOUT calls have been made.
    int signalAfterTimeouts;
    HANDLE reached;
    int timeouts;
    // When set, the INIT call closes this object's stop event and clears the field, so that the
    // worker's first wait has no event to wait on.
    CiThreadEx* dropStopEventOf;
};

void Record(int reason, void* argument)
{
    Recorder* recorder = static_cast<Recorder*>(argument);
    Call call = {reason, GetCurrentThreadId(), NowMs(), 0};
    if (reason == THREADCALLBACK_INIT && recorder->dropStopEventOf != nullptr) {
        CloseHandle(recorder->dropStopEventOf->stopEvent);
        recorder->dropStopEventOf->stopEvent = nullptr;
    }
    if (reason == THREADCALLBACK_TIMEOUT) {
        if (recorder->timeoutSleepMs != 0)
            Sleep(recorder->timeoutSleepMs);
        if (++recorder->timeouts == recorder->signalAfterTimeouts)
            SetEvent(recorder->reached);
    }
    call.endMs = NowMs();
    recorder->calls.push_back(call);
}

std::vector<int> ReasonsOf(const Recorder& recorder)
{
    std::vector<int> reasons;
    for (const Call& call : recorder.calls)
        reasons.push_back(call.reason);
    return reasons;
}

// Generous: the worker ticks every few tens of milliseconds.
const DWORD kReachTimeoutMs = 20000;

class CiThreadExTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        OpenTestLog();
        logStart = LogSize();
        recorder.reached = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(recorder.reached, nullptr);
    }

    void TearDown() override
    {
        worker.Close();
        CloseHandle(recorder.reached);
    }

    // Starts the worker and waits until it has made the given number of TIMEOUT calls.
    void RunFor(DWORD intervalMs, int timeouts)
    {
        recorder.signalAfterTimeouts = timeouts;
        worker.Start(intervalMs, Record, &recorder);
        ASSERT_EQ(WaitForSingleObject(recorder.reached, kReachTimeoutMs), WAIT_OBJECT_0)
            << "the worker did not reach " << timeouts << " TIMEOUT calls";
        worker.Stop();
    }

    void ExpectInitTimeoutsEnd(const Recorder& record, int minTimeouts)
    {
        std::vector<int> reasons = ReasonsOf(record);
        ASSERT_GE(reasons.size(), static_cast<size_t>(minTimeouts) + 2);
        EXPECT_EQ(reasons.front(), THREADCALLBACK_INIT);
        EXPECT_EQ(reasons.back(), THREADCALLBACK_END);
        for (size_t i = 1; i + 1 < reasons.size(); ++i)
            EXPECT_EQ(reasons[i], THREADCALLBACK_TIMEOUT) << "call " << i;
    }

    void ExpectIdle()
    {
        EXPECT_EQ(worker.thread, nullptr);
        EXPECT_EQ(worker.interval, 0u);
        EXPECT_EQ(worker.argument, nullptr);
        EXPECT_EQ(worker.callback, nullptr);
    }

    CiThreadEx worker{};
    Recorder recorder{};
    size_t logStart = 0;
};

TEST_F(CiThreadExTest, CallsInitTimeoutsEndInOrderOnOneWorkerThread)
{
    RunFor(20, 5);
    ExpectInitTimeoutsEnd(recorder, 5);
    for (const Call& call : recorder.calls) {
        EXPECT_EQ(call.threadId, recorder.calls.front().threadId);
        EXPECT_NE(call.threadId, GetCurrentThreadId());
    }
    ExpectIdle();
    EXPECT_NE(worker.stopEvent, nullptr) << "Stop keeps the stop event; Close releases it";

    std::string log = LogSince(logStart);
    EXPECT_EQ(CountOf(log, "CiThreadEx.threadfnc() start\n"), 1) << log;
    EXPECT_EQ(CountOf(log, "CiThreadEx.threadfnc() end\n"), 1) << log;
    EXPECT_EQ(CountOf(log, "thread wait="), 0) << log;
    EXPECT_LT(log.find("threadfnc() start"), log.find("threadfnc() end"));

    worker.Close();
    EXPECT_EQ(worker.stopEvent, nullptr);
}

TEST_F(CiThreadExTest, StopRightAfterStartGivesOneInitAndOneEnd)
{
    const DWORD longInterval = 600000;
    double start = NowMs();
    worker.Start(longInterval, Record, &recorder);
    worker.Stop();
    EXPECT_LT(NowMs() - start, 60000.0) << "Stop waited for the interval";
    EXPECT_EQ(ReasonsOf(recorder), (std::vector<int>{THREADCALLBACK_INIT, THREADCALLBACK_END}));
    ExpectIdle();
}

TEST_F(CiThreadExTest, SlowCallbackStillGetsAFullIntervalBeforeTheNextCall)
{
    const DWORD interval = 50;
    recorder.timeoutSleepMs = 120;
    RunFor(interval, 4);
    ExpectInitTimeoutsEnd(recorder, 4);
    // Every TIMEOUT call follows a wait of a full interval after the previous call returned;
    // the tolerance covers timer granularity only.
    const double tolerance = 10.0;
    for (size_t i = 1; i < recorder.calls.size(); ++i) {
        if (recorder.calls[i].reason != THREADCALLBACK_TIMEOUT)
            continue;
        double gap = recorder.calls[i].startMs - recorder.calls[i - 1].endMs;
        EXPECT_GE(gap, interval - tolerance) << "before call " << i;
    }
}

TEST_F(CiThreadExTest, StopAndCloseReturnAtOnceWhenNothingRuns)
{
    struct Row {
        const char* name;
        bool runFirst;
    };
    const Row rows[] = {{"never started", false}, {"already stopped", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CiThreadEx idle{};
        Recorder record{};
        if (row.runFirst) {
            idle.Start(600000, Record, &record);
            idle.Stop();
        }
        size_t callsBefore = record.calls.size();
        double start = NowMs();
        idle.Stop();
        idle.Stop();
        EXPECT_LT(NowMs() - start, 5000.0);
        EXPECT_EQ(idle.thread, nullptr);
        EXPECT_EQ(idle.stopEvent != nullptr, row.runFirst);
        idle.Close();
        idle.Close();
        EXPECT_LT(NowMs() - start, 5000.0);
        EXPECT_EQ(idle.stopEvent, nullptr);
        EXPECT_EQ(idle.thread, nullptr);
        EXPECT_EQ(record.calls.size(), callsBefore) << "no callback after the thread ended";
    }
}

TEST_F(CiThreadExTest, WithoutAStopEventTheWorkerLogsTheFailedWaitAndEnds)
{
    recorder.dropStopEventOf = &worker;
    worker.Start(600000, Record, &recorder);
    ASSERT_NE(worker.thread, nullptr);
    // The worker ends by itself: its first wait fails instead of lasting the interval.
    EXPECT_EQ(WaitForSingleObject(worker.thread, kReachTimeoutMs), WAIT_OBJECT_0);
    worker.Stop();
    EXPECT_EQ(ReasonsOf(recorder), (std::vector<int>{THREADCALLBACK_INIT, THREADCALLBACK_END}));

    std::string log = LogSince(logStart);
    EXPECT_EQ(CountOf(log, "thread wait=0xffffffff\n"), 1) << log;
    EXPECT_EQ(CountOf(log, "CiThreadEx.threadfnc() end\n"), 1) << log;
    EXPECT_LT(log.find("thread wait="), log.find("threadfnc() end"));
}

TEST_F(CiThreadExTest, StartAfterStopReusesTheStopEventAndDropsALeftoverRequest)
{
    RunFor(20, 2);
    HANDLE held = worker.stopEvent;
    ASSERT_NE(held, nullptr);
    SetEvent(held); // a stop request that nobody consumed

    Recorder second{};
    second.reached = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    second.signalAfterTimeouts = 3;
    worker.Start(20, Record, &second);
    EXPECT_EQ(WaitForSingleObject(second.reached, kReachTimeoutMs), WAIT_OBJECT_0)
        << "the second run ended on the old request";
    worker.Stop();
    CloseHandle(second.reached);

    EXPECT_EQ(worker.stopEvent, held);
    ExpectInitTimeoutsEnd(second, 3);
    ExpectInitTimeoutsEnd(recorder, 2);
}

TEST_F(CiThreadExTest, StartWhileRunningIsIgnored)
{
    recorder.signalAfterTimeouts = 2;
    worker.Start(20, Record, &recorder);
    HANDLE first = worker.thread;
    Recorder ignored{};
    worker.Start(20, Record, &ignored);
    EXPECT_EQ(worker.thread, first);
    EXPECT_EQ(worker.argument, &recorder);
    ASSERT_EQ(WaitForSingleObject(recorder.reached, kReachTimeoutMs), WAIT_OBJECT_0);
    worker.Stop();
    EXPECT_TRUE(ignored.calls.empty());
    ExpectInitTimeoutsEnd(recorder, 2);
}

} // namespace
