#include "link/PipeMessage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace
{

PipeStatus Status()
{
    PipeStatus status = {91, 2, 1, 75, true, "\\_TZ.THRM", 90, false, PIPE_SET_THROTTLE_AT, 9, 5};
    return status;
}

std::vector<uint8_t> Encoded(const PipeStatus& status)
{
    std::vector<uint8_t> bytes(PIPE_MAX_MESSAGE);
    bytes.resize(EncodePipeStatus(status, bytes.data(), bytes.size()));
    return bytes;
}

PipeFrame Frame(const std::vector<uint8_t>& bytes, size_t size)
{
    size_t messageSize = 0;
    uint16_t kind = 0;
    return CheckPipeFrame(bytes.data(), size, messageSize, kind);
}

TEST(PipeMessage, StatusAndHistoryComeThroughWhole)
{
    const std::vector<uint8_t> bytes = Encoded(Status());
    size_t size = 0;
    uint16_t kind = 0;
    ASSERT_EQ(PipeFrame::Complete, CheckPipeFrame(bytes.data(), bytes.size(), size, kind));
    EXPECT_EQ(PIPE_KIND_STATUS, kind);
    PipeStatus out = {};
    ASSERT_TRUE(DecodePipeStatus(bytes.data(), size, out));
    EXPECT_EQ(91, out.temperature);
    EXPECT_EQ(75, out.inForce);
    EXPECT_TRUE(out.lowered);
    EXPECT_STREQ("\\_TZ.THRM", out.zone);
    EXPECT_EQ(PIPE_SET_THROTTLE_AT, out.setBy);
    EXPECT_EQ(5, out.failedMinute);

    std::unique_ptr<PipeHistory> history(new PipeHistory());
    history->count = PIPE_HISTORY_CAPACITY;
    for (int i = 0; i < history->count; ++i)
        history->samples[i] = {static_cast<uint32_t>(i * 2000), 40 + i % 60, 2, 0};
    std::vector<uint8_t> full(PIPE_MAX_MESSAGE);
    full.resize(EncodePipeHistory(*history, full.data(), full.size()));
    ASSERT_EQ(PipeFrame::Complete, CheckPipeFrame(full.data(), full.size(), size, kind));
    std::unique_ptr<PipeHistory> back(new PipeHistory());
    ASSERT_TRUE(DecodePipeHistory(full.data(), size, *back));
    ASSERT_EQ(PIPE_HISTORY_CAPACITY, back->count);
    EXPECT_EQ(1023u * 2000, back->samples[1023].ageMs);
    EXPECT_EQ(40 + 1023 % 60, back->samples[1023].value);
}

// Whatever has arrived of a message is waited for; a header that cannot be is refused at once.
TEST(PipeMessage, FramesAreCheckedFromTheirHeader)
{
    std::vector<uint8_t> bytes = Encoded(Status());
    for (size_t size = 0; size < bytes.size(); ++size)
        EXPECT_EQ(PipeFrame::Partial, Frame(bytes, size)) << size;
    struct Row {
        size_t offset;
        uint8_t value;
        PipeFrame frame;
    } rows[] = {
        {2, 0x01, PipeFrame::Oversized}, // 64 KiB and more
        {0, 0x04, PipeFrame::Oversized}, // smaller than the header
        {4, 0x07, PipeFrame::Unknown},   // kind
        {6, 0x02, PipeFrame::Unknown},   // version
        {0, 0x70, PipeFrame::Unknown},   // a status of another size
    };
    for (const Row& row : rows) {
        std::vector<uint8_t> bad = bytes;
        bad[row.offset] = row.value;
        EXPECT_EQ(row.frame, Frame(bad, bad.size())) << row.offset;
    }
}

TEST(PipeMessage, ValuesOutOfRangeAreRefused)
{
    std::vector<PipeStatus> bad(7, Status());
    bad[0].mode = 3;
    bad[1].temperature = -274;
    bad[2].status = 3; // a view's own status never comes from the pipe
    bad[3].inForce = 101;
    bad[4].failedHour = 24;
    bad[5].zone[3] = '\n';
    std::memset(bad[6].zone, 'Z', PIPE_ZONE_SIZE); // no room for its zero: it is cut
    for (size_t i = 0; i < bad.size(); ++i) {
        PipeStatus out = {};
        const std::vector<uint8_t> bytes = Encoded(bad[i]);
        EXPECT_EQ(i == 6, DecodePipeStatus(bytes.data(), bytes.size(), out)) << i;
    }
    std::vector<uint8_t> flag = Encoded(Status());
    flag[28] = 2; // lowered is 0 or 1
    PipeStatus out = {};
    EXPECT_FALSE(DecodePipeStatus(flag.data(), flag.size(), out));

    PipeHistory history = {};
    history.count = 2;
    std::vector<uint8_t> bytes(PIPE_MAX_MESSAGE);
    bytes.resize(EncodePipeHistory(history, bytes.data(), bytes.size()));
    bytes[8] = 3; // a count that the size does not hold
    EXPECT_FALSE(DecodePipeHistory(bytes.data(), bytes.size(), history));
    history.count = PIPE_HISTORY_CAPACITY + 1;
    EXPECT_EQ(0u, EncodePipeHistory(history, bytes.data(), PIPE_MAX_MESSAGE));
}

} // namespace
