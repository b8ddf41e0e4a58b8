#include "link/PipeMessage.h"

#include "link/ControllerReport.h"

#include "watch/TempConversion.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{

PipeStatus Status()
{
    PipeStatus status = {91,
                         2,
                         1,
                         75,
                         true,
                         "\\_TZ.THRM",
                         90,
                         false,
                         PIPE_SET_THROTTLE_AT,
                         9,
                         5,
                         1800,
                         PIPE_EFFECT_NONE,
                         431};
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
    EXPECT_EQ(1800u, out.pausedSeconds);
    EXPECT_EQ(PIPE_EFFECT_NONE, out.effect);
    EXPECT_EQ(431, out.performance);
    // An older controller leaves the effect's bytes zero: it says nothing of the cap's effect.
    std::vector<uint8_t> older = bytes;
    older[33] = older[34] = older[35] = 0;
    ASSERT_TRUE(DecodePipeStatus(older.data(), older.size(), out));
    EXPECT_EQ(PIPE_EFFECT_OFF, out.effect);
    EXPECT_EQ(0, out.performance);

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
        {6, 0x03, PipeFrame::Unknown},   // a later version
        {6, 0x00, PipeFrame::Unknown},   // no version
        {6, 0x01, PipeFrame::Unknown},   // a status of version 1 is shorter
        {0, 0x70, PipeFrame::Unknown},   // a status of another size
    };
    for (const Row& row : rows) {
        std::vector<uint8_t> bad = bytes;
        bad[row.offset] = row.value;
        EXPECT_EQ(row.frame, Frame(bad, bad.size())) << row.offset;
    }
}

std::unique_ptr<PipeDay> Day(std::vector<PipeDayMinute> minutes)
{
    std::unique_ptr<PipeDay> day(new PipeDay());
    *day = {3, 14 * 60 + 5, 94, true, 0, {}};
    for (const PipeDayMinute& m : minutes)
        day->minutes[day->count++] = m;
    return day;
}

std::vector<uint8_t> EncodedDay(const PipeDay& day)
{
    std::vector<uint8_t> bytes(PIPE_MAX_MESSAGE);
    bytes.resize(EncodePipeDay(day, bytes.data(), bytes.size()));
    return bytes;
}

// A whole day fits one message; only version 2 carries it. What goes out is what comes back,
// but for minutes out of order, which are left out, and values beyond the range.
TEST(PipeMessage, TheDayComesThroughWholeInVersionTwoOnly)
{
    std::unique_ptr<PipeDay> full(new PipeDay());
    full->count = PIPE_DAY_CAPACITY;
    for (int i = 0; i < full->count; ++i)
        full->minutes[i] = {static_cast<uint16_t>(PIPE_DAY_CAPACITY - 1 - i),
                            static_cast<int16_t>(40 + i % 50), static_cast<int16_t>(45 + i % 50),
                            static_cast<uint8_t>(i % 3), static_cast<uint8_t>(i % 4)};
    std::vector<uint8_t> bytes = EncodedDay(*full);
    size_t size = 0;
    uint16_t kind = 0;
    ASSERT_EQ(PipeFrame::Complete, CheckPipeFrame(bytes.data(), bytes.size(), size, kind));
    EXPECT_EQ(PIPE_KIND_DAY, kind);
    std::unique_ptr<PipeDay> back(new PipeDay());
    ASSERT_TRUE(DecodePipeDay(bytes.data(), size, *back));
    ASSERT_EQ(PIPE_DAY_CAPACITY, back->count);
    EXPECT_EQ(0, std::memcmp(full->minutes, back->minutes, sizeof full->minutes));
    bytes[6] = 1;
    EXPECT_EQ(PipeFrame::Unknown, Frame(bytes, bytes.size()));

    std::unique_ptr<PipeDay> odd = Day({{9, -400, 600, 7, 0xff},
                                        {9, 50, 50, 0, 1},
                                        {12, 50, 50, 0, 1},
                                        {5, 80, 70, 1, 3},
                                        {PIPE_DAY_CAPACITY, 1, 1, 0, 1}});
    odd->peak = 900;
    odd->loweredSeconds = UINT32_MAX;
    bytes = EncodedDay(*odd);
    ASSERT_TRUE(DecodePipeDay(bytes.data(), bytes.size(), *back));
    ASSERT_EQ(2, back->count);
    EXPECT_EQ((std::vector<int>{9, -273, 500, 2, 3, 5, 80, 80, 1, 3}),
              (std::vector<int>{back->minutes[0].ago, back->minutes[0].low, back->minutes[0].high,
                                back->minutes[0].mode, back->minutes[0].flags, back->minutes[1].ago,
                                back->minutes[1].low, back->minutes[1].high, back->minutes[1].mode,
                                back->minutes[1].flags}));
    EXPECT_EQ(
        (std::vector<int64_t>{3, 25 * 3600, 500, 1}),
        (std::vector<int64_t>{back->episodes, back->loweredSeconds, back->peak, back->loweredNow}));

    // Another server's bytes: minutes out of order, values beyond the range, counts that the size
    // does not hold.
    const struct {
        size_t offset;
        uint8_t value;
    } rows[] = {
        {28 + 8, 9}, // the second minute as old as the first
        {28 + 6, 3}, // mode
        {28 + 7, 4}, // flags
        {28 + 4, 0}, // high below low
        {24, 3},     // count
        {20, 2},     // loweredNow
        {17, 0xff},  // peak
    };
    for (const auto& row : rows) {
        std::vector<uint8_t> bad = EncodedDay(*Day({{9, 50, 60, 1, 3}, {3, 50, 50, 0, 1}}));
        bad[row.offset] = row.value;
        EXPECT_FALSE(DecodePipeDay(bad.data(), bad.size(), *back)) << row.offset;
    }
}

