#include "watch/CTempWatch.h"

#include "watch/PerformanceCounter.h"

#include "FakeControl.h"
#include "WatchTestSupport.h"
#include "watch/WatchMessages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace
{

// A report as the window receives it; wParam and lParam read back as signed 64-bit values, so a
// temperature that was not widened with its sign shows up as a large positive number.
struct Report {
    UINT message;
    int64_t wParam;
    int64_t lParam;
};

bool operator==(const Report& a, const Report& b)
{
    return a.message == b.message && a.wParam == b.wParam && a.lParam == b.lParam;
}

std::ostream& operator<<(std::ostream& out, const Report& r)
{
    const char* name = r.message == WM_TEMPINIT     ? "INIT"
                       : r.message == WM_TEMPCHANGE ? "CHANGE"
                                                    : "other";
    return out << "{" << name << " " << r.wParam << ", " << r.lParam << "}";
}

Report Init(int64_t t, int64_t mode)
{
    return {WM_TEMPINIT, t, mode};
}
Report Change(int64_t t, int64_t mode)
{
    return {WM_TEMPCHANGE, t, mode};
}

// A log text and how often it must appear; kPerReading stands for once per reading.
struct LogCount {
    const char* text;
    int count;
};
const int kPerReading = -1;

// Counter values (tenths of a kelvin) and the whole degrees they convert to.
const char* const k50C = "3232";
const char* const k90C = "3632";

struct Scenario {
    const char* name;
    std::string pdhScript;
    // AC value of the balanced scheme, which is active at start; 0 leaves the store unreadable
    // for PowerReadACValue.
    int startAc;
    // Readings to wait for; more may follow before the stop arrives, so every row ends steady.
    int readings;
    std::vector<Report> reports;
    std::vector<int> acWrites;
    std::vector<LogCount> logCounts;
    // After this many readings, the high-performance scheme becomes the active one (0: never).
    int switchSchemeAfter;
    // The watcher gets no MessageWindow record.
    bool noWindow;
    // The zone the watcher reads; empty for the default one.
    const char* zone = "";
    // The AC value of the high-performance scheme that a switch activates.
    int switchedAc = 70;
    // Failure rules for the power store.
    const char* powerRules = "";
    // Chosen by the user after two readings (nullptr: nothing).
    const char* chosenLater = nullptr;
    // Collections beyond one per reading.
    int extraCollections = 0;
};

const char* const kOpenFailure = "PdhOpenQuery = -1073738824";
const char* const kAddFailure = "PdhAddCounter(\\Thermal Zone Information(\\_TZ.TZ01)\\High "
                                "Precision Temperature) = -1073738824";
const char* const kCollectFailure = "PdhCollectQueryData() = ";
const char* const kFormatFailure = "PdhGetFormattedCounterValue() = ";
const char* const kHottestInstead = "CTempWatch: no thermal zone \\_TZ.TZ01; reading the hottest "
                                    "zone instead, now ";
const char* const kInitEntry = "CTempWatch.callbackfnc() THREADCALLBACK_INIT\n";
const char* const kEndEntry = "CTempWatch.callbackfnc() THREADCALLBACK_END\n";

std::vector<Scenario> Scenarios()
{
    std::string steady90 = std::string(k90C) + "\n";
    return {
        {"steady 50 posts only the first report",
         std::string(k50C) + "\n",
         100,
         6,
         {Init(50, 0)},
         {},
         {{"temp monitor:", kPerReading},
          {kInitEntry, 1},
          {kEndEntry, 1},
          {"power setting changed:", 0}},
         0,
         false},
        {"steady 90 steps to mode 1 and 2 at the same temperature",
         steady90,
         100,
         11,
         {Init(90, 0), Change(90, 1), Change(90, 2)},
         {99, 80, 100},
         {{"temp monitor:", kPerReading},
          {"power setting changed: throttle max=99\n", 1},
          {"power setting changed: throttle max=80\n", 1}},
         0,
         false},
        {"rising readings step on the fourth and the eighth",
         "3632\n3642\n3652\n3662\n3672\n3682\n3692\n3702\n3712\n",
         100,
         10,
         {Init(90, 0), Change(91, 0), Change(92, 0), Change(93, 1), Change(94, 1), Change(95, 1),
          Change(96, 1), Change(97, 2), Change(98, 2)},
         {99, 80, 100},
         {},
         0,
         false},
        {"negative temperatures are widened with their sign",
         "2670\n2670\n2700\n",
         100,
         4,
         {Init(-5, 0), Change(-2, 0)},
         {},
         {},
         0,
         false},
        {"75 % at start is left alone",
         std::string(k50C) + "\n",
         75,
         3,
         {Init(50, 0)},
         {},
         {},
         0,
         false},
        // Mode 1 asks for no more than the user's own 99.
        {"99 % at start is never raised and comes back",
         steady90,
         99,
         10,
         {Init(90, 0), Change(90, 1), Change(90, 2)},
         {80, 99},
         {},
         0,
         false},
        // At mode 0 the readings make no power call, so the switch is not even seen.
        {"a switch at mode 0 leaves the switched-to scheme alone",
         std::string(k50C) + "\n",
         75,
         5,
         {Init(50, 0)},
         {},
         {},
         2,
         false},
        {"a switched-to scheme gets the engaged mode and each scheme its own value back",
         steady90,
         100,
         12,
         {Init(90, 0), Change(90, 1), Change(90, 2)},
         {99, 80, 80, 100, 100},
         {},
         9,
         false,
         "",
         100},
        // Its own 70 stays; the value in force changes, which is reported.
        {"a switched-to scheme below the level is never raised",
         steady90,
         100,
         12,
         {Init(90, 0), Change(90, 1), Change(90, 2), Change(90, 2)},
         {99, 80, 100},
         {},
         9,
         false},
        // Written again at the next reading, while the mode holds.
        {"a failed write is tried again",
         steady90,
         100,
         10,
         {Init(90, 0), Change(90, 1), Change(90, 1), Change(90, 2)},
         {99, 99, 80, 100},
         {{"PowerWriteACValueIndex() error=5", 1}},
         0,
         false,
         "",
         70,
         "fail PowerWriteACValueIndex 5 0 1\n"},
        {"unreadable setting is not written back",
         std::string(k50C) + "\n",
         0,
         3,
         {Init(50, 0)},
         {},
         {},
         0,
         false},
        {"query cannot be opened",
         "open-fail -1073738824\n3232\n",
         80,
         4,
         {Init(-273, 0)},
         {},
         {{kOpenFailure, 1},
          {"PdhAddCounter(", 0},
          {kCollectFailure, kPerReading},
          {kFormatFailure, 0},
          {kInitEntry, 1},
          {kEndEntry, 1}},
         0,
         false},
        {"counter cannot be added",
         "add-fail -1073738824\n3232\n",
         80,
         4,
         {Init(-273, 0)},
         {},
         // a query without counters has no data to collect
         {{kOpenFailure, 0},
          {kAddFailure, 1},
          {"PdhCollectQueryData() = -2147481643", kPerReading},
          {kFormatFailure, 0}},
         0,
         false},
        {"failed readings show the last good one and neither count nor break a step",
         "3632\ncollect-fail -1073738811\nformat-fail -1073738810\ncollect-fail -1073738811\n"
         "3632\n",
         100,
         12,
         // the status changes to failed and back post the same pair again
         {Init(90, 0), Change(90, 0), Change(90, 0), Change(90, 1), Change(90, 2)},
         {99, 80, 100},
         {{kCollectFailure, 2}, {kFormatFailure, 1}, {"temp=90\n", kPerReading}},
         0,
         false},
        {"failing from the start reads -273",
         "collect-fail -1073738811\nformat-fail -1073738810\n3232\n",
         100,
         4,
         {Init(-273, 0), Change(50, 0)},
         {},
         {{"PdhCollectQueryData() = -1073738811", 1},
          {"temp=-273\n", 2},
          {"PdhGetFormattedCounterValue() = -1073738810", 1}},
         0,
         false},
        {"the hottest zone, a zone frozen at 400 K aside",
         "zone \\_TZ.THRM\n3232\nzone \\_TZ.FROZ\n4002\nzone \\_TZ.CPUZ\n3632\n",
         100,
         11,
         {Init(90, 0), Change(90, 1), Change(90, 2)},
         {99, 80, 100},
         {{"PdhGetFormattedCounterArray() = ", 0}, {"temp=90\n", kPerReading}},
         0,
         false,
         "*"},
        {"a chosen zone that is missing",
         "zone \\_TZ.THRM\n3232\n",
         100,
         3,
         {Init(-273, 0)},
         {},
         {{"PdhAddCounter(\\Thermal Zone Information(\\_TZ.GONE)\\High Precision Temperature) = ",
           1}},
         0,
         false,
         "\\_TZ.GONE"},
        // The old zone's 50 must not stand in for the new one.
        {"a zone chosen later that is missing shows no reading",
         "zone \\_TZ.THRM\n3232\n",
         100,
         5,
         {Init(50, 0), Change(-273, 0)},
         {},
         {},
         0,
         false,
         "\\_TZ.THRM",
         70,
         "",
         "\\_TZ.GONE"},
        {"without the default zone, noticed at the reading, the hottest is read at once",
         "lazy-instances\nzone \\_TZ.THRM\n3232\n",
         100,
         4,
         {Init(50, 0)},
         {},
         {{kFormatFailure, 0}, {"temp=50\n", kPerReading}, {kHottestInstead, 1}},
         0,
         false,
         "",
         70,
         "",
         nullptr,
         1},
        {"without a window record nothing is posted",
         steady90,
         100,
         10,
         {},
         {99, 80, 100},
         {},
         0,
         true},
    };
}

std::string StoreText(const char* active, int balancedAc, int highAc)
{
    return std::string("active ") + active + "\n" + "scheme " + kBalancedScheme + " " +
           std::to_string(balancedAc) + " 100\n" + "scheme " + kHighPerformanceScheme + " " +
           std::to_string(highAc) + " 100\n";
}

class CTempWatchTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        OpenTestLog();
        window.hwnd = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window.hwnd.load(), nullptr);
    }

    void TearDown() override { DestroyWindow(window.hwnd.load()); }

    void Pump(std::vector<Report>& reports)
    {
        MSG msg;
        while (PeekMessageA(&msg, window.hwnd.load(), WM_TEMPINIT, WM_TEMPCHANGE, PM_REMOVE)) {
            reports.push_back({msg.message, static_cast<int64_t>(static_cast<INT_PTR>(msg.wParam)),
                               static_cast<int64_t>(msg.lParam)});
        }
    }

    void Run(const Scenario& row);

    MessageWindow window{};
};

