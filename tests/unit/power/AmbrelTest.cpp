#include "power/Ambrel.h"

#include "RecordingPlatform.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace
{

struct State {
    int mode;
    int vec;
    int count;
};

bool operator==(const State& a, const State& b)
{
    return a.mode == b.mode && a.vec == b.vec && a.count == b.count;
}

std::ostream& operator<<(std::ostream& out, const State& s)
{
    return out << "{mode " << s.mode << ", vec " << s.vec << ", count " << s.count << "}";
}

Ambrel ControllerIn(int mode)
{
    Ambrel controller = {};
    controller.mode = mode;
    controller.setting = &g_platform;
    return controller;
}

State StateOf(const Ambrel& c)
{
    return {c.mode, c.vec, c.count};
}

struct Row {
    const char* name;
    int startMode;
    std::vector<int> readings;
    State end;
    std::vector<std::string> powerCalls;
    // The chosen upper threshold; 0 leaves the default.
    int throttleAt = 0;
};

// Stands for a tick whose reading failed.
const int kFailed = INT32_MIN + 1;

const Row kRows[] = {
    {"four at 85 step up", 0, {85, 85, 85, 85}, {1, 0, 0}, {"write 99", "read 99"}},
    {"band reading clears the run", 0, {85, 85, 85, 82, 85}, {0, 1, 1}, {}},
    {"two steps up then saturate",
     0,
     {90, 90, 90, 90, 90, 90, 90, 90, 90, 90},
     {2, 0, 0},
     {"write 99", "read 99", "write 80", "read 80"}},
    {"two steps down then saturate",
     2,
     {79, 79, 79, 79, 79, 79, 79, 79, 79},
     {0, 0, 0},
     {"write 99", "read 99", "write 100", "read 100"}},
    {"opposite reading restarts the count",
     1,
     {85, 85, 79, 79, 79, 79},
     {0, 0, 0},
     {"write 100", "read 100"}},
    {"80 is inside the band", 1, {79, 79, 79, 80}, {1, 0, 0}, {}},
    {"84 is inside the band", 0, {85, 85, 85, 84}, {0, 0, 0}, {}},
    {"impossible step down neither counts nor breaks",
     0,
     {85, 85, 70, 85, 85},
     {1, 0, 0},
     {"write 99", "read 99"}},
    {"impossible step up neither counts nor breaks",
     2,
     {79, 90, 79, 79, 79},
     {1, 0, 0},
     {"write 99", "read 99"}},
    {"79 in mode 0 changes nothing", 0, {79, 79, 79, 79, 79}, {0, 0, 0}, {}},
    {"extreme readings", 0, {INT32_MAX, INT32_MIN, INT32_MAX}, {0, 1, 2}, {}},
    {"failed readings neither count nor break a run",
     0,
     {85, 85, kFailed, kFailed, kFailed, 85, 85},
     {1, 0, 0},
     {"write 99", "read 99"}},
    {"failed readings in mode 2 do not step down",
     2,
     {kFailed, kFailed, kFailed, kFailed, kFailed},
     {2, 0, 0},
     {}},
    {"at 95, 90 is inside the band", 0, {90, 90, 90, 90, 90}, {0, 0, 0}, {}, 95},
    {"at 95, 96 steps up", 0, {96, 96, 96, 96}, {1, 0, 0}, {"write 99", "read 99"}, 95},
    {"at 80, 75 is inside the band", 1, {74, 74, 74, 75}, {1, 0, 0}, {}, 80},
    {"at 80, 74 steps down", 1, {74, 74, 74, 74}, {0, 0, 0}, {"write 100", "read 100"}, 80},
};

} // namespace

TEST(Ambrel, ReadingSequencesGiveModesAndPowerWrites)
{
    for (const Row& row : kRows) {
        g_platform.Reset();
        Ambrel controller = ControllerIn(row.startMode);
        if (row.throttleAt != 0)
            controller.SetThrottleAt(row.throttleAt);
        for (int t : row.readings) {
            if (t == kFailed)
                controller.OnNoReading(47);
            else
                controller.OnTemperature(t);
        }
        EXPECT_EQ(row.end, StateOf(controller)) << row.name;
        EXPECT_EQ(row.powerCalls, g_platform.powerCalls) << row.name;
        EXPECT_EQ(row.readings.size() + row.powerCalls.size() / 2, g_platform.log.size())
            << row.name;
    }
}

TEST(Ambrel, StepIsLoggedBeforeTheReadingThatTookIt)
{
    g_platform.Reset();
    Ambrel controller = ControllerIn(0);
    for (int i = 0; i < 4; ++i)
        controller.OnTemperature(85);
    const std::vector<std::string> expected = {
        "temp monitor:   mode=0, vec=1, count=1, temp=85\n",
        "temp monitor:   mode=0, vec=1, count=2, temp=85\n",
        "temp monitor:   mode=0, vec=1, count=3, temp=85\n",
        "power setting changed: throttle max=99\n",
        "temp monitor:   mode=1, vec=0, count=0, temp=85\n",
    };
    EXPECT_EQ(expected, g_platform.log);
}

