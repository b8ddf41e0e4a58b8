#include "link/ViewerLog.h"

#include <gtest/gtest.h>

namespace
{

struct Line {
    ViewerLine line;
    uint64_t at;
    bool written;
};

// Clients that come and go, are refused and dropped within a minute: the first of each kind is
// written, the rest come out as counts at the minute's end, and the next minute starts afresh.
TEST(ViewerLog, EachKindIsWrittenOnceAMinuteAndTheRestCounted)
{
    ViewerLog log;
    const Line lines[] = {
        {ViewerLine::Connected, 1000, true},
        {ViewerLine::Connected, 1010, false},
        {ViewerLine::Left, 1020, true},
        {ViewerLine::Left, 1030, false},
        {ViewerLine::RefusedProcess, 1040, true},
        {ViewerLine::RefusedTooMany, 1041, true},
        {ViewerLine::RefusedProcess, 1042, false},
        {ViewerLine::RefusedTooMany, 1043, false},
        {ViewerLine::DroppedSlow, 1050, true},
        {ViewerLine::DroppedGarbage, 1051, true},
        {ViewerLine::DroppedSlow, 60999, false},
    };
    for (const Line& line : lines)
        EXPECT_EQ(line.written, log.Take(line.line, line.at)) << ViewerLineText(line.line);
    EXPECT_EQ(61000u, log.DueAt());
    ViewerCounts counts = {};
    EXPECT_FALSE(log.TakeUnwritten(60999, false, counts));
    ASSERT_TRUE(log.TakeUnwritten(61000, false, counts));
    EXPECT_EQ(1u, counts.connected);
    EXPECT_EQ(1u, counts.left);
    EXPECT_EQ(2u, counts.refused);
    EXPECT_EQ(1u, counts.dropped);
    EXPECT_EQ(0u, log.DueAt());
    EXPECT_FALSE(log.TakeUnwritten(200000, true, counts));

    EXPECT_TRUE(log.Take(ViewerLine::DroppedSlow, 61001));
    EXPECT_FALSE(log.Take(ViewerLine::DroppedSlow, 61002));
    // What is counted when the server stops comes out before the minute is over.
    ASSERT_TRUE(log.TakeUnwritten(61003, true, counts));
    EXPECT_EQ(1u, counts.dropped);
    EXPECT_EQ(0u, counts.connected + counts.left + counts.refused);
}

} // namespace