// What the trace shows of the cap's check: the processor's counters added to the watcher's query
// (and removed) while the cap lowers a value, and the collections that took their values.
struct TracedCheck {
    int added = 0;
    int removed = 0;
    int collections = 0;
};

TracedCheck TraceCheck(const FakePlatform& fakes)
{
    TracedCheck traced;
    for (const std::string& line : fakes.Trace()) {
        traced.added += line.find("path=\"\\Processor Information(") != std::string::npos;
        traced.removed += line.rfind("PdhRemoveCounter ", 0) == 0;
        traced.collections += line.rfind("PdhCollectQueryData ", 0) == 0 &&
                              TraceField(line, "reading").find("performance=") != std::string::npos;
    }
    return traced;
}

// One "temp monitor" entry is logged per reading.
int ReadingsSince(size_t logStart)
{
    return CountOf(LogSince(logStart), "temp monitor:");
}

void CTempWatchTest::Run(const Scenario& row)
{
    FakePlatform fakes;
    ASSERT_TRUE(fakes.Begin("watch"));
    fakes.WritePdhScript(row.pdhScript);
    std::string store = StoreText(kBalancedScheme, row.startAc, 100);
    if (row.startAc == 0)
        store += "fail PowerReadACValue 5 0 -1\n";
    store += row.powerRules;
    fakes.WritePowerStore(store);
    size_t logStart = LogSize();

    CTempWatch watch{};
    watch.window = row.noWindow ? nullptr : &window;
    std::snprintf(watch.zone, sizeof watch.zone, "%s", row.zone);
    watch.Start(25, CTempWatch::callbackfnc, &watch);

    std::vector<Report> reports;
    bool switched = false;
    bool chosen = false;
    double deadline = NowMs() + 30000.0;
    int readings = 0;
    while ((readings = ReadingsSince(logStart)) < row.readings && NowMs() < deadline) {
        if (row.switchSchemeAfter != 0 && !switched && readings >= row.switchSchemeAfter) {
            // The fakes' lock keeps the watcher's own calls from saving over the switch.
            fakes.WritePowerStore(
                StoreText(kHighPerformanceScheme, fakes.AcValue(kBalancedScheme), row.switchedAc));
            switched = true;
        }
        if (row.chosenLater != nullptr && !chosen && readings >= 2) {
            WatchChoice choice = {};
            std::snprintf(choice.zone, sizeof choice.zone, "%s", row.chosenLater);
            choice.throttleAt = AMBREL_UPPER_THRESHOLD;
            chosen = watch.RequestChoice(choice);
        }
        Pump(reports);
        Sleep(5);
    }
    watch.Stop();
    Pump(reports);
    ASSERT_GE(readings, row.readings) << "the watcher stalled";

    std::string log = LogSince(logStart);
    int total = CountOf(log, "temp monitor:");
    EXPECT_EQ(reports, row.reports);
    EXPECT_EQ(fakes.AcWrites(), row.acWrites);
    EXPECT_EQ(static_cast<int>(fakes.TraceOf("PdhCollectQueryData").size()),
              total + row.extraCollections)
        << "one collection per reading";
    // The cap's check adds the processor's counters to that collection only while the cap lowers
    // a value: never where nothing was written; removed again (or closed with the query).
    const TracedCheck check = TraceCheck(fakes);
    if (row.acWrites.empty()) {
        EXPECT_EQ(0, check.added);
    }
    EXPECT_LE(check.collections, total);
    EXPECT_LE(check.removed, check.added);
    // What the menu and the tooltip show agrees with what was read.
    EXPECT_EQ(CountOf(log, kHottestInstead) == 1, IsHottestZone(watch.ZoneRead("")));
    for (const LogCount& expected : row.logCounts) {
        int count = expected.count == kPerReading ? total : expected.count;
        EXPECT_EQ(CountOf(log, expected.text), count) << expected.text << "\n" << log;
    }
    // While the mode stays 0, the readings make no power call after the start's read.
    if (row.acWrites.empty() && row.switchSchemeAfter == 0) {
        std::vector<size_t> collections, powerCalls;
        std::vector<std::string> calls = fakes.TraceFunctions();
        for (size_t i = 0; i < calls.size(); ++i)
            (calls[i] == "PdhCollectQueryData" ? collections : powerCalls).push_back(i);
        ASSERT_GE(collections.size(), 2u);
        for (size_t call : powerCalls) {
            if (calls[call].compare(0, 5, "Power") == 0) {
                EXPECT_TRUE(call < collections.front() || call > collections.back()) << call;
            }
        }
    }
    if (row.switchSchemeAfter != 0) {
        EXPECT_TRUE(switched);
        EXPECT_EQ(fakes.AcValue(kBalancedScheme), row.startAc);
        EXPECT_EQ(fakes.AcValue(kHighPerformanceScheme), row.switchedAc);
    } else if (row.startAc != 0) {
        EXPECT_EQ(fakes.AcValue(kBalancedScheme), row.startAc);
    }

    // Stop has joined the worker, whose END closed the counter and wrote the setting back.
    EXPECT_EQ(watch.thread, nullptr);
    EXPECT_EQ(watch.query, nullptr);
    EXPECT_EQ(watch.counter, nullptr);
    EXPECT_EQ(watch.ambrel.inForce, 0u);
    EXPECT_EQ(watch.window, nullptr);
    EXPECT_EQ(watch.lastPosted.temperature, 0);
    EXPECT_EQ(watch.lastPosted.mode, 0);
    EXPECT_NE(watch.stopEvent, nullptr);

    // So Close finds only the stop event left to release.
    size_t traceBeforeClose = fakes.Trace().size();
    watch.Close();
    watch.Close();
    EXPECT_EQ(watch.stopEvent, nullptr);
    EXPECT_EQ(fakes.Trace().size(), traceBeforeClose) << "Close called the platform again";
    EXPECT_EQ(CountOf(LogSince(logStart), kEndEntry), 1);
    fakes.End();
}

