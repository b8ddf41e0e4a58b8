// The throttle controller on the platform side: a temperature series fed to Ambrel leaves its
// steps in the fake power store, in the call trace and in %TEMP%\Ambrel.log.
#include "PowerTestSupport.h"

#include "power/Ambrel.h"
#include "power/SchemeKeeper.h"

#include <cstdlib>

namespace
{

// Class 0 and class 1 are read (a value changed by hand is the user's own from then on), then
// written.
const std::vector<std::string> kStepCalls = {"PowerGetActiveScheme",   "PowerReadACValue",
                                             "PowerReadACValue",       "PowerWriteACValueIndex",
                                             "PowerWriteACValueIndex", "PowerSetActiveScheme",
                                             "PowerGetActiveScheme",   "PowerReadACValue"};

std::vector<int> Series(std::initializer_list<std::pair<int, int>> runs)
{
    std::vector<int> temperatures;
    for (const auto& run : runs)
        temperatures.insert(temperatures.end(), run.second, run.first);
    return temperatures;
}

std::string Monitor(int mode, int vec, int count, int t)
{
    return "temp monitor:   mode=" + std::to_string(mode) + ", vec=" + std::to_string(vec) +
           ", count=" + std::to_string(count) + ", temp=" + std::to_string(t);
}

std::string Changed(int percent)
{
    return "power setting changed: throttle max=" + std::to_string(percent);
}

// 90 x8 then 70 x8 from mode 0: up to 99 and 80, down to 99 and 100.
std::vector<std::string> UpAndDownLog()
{
    std::vector<std::string> log;
    const int steps[] = {99, 80, 99, 100};
    for (int s = 0; s < 4; ++s) {
        const int t = s < 2 ? 90 : 70;
        const int vec = s < 2 ? 1 : -1;
        const int modeBefore = s < 2 ? s : 4 - s;
        for (int count = 1; count <= 3; ++count)
            log.push_back(Monitor(modeBefore, vec, count, t));
        log.push_back(Changed(steps[s]));
        log.push_back(Monitor(modeBefore + vec, 0, 0, t));
    }
    return log;
}

struct SeriesCase {
    const char* name;
    std::vector<int> temperatures;
    std::string failRules;
    std::vector<int> acWrites;
    int finalAc;
    int finalMode;
    std::vector<std::string> log; // messages in order, without the entry prefix
};

class AmbrelWineTest : public ::testing::TestWithParam<SeriesCase>
{
  protected:
    void SetUp() override { BeginFakes(fake); }
    void TearDown() override { fake.End(); }

    FakePlatform fake;
};

TEST_P(AmbrelWineTest, StepsReachTheStoreTheTraceAndTheLogFile)
{
    const SeriesCase& c = GetParam();
    fake.WritePowerStore(TwoSchemeStore(kBalancedScheme, 100, c.failRules));
    LogSince log;

    SchemeKeeper keeper{};
    Ambrel controller = {};
    controller.setting = &keeper;
    for (int t : c.temperatures)
        controller.OnTemperature(t);

    EXPECT_EQ(c.finalMode, controller.mode);
    EXPECT_EQ(c.acWrites, fake.AcWrites());
    EXPECT_EQ(c.finalAc, fake.AcValue(kBalancedScheme));
    EXPECT_EQ(c.finalAc, fake.AcValue(kBalancedScheme, 1));
    EXPECT_EQ(95, fake.DcValue(kBalancedScheme));
    EXPECT_EQ(60, fake.DcValue(kBalancedScheme, 1));
    EXPECT_EQ(100, fake.AcValue(kHighPerformanceScheme));
    EXPECT_EQ(85, fake.DcValue(kHighPerformanceScheme));

    // Every step reads, writes, activates and reads back, in that order.
    std::vector<std::string> expectedCalls;
    for (size_t i = 0; i < c.acWrites.size(); ++i)
        expectedCalls.insert(expectedCalls.end(), kStepCalls.begin(), kStepCalls.end());
    EXPECT_EQ(expectedCalls, fake.TraceFunctions());

    const std::string bytes = log.Bytes();
    std::vector<std::string> messages;
    for (const std::string& line : log.Lines())
        messages.push_back(MessageOfLogLine(line));
    EXPECT_EQ(c.log, messages);
    // Text mode: every line break of an entry is stored as "\r\n", and every entry ends in one.
    size_t breaks = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ++breaks;
            EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare line feed at " << i;
        }
    }
    EXPECT_EQ(c.log.size(), breaks);
    EXPECT_EQ("\r\n", bytes.substr(bytes.size() >= 2 ? bytes.size() - 2 : 0));
}

INSTANTIATE_TEST_SUITE_P(
    Series, AmbrelWineTest,
    ::testing::Values(
        SeriesCase{
            "UpAndDown", Series({{90, 8}, {70, 8}}), "", {99, 80, 99, 100}, 100, 0, UpAndDownLog()},
        SeriesCase{"BandClearsAPendingStep",
                   Series({{90, 3}, {82, 1}, {90, 3}}),
                   "",
                   {},
                   100,
                   0,
                   {Monitor(0, 1, 1, 90), Monitor(0, 1, 2, 90), Monitor(0, 1, 3, 90),
                    Monitor(0, 0, 0, 82), Monitor(0, 1, 1, 90), Monitor(0, 1, 2, 90),
                    Monitor(0, 1, 3, 90)}}),
    [](const ::testing::TestParamInfo<SeriesCase>& param) { return param.param.name; });

TEST(AmbrelWineFailureTest, AFailedWriteIsLoggedAndWhatWasWrittenTakesEffect)
{
    FakePlatform fake;
    BeginFakes(fake);
    fake.WritePowerStore(TwoSchemeStore(kBalancedScheme, 100, "fail PowerWriteACValueIndex 5 2\n"));
    LogSince log;

    SchemeKeeper keeper{};
    Ambrel controller = {};
    controller.setting = &keeper;
    for (int t : Series({{90, 8}}))
        controller.OnTemperature(t);

    EXPECT_EQ(2, controller.mode);
    EXPECT_EQ((std::vector<int>{99, 80}), fake.AcWrites());
    EXPECT_EQ(99, fake.AcValue(kBalancedScheme)) << "the failed write leaves 99 in place";
    EXPECT_EQ(80, fake.AcValue(kBalancedScheme, 1)) << "class 1 is written all the same";
    // The second step writes both classes and activates what was written, then reads back; the
    // failed value is left for the next reading.
    std::vector<std::string> twoSteps = kStepCalls;
    twoSteps.insert(twoSteps.end(), kStepCalls.begin(), kStepCalls.end());
    EXPECT_EQ(twoSteps, fake.TraceFunctions());
    EXPECT_TRUE(keeper.retryDue);

    const std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(10u, lines.size()) << log.Bytes();
    // The error message carries no line break, so the next entry continues its line.
    const std::string joined = MessageOfLogLine(lines[8]);
    const std::string error = "PowerWriteACValueIndex() error=5";
    ASSERT_EQ(0u, joined.find(error)) << joined;
    EXPECT_EQ(Changed(99), MessageOfLogLine(joined.substr(error.size())));
    EXPECT_EQ(Monitor(2, 0, 0, 90), MessageOfLogLine(lines[9]));
    fake.End();
}

} // namespace