TEST(PipeMessage, ValuesOutOfRangeAreRefused)
{
    // What another server may send: the bytes at an offset of a good status, little-endian.
    const struct {
        size_t offset;
        int32_t value;
        size_t size;
    } rows[] = {
        {12, 4, 4},      // mode
        {100, 86401, 4}, // a pause of more than a day
        {8, -274, 4},    // temperature
        {16, 3, 4},      // status: a view's own status never comes from the pipe
        {20, 101, 4},    // inForce
        {31, 24, 1},     // failedHour
        {28, 2, 1},      // lowered is 0 or 1
        {39, '\n', 1},   // a zone name's byte
        {33, 5, 1},      // the cap's effect
        {34, 1001, 2},   // the performance seen
    };
    for (const auto& row : rows) {
        std::vector<uint8_t> bytes = Encoded(Status());
        for (size_t i = 0; i < row.size; ++i)
            bytes[row.offset + i] = static_cast<uint8_t>(static_cast<uint32_t>(row.value) >> 8 * i);
        PipeStatus out = {};
        EXPECT_FALSE(DecodePipeStatus(bytes.data(), bytes.size(), out)) << row.offset;
    }
    std::vector<uint8_t> unended = Encoded(Status());
    std::memset(&unended[36], 'Z', PIPE_ZONE_SIZE); // a zone without its terminating zero
    PipeStatus out = {};
    EXPECT_FALSE(DecodePipeStatus(unended.data(), unended.size(), out));

    PipeHistory history = {};
    history.count = 2;
    std::vector<uint8_t> bytes(PIPE_MAX_MESSAGE);
    bytes.resize(EncodePipeHistory(history, bytes.data(), bytes.size()));
    bytes[8] = 3; // a count that the size does not hold
    EXPECT_FALSE(DecodePipeHistory(bytes.data(), bytes.size(), history));
    history.count = PIPE_HISTORY_CAPACITY + 1;
    EXPECT_EQ(0u, EncodePipeHistory(history, bytes.data(), PIPE_MAX_MESSAGE));
}