TEST_F(CTempWatchTest, Scenarios)
{
    for (const Scenario& row : Scenarios()) {
        SCOPED_TRACE(row.name);
        Run(row);
    }
}

// Close on its own, without the Stop that Run makes first, still writes back and closes.
TEST_F(CTempWatchTest, CloseAloneStopsWritesBackAndReleasesEverything)
{
    FakePlatform fakes;
    ASSERT_TRUE(fakes.Begin("watch-close"));
    fakes.WritePdhScript(std::string(k90C) + "\n");
    fakes.WritePowerStore(StoreText(kBalancedScheme, 100, 100));
    size_t logStart = LogSize();

    CTempWatch watch{};
    watch.window = &window;
    watch.Start(25, CTempWatch::callbackfnc, &watch);
    double deadline = NowMs() + 30000.0;
    while (ReadingsSince(logStart) < 5 && NowMs() < deadline)
        Sleep(5);
    watch.Close();

    // Stopped in mode 1 or 2: the last write gives the own value back.
    const std::vector<int> writes = fakes.AcWrites();
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(99, writes.front());
    EXPECT_EQ(100, writes.back());
    // The cap's counters were in the watcher's query, and went with it.
    EXPECT_EQ(fakes.TraceOf("PdhCloseQuery").size(), 1u);
    EXPECT_EQ(2, TraceCheck(fakes).added);
    EXPECT_EQ(0, TraceCheck(fakes).removed);
    EXPECT_EQ(watch.thread, nullptr);
    EXPECT_EQ(watch.stopEvent, nullptr);
    EXPECT_EQ(watch.query, nullptr);
    EXPECT_EQ(watch.ambrel.inForce, 0u);
    fakes.End();
}

