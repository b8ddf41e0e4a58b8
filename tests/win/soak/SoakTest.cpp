// The soak test: the temperature watcher at a 1 ms interval over many readings from the fake
// thermal zone, sweeping across the thresholds again and again, with its reports turned into tray
// icon updates on a real hidden window exactly as the program's window handler does. Process
// memory, kernel handles and GDI objects must not grow from the first thousand readings to the
// last, and the reports and power writes must be what the controller model gives for the same
// readings.
//
// AMBREL_SOAK_READINGS sets the number of readings (3,000 by default; the long run is 100,000).
#include "SoakModel.h"

#include "fakes/FakeControl.h"
#include "watch/WatchMessages.h"
#include "ui/TrayIcon.h"
#include "watch/CTempWatch.h"
#include "win/support/ResourceCounts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>

namespace soak
{
// Found by argument lookup when gtest prints a report.
std::ostream& operator<<(std::ostream& out, const Report& report)
{
    return out << "(" << report.temperature << " C, mode " << report.mode << ")";
}
std::ostream& operator<<(std::ostream& out, const PowerWrite& write)
{
    return out << write.percent << " % after " << write.afterReadings << " readings";
}
} // namespace soak

namespace
{

using namespace soak;

const int kBaselineReadings = 1000;
const int kDefaultReadings = 3000;
const DWORD kIntervalMs = 1;
const uint32_t kSweepSeed = 20240611;
// The fake reads the whole script at every reading, so the sweep is kept this short and
// repeated ("repeat") for as many readings as the run takes.
const int kSweepLength = 2500;
const char kWindowClass[] = "AmbrelSoakTestWindow";

int SoakReadings()
{
    const char* value = std::getenv("AMBREL_SOAK_READINGS");
    const int readings = value ? std::atoi(value) : 0;
    return readings > kBaselineReadings ? readings : kDefaultReadings;
}

// Reports the first difference of two long sequences instead of printing them whole.
template <typename T>
void ExpectSameSequence(const std::vector<T>& actual, const std::vector<T>& expected,
                        const char* what)
{
    size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
        ++i;
    if (i == actual.size() && i == expected.size())
        return;
    ADD_FAILURE() << what << ": " << actual.size() << " actual, " << expected.size()
                  << " expected; first difference at " << i << ": "
                  << (i < actual.size() ? testing::PrintToString(actual[i]) : "none") << " vs "
                  << (i < expected.size() ? testing::PrintToString(expected[i]) : "none");
}

// The test's hidden window: WM_TEMPINIT creates the tray icon and WM_TEMPCHANGE updates it, as
// in the program's handler, and every report is kept for the comparison.
struct SoakWindow {
    HWND handle = nullptr;
    TrayIcon icon = {};
    std::vector<Report> received;
    int inits = 0;
};

int LowInt(UINT_PTR value)
{
    return static_cast<int>(static_cast<DWORD>(value));
}

LRESULT CALLBACK SoakWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<SoakWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (state && (message == WM_TEMPINIT || message == WM_TEMPCHANGE)) {
        const Report report = {LowInt(wParam), LowInt(static_cast<UINT_PTR>(lParam))};
        if (message == WM_TEMPINIT) {
            state->icon.CreateTrayIcon(window, report.temperature, report.mode);
            ++state->inits;
        } else {
            state->icon.UpdateTrayIcon(report.temperature, report.mode);
        }
        state->received.push_back(report);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateSoakWindow(SoakWindow& state)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = SoakWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, kWindowClass, "soak", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window)
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    return window;
}

// Forwards every call to the watcher's own callback and counts the readings: INIT and each
// TIMEOUT take one. Once the limit is reached, further TIMEOUT calls are not forwarded, so the
// watcher takes exactly the readings of the sweep.
struct CountedWatch {
    CTempWatch watch = {};
    std::atomic<int> readings{0};
    int limit = 0;
};

void CountingCallback(int reason, void* argument)
{
    auto* counted = static_cast<CountedWatch*>(argument);
    if (reason == THREADCALLBACK_TIMEOUT && counted->readings.load() >= counted->limit)
        return;
    CTempWatch::callbackfnc(reason, &counted->watch);
    if (reason != THREADCALLBACK_END)
        counted->readings.fetch_add(1);
}