// Whatever the watcher can report, a broken sensor's extreme counters and a zone name from the
// registry with any bytes among them, goes out as a message that a viewer takes, as near to the
// truth as it fits.
TEST(PipeMessage, EveryValueTheControllerHoldsReachesAViewer)
{
    const struct {
        int32_t held, sent;
    } temperatures[] = {
        {CelsiusFromCounter(INT64_MIN), -273},
        {CelsiusFromCounter(0), -272},
        {CelsiusFromCounter(INT32_MAX), 500},
        {CelsiusFromCounter(INT64_MAX), 500},
        {TEMP_NO_READING - 1, -273},
        {501, 500},
        {499, 499},
        {INT32_MIN, -273},
    };
    const std::string zone = std::string("\\_TZ.\x01"
                                         "A\tB\x7f\xe9\x80"
                                         "C") +
                             std::string(60, 'Z');
    std::unique_ptr<PipeHistory> history(new PipeHistory());
    history->count = 0;
    for (const auto& t : temperatures) {
        PipeStatus status = {t.held,    INT32_MAX, READING_NO_CONTROLLER,
                             -1,        true,      "",
                             INT32_MIN, true,      0xff,
                             99,        255,       UINT32_MAX,
                             0xff,      UINT16_MAX};
        std::memcpy(status.zone, zone.data(), PIPE_ZONE_SIZE); // no room for its zero
        history->samples[history->count++] = {UINT32_MAX, t.held, -1, 7};
        const std::vector<uint8_t> bytes = Encoded(status);
        PipeStatus out = {};
        ASSERT_TRUE(DecodePipeStatus(bytes.data(), bytes.size(), out)) << t.held;
        EXPECT_EQ(t.sent, out.temperature) << t.held;
        EXPECT_EQ(PIPE_PAUSED_MODE, out.mode);
        EXPECT_EQ(2, out.status);
        EXPECT_EQ(PIPE_LONGEST_PAUSE_SECONDS, out.pausedSeconds);
        EXPECT_EQ(0, out.inForce);
        EXPECT_EQ(1, out.throttleAt);
        EXPECT_EQ(31, out.setBy);
        EXPECT_EQ(23, out.failedHour);
        EXPECT_EQ(59, out.failedMinute);
        EXPECT_EQ(PIPE_EFFECT_UNKNOWN, out.effect);
        EXPECT_EQ(PIPE_MOST_PERFORMANCE, out.performance);
        EXPECT_EQ("\\_TZ.?A?B???C" + std::string(50, 'Z'), std::string(out.zone));
    }
    std::vector<uint8_t> bytes(PIPE_MAX_MESSAGE);
    bytes.resize(EncodePipeHistory(*history, bytes.data(), bytes.size()));
    std::unique_ptr<PipeHistory> back(new PipeHistory());
    ASSERT_TRUE(DecodePipeHistory(bytes.data(), bytes.size(), *back));
    ASSERT_EQ(history->count, back->count);
    for (int i = 0; i < back->count; ++i) {
        EXPECT_EQ(temperatures[i].sent, back->samples[i].value) << i;
        EXPECT_EQ(0, back->samples[i].mode);
        EXPECT_EQ(2, back->samples[i].status);
    }
}

// A view takes an older controller's status and history, which know no pause: there the paused
// mode is out of range.
TEST(PipeMessage, VersionOneIsTakenWithoutThePause)
{
    std::vector<uint8_t> bytes = Encoded(Status());
    bytes.resize(bytes.size() - 4);
    bytes[0] = static_cast<uint8_t>(bytes.size());
    bytes[6] = 1;
    size_t size = 0;
    uint16_t kind = 0;
    ASSERT_EQ(PipeFrame::Complete, CheckPipeFrame(bytes.data(), bytes.size(), size, kind));
    PipeStatus out = {};
    out.pausedSeconds = 7;
    ASSERT_TRUE(DecodePipeStatus(bytes.data(), size, out));
    EXPECT_EQ(91, out.temperature);
    EXPECT_EQ(0u, out.pausedSeconds);
    bytes[12] = PIPE_PAUSED_MODE;
    EXPECT_FALSE(DecodePipeStatus(bytes.data(), size, out));

    PipeHistory history = {};
    history.count = 1;
    history.samples[0] = {500, 47, PIPE_PAUSED_MODE, 0};
    std::vector<uint8_t> samples(PIPE_MAX_MESSAGE);
    samples.resize(EncodePipeHistory(history, samples.data(), samples.size()));
    ASSERT_TRUE(DecodePipeHistory(samples.data(), samples.size(), history));
    EXPECT_EQ(PIPE_PAUSED_MODE, history.samples[0].mode);
    samples[6] = 1;
    ASSERT_EQ(PipeFrame::Complete, CheckPipeFrame(samples.data(), samples.size(), size, kind));
    EXPECT_FALSE(DecodePipeHistory(samples.data(), samples.size(), history));
}