// The performance counter of the history window: a rate, so the opening collects once and
// every sample after it has a value; where the counter does not exist nothing stays open.
TEST_F(CTempWatchTest, PerformanceCounterSamplesWhereItExists)
{
    struct Row {
        const char* script;
        bool opens;
        std::vector<int> samples; // -1: no value
    } rows[] = {
        {"3232\nperformance 63\n", true, {63, 41}},
        {"performance 120\n", true, {120, 41}},
        {"3232\nno-performance\n", false, {-1, -1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.script);
        FakePlatform fakes;
        ASSERT_TRUE(fakes.Begin("performance"));
        fakes.WritePdhScript(row.script);
        size_t logStart = LogSize();
        PerformanceCounter performance{};
        EXPECT_EQ(row.opens, performance.Open());
        // a whole line, which the next entry does not run on
        EXPECT_EQ(row.opens ? 0 : 1, CountOf(LogSince(logStart), "Performance) = -1073738824\n"));
        EXPECT_EQ(row.opens, performance.query != nullptr);
        std::vector<int> samples;
        for (int i = 0; i < 2; ++i) {
            int32_t percent = -1;
            samples.push_back(performance.Sample(percent) ? percent : -1);
            fakes.AppendPdhScript("performance 41\n");
        }
        EXPECT_EQ(row.samples, samples);
        performance.Close();
        performance.Close();
        EXPECT_EQ(nullptr, performance.query);
        EXPECT_EQ(1u, fakes.TraceOf("PdhCloseQuery").size());
        fakes.End();
    }
}

} // namespace

