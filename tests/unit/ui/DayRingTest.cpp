#include "ui/DayRing.h"

#include "control/RecordsForPipe.h"
#include "present/RecordsFromPipe.h"

#include "power/Ambrel.h"

#include "watch/TempConversion.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{

// The local wall clock of day 1000 at h:m:s, and a monotonic clock that started elsewhere.
int64_t Local(int h, int m, int s = 0, int day = 1000)
{
    return ((int64_t(day) * 24 + h) * 60 + m) * MINUTE_MS + s * 1000;
}
const int64_t BOOT = 123456789;

struct Clock {
    int64_t monotonic;
    int64_t local;
};

// Both clocks run on by ms, then a report comes, or the ring is brought up to date.
bool Report(DayRing& ring, Clock& c, int64_t ms, int32_t celsius, int32_t mode, int32_t status,
            bool lowered)
{
    c = {c.monotonic + ms, c.local + ms};
    return ring.Add(c.monotonic, c.local, celsius, mode, status, lowered);
}

bool Pass(DayRing& ring, Clock& c, int64_t ms)
{
    c = {c.monotonic + ms, c.local + ms};
    return ring.Advance(c.monotonic, c.local);
}

std::vector<int> Minute(const DayMinute& m)
{
    return {m.minute, m.low, m.high, m.mode, m.flags};
}

int32_t MinuteOf(int h, int m, int day = 1000)
{
    return static_cast<int32_t>(Local(h, m, 0, day) / MINUTE_MS);
}

// A reading holds until the next report: a minute's range includes what was held into it, and
// minutes without a report hold the last one.
TEST(DayRing, MinutesHoldTheReadingInForceAndBeginAtTheirBoundary)
{
    std::unique_ptr<DayRing> ring(new DayRing());
    Clock c = {BOOT, Local(10, 0)};
    EXPECT_TRUE(Report(*ring, c, 0, 50, 0, READING_OK, false));
    EXPECT_FALSE(Report(*ring, c, 30000, 60, 1, READING_OK, false));
    EXPECT_FALSE(Report(*ring, c, 29999, 55, 0, READING_OK, false));
    EXPECT_TRUE(Report(*ring, c, 1, 52, 0, READING_FAILED, false));
    EXPECT_TRUE(Pass(*ring, c, 3 * MINUTE_MS));
    EXPECT_FALSE(Pass(*ring, c, 59999));
    ASSERT_EQ(5, ring->count);
    EXPECT_EQ((std::vector<int>{MinuteOf(10, 0), 50, 60, 1, DAY_READING}), Minute(ring->At(0)));
    // The failed reading keeps what was held before it into the minute, and holds no reading.
    EXPECT_EQ((std::vector<int>{MinuteOf(10, 1), 55, 55, 0, DAY_READING}), Minute(ring->At(1)));
    EXPECT_EQ((std::vector<int>{MinuteOf(10, 4), 0, 0, 0, 0}), Minute(ring->At(4)));
    EXPECT_EQ(60, ring->today.peak);
    // Paused, the user's own values are in force: the minute holds no cap.
    Report(*ring, c, 0, 58, AMBREL_PAUSED_MODE, READING_OK, false);
    EXPECT_EQ(0, ring->At(ring->count - 1).mode);

    // A day and more without a report: the last day's minutes, never more than the ring holds.
    Report(*ring, c, 0, 70, 2, READING_OK, true);
    Pass(*ring, c, 3 * DAY_MINUTES * MINUTE_MS);
    ASSERT_EQ(DAY_MINUTES, ring->count);
    EXPECT_EQ((std::vector<int>{MinuteOf(10, 4, 1003) - DAY_MINUTES + 1, 70, 70, 2,
                                DAY_READING | DAY_LOWERED}),
              Minute(ring->At(0)));
    EXPECT_EQ(MinuteOf(10, 4, 1003), ring->At(DAY_MINUTES - 1).minute);
}