// A controller's word that it is the machine's service stands unless where it runs says
// otherwise.
TEST(PipeMessage, OnlyAControllerOutsideOtherSessionsIsTakenForTheService)
{
    const struct {
        uint8_t setBy;
        PipeServerSession session;
        bool service;
    } rows[] = {
        {PIPE_SET_FOR_MACHINE, PipeServerSession::Zero, true},
        {PIPE_SET_FOR_MACHINE | PIPE_SET_ZONE, PipeServerSession::Own, true},
        {PIPE_SET_FOR_MACHINE | PIPE_SET_ZONE, PipeServerSession::Other, false},
        {PIPE_SET_ZONE | PIPE_SET_NOTIFY, PipeServerSession::Zero, false},
        {0, PipeServerSession::Own, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.service, IsMachineService(row.setBy, row.session))
            << int(row.setBy) << " " << int(row.session);
}

// A view shows what the pipe brought, field for field, with whose the choices are; a status made
// of a report again (what a controller sends) is the one it came from, a zone without its end cut.
TEST(PipeMessage, AReportOfAStatusCarriesEveryFieldAndGoesBackWhole)
{
    PipeStatus sent = {};
    sent.temperature = -273;
    sent.mode = PIPE_PAUSED_MODE;
    sent.status = READING_FAILED;
    sent.inForce = 80;
    sent.lowered = true;
    std::memset(sent.zone, 'Z', sizeof sent.zone);
    sent.throttleAt = 95;
    sent.onBattery = true;
    sent.setBy = PIPE_SET_FOR_MACHINE | PIPE_SET_ZONE;
    sent.failedHour = 23;
    sent.failedMinute = 59;
    sent.pausedSeconds = 86400;
    sent.effect = PIPE_EFFECT_NONE;
    sent.performance = 131;
    for (bool service : {true, false}) {
        const ControllerReport report = ReportFromPipe(sent, service);
        EXPECT_EQ(service ? ChoicesOf::Machine : ChoicesOf::OtherSession, report.choicesOf);
        EXPECT_EQ((std::vector<long long>{-273, PIPE_PAUSED_MODE, READING_FAILED, 80, 1, 95, 1,
                                          PIPE_SET_FOR_MACHINE | PIPE_SET_ZONE, 23, 59, 86400,
                                          PIPE_EFFECT_NONE, 131}),
                  (std::vector<long long>{report.temperature, report.mode, report.readingStatus,
                                          report.capInForce, report.capLowered, report.throttleAt,
                                          report.onBattery, report.setBy, report.failedHour,
                                          report.failedMinute, report.pausedSeconds,
                                          report.capEffect, report.capPerformance}));
        EXPECT_EQ(std::string(sizeof sent.zone - 1, 'Z'), report.zone);
        PipeStatus again = PipeStatusOf(report);
        sent.zone[sizeof sent.zone - 1] = '\0';
        EXPECT_EQ(0, std::memcmp(&sent.zone, &again.zone, sizeof sent.zone));
        again.zone[0] = sent.zone[0] = '\0';
        std::vector<uint8_t> encoded(PIPE_MAX_MESSAGE), reencoded(PIPE_MAX_MESSAGE);
        EXPECT_EQ(EncodePipeStatus(sent, encoded.data(), encoded.size()),
                  EncodePipeStatus(again, reencoded.data(), reencoded.size()));
        EXPECT_EQ(encoded, reencoded);
        std::memset(sent.zone, 'Z', sizeof sent.zone);
    }
}

} // namespace