// The same with the busy share, as the cap's check opens it: the utility, or the processor time
// where the utility is missing; each collection takes the script's next items, as the readings
// do. A utility above 100 (the processor boosting at full load) counts as 100.
TEST_F(CTempWatchTest, PerformanceWithBusyShareFollowsTheScript)
{
    struct Row {
        const char* script;
        bool opens;
        std::vector<int> samples; // performance and busy of each sample; -1: no value
        const char* busyPath;
    } rows[] = {
        {"performance 130\nperformance 120\nperformance 131\nutility 10\nutility 95\nutility 130\n",
         true,
         {120, 95, 131, 100},
         "% Processor Utility"},
        {"no-utility\nperformance 80\nutility 60\n", true, {80, 60, 80, 60}, "% Processor Time"},
        {"no-performance\n", false, {-1, -1, -1, -1}, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.script);
        FakePlatform fakes;
        ASSERT_TRUE(fakes.Begin("performance-busy"));
        fakes.WritePdhScript(row.script);
        PerformanceCounter counter{};
        EXPECT_EQ(row.opens, counter.Open(true));
        std::vector<int> samples;
        for (int i = 0; i < 2; ++i) {
            const ProcessorSample sample = counter.SampleWithBusy();
            samples.push_back(sample.ok ? sample.performance : -1);
            samples.push_back(sample.ok ? sample.busy : -1);
        }
        EXPECT_EQ(row.samples, samples);
        const std::vector<std::string> added = fakes.TraceOf("PdhAddEnglishCounterA");
        if (row.busyPath != nullptr) {
            ASSERT_FALSE(added.empty());
            EXPECT_NE(std::string::npos, added.back().find(row.busyPath)) << added.back();
            EXPECT_EQ("0", TraceField(added.back(), "->"));
        }
        counter.Close();
        EXPECT_EQ(nullptr, counter.query);
        EXPECT_EQ(nullptr, counter.busy);
        fakes.End();
    }
}