// Today's totals: each lowering that begins counts once, its time runs until the report that
// ends it, and at midnight they begin again, with a lowering in force then as today's first.
TEST(DayRing, TodayCountsLoweringsFromMidnight)
{
    std::unique_ptr<DayRing> ring(new DayRing());
    Clock c = {BOOT, Local(23, 0)};
    Report(*ring, c, 0, 95, 1, READING_OK, true);
    Report(*ring, c, 5 * MINUTE_MS, 80, 0, READING_OK, false);
    Report(*ring, c, 20 * MINUTE_MS, 90, 1, READING_OK, true);
    Report(*ring, c, 2000, 91, 1, READING_OK, true);
    EXPECT_EQ(2u, ring->today.episodes);
    EXPECT_EQ(5 * MINUTE_MS + 2000, ring->today.loweredMs);
    EXPECT_EQ(95, ring->today.peak);

    c.local = Local(23, 50);
    c.monotonic = BOOT + 50 * MINUTE_MS;
    Report(*ring, c, 0, 88, 1, READING_OK, true);
    Pass(*ring, c, 15 * MINUTE_MS);
    EXPECT_EQ((std::vector<int64_t>{1001, 1, 5 * MINUTE_MS, 88}),
              (std::vector<int64_t>{ring->today.day, ring->today.episodes, ring->today.loweredMs,
                                    ring->today.peak}));
    Report(*ring, c, MINUTE_MS, 70, 0, READING_OK, false);
    Report(*ring, c, MINUTE_MS, 86, 1, READING_OK, true);
    Report(*ring, c, 30000, 86, 0, READING_OK, false);
    EXPECT_EQ((std::vector<int64_t>{1001, 2, 6 * MINUTE_MS + 30000, 88}),
              (std::vector<int64_t>{ring->today.day, ring->today.episodes, ring->today.loweredMs,
                                    ring->today.peak}));
}

// Put back an hour (daylight saving time ends) or forward, the minutes held stay as long before
// now as they really were, under the new clock's times; a clock put forward past midnight begins
// a new day. A correction of seconds moves nothing.
TEST(DayRing, AClockChangeKeepsTheMinutesAtTheirRealDistance)
{
    const struct {
        int64_t change;
        int32_t lastMinute;
        int64_t day;
    } rows[] = {
        {-60 * MINUTE_MS, MinuteOf(1, 2), 1000},
        {60 * MINUTE_MS, MinuteOf(3, 2), 1000},
        {25000, MinuteOf(2, 2), 1000},
        {22 * 60 * MINUTE_MS, MinuteOf(0, 2, 1001), 1001},
    };
    for (const auto& row : rows) {
        std::unique_ptr<DayRing> ring(new DayRing());
        Clock c = {BOOT, Local(1, 58)};
        Report(*ring, c, 0, 50, 0, READING_OK, false);
        Report(*ring, c, 3 * MINUTE_MS, 60, 0, READING_OK, false);
        c.local += row.change;
        Report(*ring, c, MINUTE_MS, 70, 0, READING_OK, false);
        ASSERT_EQ(5, ring->count) << row.change;
        EXPECT_EQ(row.lastMinute, ring->At(4).minute) << row.change;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(ring->At(i).minute + 1, ring->At(i + 1).minute) << row.change << " " << i;
        EXPECT_EQ(row.day, ring->today.day) << row.change;
    }
}

// What the controller sends is what a view shows: the minutes of the last 24 hours and today's
// totals, to the second.
TEST(DayRing, AViewTakesTheControllersDayFromThePipe)
{
    std::unique_ptr<DayRing> ring(new DayRing());
    Clock c = {BOOT, Local(8, 0)};
    Report(*ring, c, 0, 40, 0, READING_OK, false);
    Report(*ring, c, DAY_MINUTES * MINUTE_MS, 90, 2, READING_OK, true);
    Report(*ring, c, 90500, 60, 0, READING_OK, false);
    std::unique_ptr<PipeDay> sent(new PipeDay());
    DayToPipe(*ring, LocalMinute(c.local), *sent);
    EXPECT_EQ(DAY_MINUTES, sent->count);

    std::unique_ptr<DayRing> view(new DayRing());
    view->Add(BOOT, Local(3, 0), 30, 0, READING_OK, true);
    DayFromPipe(*sent, 5, c.local, *view);
    ASSERT_EQ(DAY_MINUTES, view->count);
    for (int i = 0; i < DAY_MINUTES; ++i)
        ASSERT_EQ(Minute(ring->At(i)), Minute(view->At(i))) << i;
    EXPECT_EQ((std::vector<int64_t>{1001, 1, 90000, 90}),
              (std::vector<int64_t>{view->today.day, view->today.episodes, view->today.loweredMs,
                                    view->today.peak}));
    // The status that follows the day message continues it.
    view->Add(5 + 1000, c.local + 1000, 91, 2, READING_OK, true);
    EXPECT_EQ(2u, view->today.episodes);
}

} // namespace