TEST(Ambrel, ANewThresholdCancelsAPendingStepAndMovesTheBand)
{
    g_platform.Reset();
    Ambrel controller = ControllerIn(0);
    for (int t : {90, 90, 90})
        controller.OnTemperature(t);
    controller.SetThrottleAt(85); // the threshold in force: nothing changes
    EXPECT_EQ((State{0, 1, 3}), StateOf(controller));
    controller.SetThrottleAt(90);
    EXPECT_EQ((State{0, 0, 0}), StateOf(controller));
    EXPECT_EQ(85, controller.LowerThreshold());
    controller.OnNoReading(-273);
    EXPECT_EQ("temp monitor:   mode=0, vec=0, count=0, temp=-273\n", g_platform.log.back());
}

TEST(Ambrel, SetPowerModeLogsWhatThePlatformReadsBack)
{
    // The user's own value is 90: mode 1 lowers nothing, mode 2 lowers it to 80.
    struct {
        int mode;
        bool failReads;
        bool failWrites;
        std::vector<std::string> calls;
        uint32_t inForce;
        bool lowered;
    } rows[] = {
        {0, false, false, {"write 100", "read 90"}, 90, false},
        {1, false, false, {"write 99", "read 90"}, 90, false},
        {2, false, false, {"write 80", "read 80"}, 80, true},
        // A failed read keeps the requested value; a failed write shows what the scheme holds.
        {2, true, false, {"write 80", "read failed"}, 80, true},
        {2, false, true, {"write 80", "read 90"}, 90, false},
        {3, false, false, {}, 0, false},
        {-1, false, false, {}, 0, false},
    };
    for (const auto& row : rows) {
        g_platform.Reset(90);
        g_platform.failReads = row.failReads;
        g_platform.failWrites = row.failWrites;
        Ambrel controller = ControllerIn(row.mode);
        controller.SetPowerMode();
        EXPECT_EQ(row.calls, g_platform.powerCalls) << row.mode;
        EXPECT_EQ(row.inForce, controller.inForce) << row.mode;
        EXPECT_EQ(row.lowered, controller.lowered) << row.mode;
        const std::string logged =
            row.calls.empty()
                ? "Ambrel.SetPowerMode() mode error " + std::to_string(row.mode) + "\n"
                : "power setting changed: throttle max=" + std::to_string(row.inForce) + "\n";
        EXPECT_EQ(std::vector<std::string>{logged}, g_platform.log) << row.mode;
    }
}