// Dispatches this thread's messages until done() holds; false at the deadline.
template <typename Done> bool PumpUntil(Done done, std::chrono::steady_clock::time_point deadline)
{
    MSG msg;
    for (;;) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

bool ReportsPending(HWND window)
{
    MSG msg;
    return PeekMessageA(&msg, window, WM_TEMPINIT, WM_TEMPCHANGE, PM_NOREMOVE) != FALSE;
}

struct Usage {
    int gdiObjects;
    int handles;
    size_t bytes;
};

Usage MeasureUsage()
{
    return {wintest::GdiObjectCount(), wintest::KernelHandleCount(), wintest::PrivateBytes()};
}

std::ostream& operator<<(std::ostream& out, const Usage& usage)
{
    return out << "GDI objects " << usage.gdiObjects << ", handles " << usage.handles
               << ", private bytes " << usage.bytes;
}

std::string RepeatingScriptOf(const std::vector<int>& sweep)
{
    std::string script = "repeat\n";
    for (int t : sweep)
        script += std::to_string(CounterValueOf(t)) + "\n";
    return script;
}

std::vector<int> Repeated(const std::vector<int>& sweep, int count)
{
    std::vector<int> temperatures;
    for (int i = 0; i < count; ++i)
        temperatures.push_back(sweep[i % sweep.size()]);
    return temperatures;
}

ControllerModel ModelOf(const std::vector<int>& temperatures)
{
    ControllerModel model;
    model.Start(temperatures.front());
    for (size_t i = 1; i < temperatures.size(); ++i)
        model.Next(temperatures[i]);
    model.Finish();
    return model;
}

// What the fakes' trace shows: each PowerWriteACValueIndex with the number of
// PdhCollectQueryData calls before it, the number of collections in all, and how many of them
// took the processor's values too (the cap's check, while the cap lowers a value).
struct TracedRun {
    std::vector<PowerWrite> writes;
    int collections = 0;
    int processorCollections = 0;
};

TracedRun ReadTrace(const FakePlatform& fake)
{
    TracedRun run;
    for (const std::string& line : fake.Trace()) {
        if (line.rfind("PdhCollectQueryData ", 0) == 0) {
            ++run.collections;
            run.processorCollections +=
                TraceField(line, "reading").find("performance=") != std::string::npos;
        } else if (line.rfind("PowerWriteACValueIndex ", 0) == 0)
            run.writes.push_back({run.collections, std::atoi(TraceField(line, "value").c_str())});
    }
    return run;
}

int ModeChanges(const std::vector<Report>& reports)
{
    int changes = 0;
    for (size_t i = 1; i < reports.size(); ++i)
        changes += reports[i].mode != reports[i - 1].mode ? 1 : 0;
    return changes;
}

TEST(SoakTest, WatcherAndIconOverManyReadingsStayFlatAndFollowTheModel)
{
    using Clock = std::chrono::steady_clock;
    const int readings = SoakReadings();
    const std::vector<int> sweep = SweepTemperatures(kSweepLength, kSweepSeed);
    const std::vector<int> temperatures = Repeated(sweep, readings);
    const ControllerModel model = ModelOf(temperatures);
    // The sweep must really drive the controller up and down.
    ASSERT_GE(ModeChanges(model.reports), readings / 100);

    FakePlatform fake;
    ASSERT_TRUE(fake.Begin("SoakTest"));
    fake.WriteDefaultPowerStore();
    fake.WritePdhScript(RepeatingScriptOf(sweep));

    SoakWindow window;
    // Reserved now, so that the test's own record does not show as growth of the process.
    window.received.reserve(readings + 1);
    window.handle = CreateSoakWindow(window);
    ASSERT_NE(window.handle, nullptr);
    MessageWindow record{};
    record.hwnd = window.handle;
    CountedWatch counted;
    counted.limit = readings;
    counted.watch.window = &record;

    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::milliseconds(30000 + 20 * readings);
    counted.watch.Start(kIntervalMs, CountingCallback, &counted);

    const bool baselineReached =
        PumpUntil([&] { return counted.readings.load() >= kBaselineReadings; }, deadline);
    const Usage baseline = MeasureUsage();
    // Private bytes at every tenth of the run, to tell a slope from a step in the figures.
    std::vector<size_t> bytesSeries;
    const auto sampleUntilAllTaken = [&] {
        const int taken = counted.readings.load();
        if (taken >= readings / 10 * static_cast<int>(bytesSeries.size() + 1))
            bytesSeries.push_back(wintest::PrivateBytes());
        return taken >= readings;
    };
    const bool allTaken = baselineReached && PumpUntil(sampleUntilAllTaken, deadline);
    const bool drained =
        allTaken && PumpUntil([&] { return !ReportsPending(window.handle); }, deadline);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const Usage last = MeasureUsage();

    counted.watch.Stop();
    const int finalMode = counted.watch.ambrel.mode;
    counted.watch.Close();
    window.icon.ReleaseTrayIcon();
    DestroyWindow(window.handle);

    std::cout << counted.readings.load() << " readings in " << seconds << " s ("
              << counted.readings.load() / seconds << " per second), " << window.received.size()
              << " reports, " << ModeChanges(window.received) << " mode changes, "
              << model.writes.size() << " power writes\n"
              << "after " << kBaselineReadings << " readings: " << baseline << "\n"
              << "after " << readings << " readings: " << last << "\n";
    std::cout << "private bytes at each tenth of the run:";
    for (size_t bytes : bytesSeries)
        std::cout << " " << bytes;
    std::cout << "\n";
    ASSERT_TRUE(baselineReached && allTaken)
        << "the watcher stalled at " << counted.readings.load() << " readings";
    EXPECT_TRUE(drained) << "reports still queued at the deadline";

    // Same limits as the tray icon's leak test.
    EXPECT_GT(baseline.gdiObjects, 0);
    EXPECT_LE(last.gdiObjects, baseline.gdiObjects + 2);
    EXPECT_LE(last.handles, baseline.handles + 4);
    EXPECT_LE(last.bytes, baseline.bytes + 2 * 1024 * 1024);

    EXPECT_EQ(window.inits, 1);
    ExpectSameSequence(window.received, model.reports, "reports");
    const TracedRun traced = ReadTrace(fake);
    ExpectSameSequence(traced.writes, model.writes, "power writes");
    EXPECT_EQ(finalMode, model.mode);
    EXPECT_EQ(traced.collections, readings);
    // One per reading while the cap lowers a value (its opening's included), none at rest.
    EXPECT_GT(traced.processorCollections, 0);
    EXPECT_LT(traced.processorCollections, readings);
    EXPECT_EQ(fake.AcValue(kBalancedScheme), 100) << "the saved state was not written back";
    fake.End();
}

} // namespace