// The pause, step by step: 't' a reading, 'p' a pause of an hour at the clock's value, 'r' a
// resume, 'c' the clock at the value.
namespace
{

const uint64_t kHour = 60 * 60 * 1000;

struct PauseStep {
    char kind;
    uint64_t value;
};

struct PauseRow {
    const char* name;
    int startMode;
    bool forbidden;
    std::vector<PauseStep> steps;
    State end;
    int shownMode;
    std::vector<std::string> powerCalls;
};

std::vector<PauseStep> Hot(int readings)
{
    return std::vector<PauseStep>(static_cast<size_t>(readings), PauseStep{'t', 90});
}

std::vector<PauseStep> Then(std::vector<PauseStep> first, const std::vector<PauseStep>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

const PauseRow kPauseRows[] = {
    {"paused at 0: nothing to give back, hot readings take no step",
     0,
     false,
     Then({{'p', 0}}, Hot(9)),
     {0, 0, 0},
     AMBREL_PAUSED_MODE,
     {}},
    {"paused at 1: the own values back at once",
     1,
     false,
     Then({{'p', 0}}, Hot(9)),
     {0, 0, 0},
     AMBREL_PAUSED_MODE,
     {"write 100", "read 100"}},
    {"paused at 2: the own values back at once",
     2,
     false,
     {{'p', 0}},
     {0, 0, 0},
     AMBREL_PAUSED_MODE,
     {"write 100", "read 100"}},
    {"a pause drops a pending step",
     0,
     false,
     Then(Hot(3), {{'p', 0}, {'t', 90}}),
     {0, 0, 0},
     AMBREL_PAUSED_MODE,
     {}},
    {"resumed, four readings decide again",
     2,
     false,
     Then(Then(Then({{'p', 0}}, Hot(3)), {{'r', 0}}), Hot(3)),
     {0, 1, 3},
     0,
     {"write 100", "read 100"}},
    {"resumed, the fourth reading steps",
     2,
     false,
     Then(Then({{'p', 0}, {'r', 0}}, Hot(4)), {{'t', 82}}),
     {1, 0, 0},
     1,
     {"write 100", "read 100", "write 99", "read 99"}},
    {"a resume without a pause keeps the run",
     1,
     false,
     Then(Hot(2), {{'r', 0}}),
     {1, 1, 2},
     1,
     {}},
    {"not over a moment before the hour",
     2,
     false,
     Then({{'p', 5}, {'c', kHour + 4}}, Hot(4)),
     {0, 0, 0},
     AMBREL_PAUSED_MODE,
     {"write 100", "read 100"}},
    {"over on the hour, then four readings decide",
     2,
     false,
     Then({{'p', 5}, {'c', kHour + 5}}, Hot(4)),
     {1, 0, 0},
     1,
     {"write 100", "read 100", "write 99", "read 99"}},
    {"a second pause runs from its own start",
     0,
     false,
     Then({{'p', 0}, {'p', kHour / 2}, {'c', kHour + kHour / 4}}, Hot(4)),
     {0, 0, 0},
     AMBREL_PAUSED_MODE,
     {}},
    {"a policy forbids it", 2, true, Then({{'p', 0}}, Hot(1)), {2, 0, 0}, 2, {}},
};

} // namespace

TEST(Ambrel, PauseGivesBackAtOnceAndHoldsUntilResumedOrOver)
{
    for (const PauseRow& row : kPauseRows) {
        g_platform.Reset();
        Ambrel controller = ControllerIn(row.startMode);
        controller.pauseForbidden = row.forbidden;
        for (const PauseStep& step : row.steps) {
            if (step.kind == 't')
                controller.OnTemperature(static_cast<int>(step.value));
            else if (step.kind == 'p')
                EXPECT_EQ(!row.forbidden, controller.Pause(step.value, kHour)) << row.name;
            else if (step.kind == 'r')
                controller.Resume();
            else
                controller.OnClock(step.value);
        }
        EXPECT_EQ(row.end, StateOf(controller)) << row.name;
        EXPECT_EQ(row.shownMode, controller.ShownMode()) << row.name;
        EXPECT_EQ(row.powerCalls, g_platform.powerCalls) << row.name;
    }
}

// Only a pause of 1 minute to the longest is taken; a refused one leaves a pause in force as it
// was.
TEST(Ambrel, APauseOutsideItsRangeIsRefused)
{
    g_platform.Reset();
    Ambrel controller = ControllerIn(1);
    EXPECT_FALSE(controller.Pause(7, 0));
    EXPECT_FALSE(controller.Pause(7, AMBREL_LONGEST_PAUSE_MINUTES * 60 * 1000ull + 1));
    EXPECT_FALSE(controller.Paused());
    EXPECT_TRUE(controller.Pause(7, AMBREL_LONGEST_PAUSE_MINUTES * 60 * 1000ull));
    EXPECT_FALSE(controller.Pause(9, 0));
    EXPECT_FALSE(controller.OnClock(AMBREL_LONGEST_PAUSE_MINUTES * 60 * 1000ull + 6));
    EXPECT_TRUE(controller.OnClock(AMBREL_LONGEST_PAUSE_MINUTES * 60 * 1000ull + 7));
    // The rule every asker follows: the end of a pause is never forbidden, a pause is where a
    // policy forbids it, and the minutes must lie within the range either way.
    const struct {
        bool forbidden;
        long long minutes;
        PauseVerdict verdict;
    } rows[] = {
        {false, 0, PauseVerdict::Allowed},      {true, 0, PauseVerdict::Allowed},
        {false, 1, PauseVerdict::Allowed},      {true, 1, PauseVerdict::Forbidden},
        {false, 120, PauseVerdict::Allowed},    {true, 120, PauseVerdict::Forbidden},
        {false, 121, PauseVerdict::OutOfRange}, {true, 121, PauseVerdict::OutOfRange},
        {false, -1, PauseVerdict::OutOfRange},  {false, 1LL << 40, PauseVerdict::OutOfRange},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.verdict, JudgePause(row.forbidden, row.minutes))
            << row.forbidden << " " << row.minutes;
}

// An independent statement of the rules, written from the description of the controller
// rather than from its code: compared reading by reading over long random sequences.
namespace
{

struct Model {
    State s = {0, 0, 0};
    int steps = 0;

    void Feed(int t)
    {
        const bool hot = t >= 85;
        const bool cool = t < 80;
        if (!hot && !cool) {
            s.vec = 0;
            s.count = 0;
            return;
        }
        const int direction = hot ? 1 : -1;
        const bool possible = hot ? s.mode < 2 : s.mode > 0;
        if (!possible)
            return;
        if (s.vec == direction && s.count + 1 == 4) {
            s = {s.mode + direction, 0, 0};
            ++steps;
        } else if (s.vec == direction) {
            ++s.count;
        } else {
            s.vec = direction;
            s.count = 1;
        }
    }
};

} // namespace

TEST(Ambrel, MatchesModelOnRandomSequences)
{
    std::mt19937 random(20261207);
    // Readings clustered around the band so that every rule is exercised often.
    std::uniform_int_distribution<int> reading(74, 91);
    for (int sequence = 0; sequence < 200; ++sequence) {
        g_platform.Reset();
        Ambrel controller = ControllerIn(0);
        Model model;
        for (int i = 0; i < 500; ++i) {
            const int t = reading(random);
            controller.OnTemperature(t);
            model.Feed(t);
            ASSERT_EQ(model.s, StateOf(controller)) << "sequence " << sequence << " reading " << i;
        }
        EXPECT_EQ(2u * model.steps, g_platform.powerCalls.size());
        EXPECT_EQ(ThrottlePercentOfMode(model.s.mode), g_platform.throttleMax);
    }
}
