#include "base/HistoryCodec.h"
#include "base/HistoryCsv.h"
#include "base/HistoryStore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{

// UTC minute of day 154000 (in 2022) at h:m, and a monotonic clock that started elsewhere.
const int32_t DAY0 = 154000;
int64_t Utc(int h, int m, int day = DAY0)
{
    return ((int64_t(day) * 24 + h) * 60 + m) * STORE_MINUTE_MS;
}
int32_t MinuteAt(int h, int m, int day = DAY0)
{
    return static_cast<int32_t>(Utc(h, m, day) / STORE_MINUTE_MS);
}

struct Clocks {
    HistoryStore& store;
    int64_t monotonic;
    int64_t utc;
    int32_t offset;

    void Report(int64_t ms, int32_t celsius, int32_t mode, bool lowered = false,
                bool paused = false, int32_t cap = 100)
    {
        monotonic += ms;
        utc += ms;
        store.Record(monotonic, utc, offset, {celsius, mode, cap, true, lowered, paused});
    }
    void Pass(int64_t ms)
    {
        monotonic += ms;
        utc += ms;
        store.Advance(monotonic, utc, offset);
    }
};

std::unique_ptr<HistoryStore> Fresh()
{
    std::unique_ptr<HistoryStore> store(new HistoryStore());
    store->Clear();
    return store;
}

std::vector<int> Of(const WeekMinute* m)
{
    if (m == nullptr)
        return {-1};
    return {m->low, m->high, m->mode, m->cap, m->flags};
}

std::vector<int> Of(const YearDay* d)
{
    if (d == nullptr)
        return {-1};
    return {d->peak, d->minutesRun, d->timesLowered, d->minutesLowered, d->minutesPaused};
}

std::vector<uint8_t> Encoded(const HistoryStore& store)
{
    std::vector<uint8_t> bytes(HISTORY_ENCODED_SIZE);
    EXPECT_EQ(EncodeHistory(store, bytes.data(), bytes.size()), HISTORY_ENCODED_SIZE);
    return bytes;
}

} // namespace

// A report holds until the next one: minutes without a report hold it, each minute keeps its
// range, its highest step, its lowest cap and whether it lowered or paused; the day counts them.
TEST(HistoryStore, MinutesHoldTheReportInForceAndTheDayCountsThem)
{
    auto store = Fresh();
    Clocks run = {*store, 5000, Utc(10, 0), 60};
    run.Report(0, 70, 0);
    run.Report(30000, 88, 1, true, false, 99);
    run.Report(60000, 90, 2, true, false, 80); // 10:01:30
    run.Report(60000, 75, 0);                  // 10:02:30
    run.Report(120000, 60, 0, false, true);    // 10:04:30, paused
    run.Pass(60000);                           // 10:05:30
    EXPECT_EQ(Of(store->MinuteAt(MinuteAt(10, 0))),
              (std::vector<int>{70, 88, 1, 99, MINUTE_RAN | MINUTE_READING | MINUTE_LOWERED}));
    EXPECT_EQ(Of(store->MinuteAt(MinuteAt(10, 1))),
              (std::vector<int>{88, 90, 2, 80, MINUTE_RAN | MINUTE_READING | MINUTE_LOWERED}));
    EXPECT_EQ(Of(store->MinuteAt(MinuteAt(10, 3))),
              (std::vector<int>{75, 75, 0, 100, MINUTE_RAN | MINUTE_READING}));
    EXPECT_EQ(Of(store->MinuteAt(MinuteAt(10, 5))),
              (std::vector<int>{60, 60, 0, 100, MINUTE_RAN | MINUTE_READING | MINUTE_PAUSED}));
    EXPECT_EQ(Of(store->MinuteAt(MinuteAt(10, 6))), (std::vector<int>{-1}));
    // 10:00 to 10:05 run, one lowering over three minutes, two minutes paused (10:04, 10:05).
    EXPECT_EQ(Of(store->DayAt(DAY0)), (std::vector<int>{90, 6, 1, 3, 2}));
    // A lowering that ends and begins again is counted twice.
    run.Report(0, 95, 2, true);
    EXPECT_EQ(store->DayAt(DAY0)->timesLowered, 2);
}

// What the file holds is what was recorded, field by field, with the minutes not run empty.
TEST(HistoryStore, RoundTripKeepsEveryFieldAndTheEmptyMinutes)
{
    auto store = Fresh();
    Clocks first = {*store, 1000, Utc(23, 58), 120};
    first.Report(0, -5, 0, false, false, 0);
    first.Report(60000, 101, 2, true, true, 75);
    store->EndRun();
    Clocks second = {*store, 90, Utc(0, 20, DAY0 + 1), 120};
    second.Report(0, 30000, 1, false, false, 99);
    second.Pass(3 * 60000);
    const std::vector<uint8_t> bytes = Encoded(*store);
    auto read = Fresh();
    ASSERT_EQ(DecodeHistory(bytes.data(), bytes.size(), *read), HistoryDecode::Ok);
    EXPECT_EQ(read->newestMinute, store->newestMinute);
    for (int32_t m = store->newestMinute - WEEK_MINUTES + 1; m <= store->newestMinute; ++m)
        ASSERT_EQ(Of(read->MinuteAt(m)), Of(store->MinuteAt(m))) << m;
    EXPECT_EQ(0, std::memcmp(read->days, store->days, sizeof store->days));
    EXPECT_EQ(Of(read->MinuteAt(MinuteAt(23, 59))),
              (std::vector<int>{-5, 101, 0, 75,
                                MINUTE_RAN | MINUTE_READING | MINUTE_LOWERED | MINUTE_PAUSED}));
    EXPECT_EQ(read->MinuteAt(MinuteAt(0, 10, DAY0 + 1))->flags, 0);
    // Local days at +2 h: 23:58 UTC is 01:58 the next day, as is 00:20 UTC.
    EXPECT_EQ(Of(read->DayAt(DAY0 + 1)), (std::vector<int>{30000, 2 + 4, 1, 1, 1}));
    // Nothing of the run's held report is kept: the next run begins its own.
    EXPECT_FALSE(read->holding);
}

// Within a run a moved wall clock moves the minutes with it, as the monotonic clock says how
// much time really passed; across runs a clock gone back moves them back to now, and a change of
// summer time moves no minute at all, only the local day that a minute counts in.
TEST(HistoryStore, MovedClocksAndSummerTime)
{
    auto store = Fresh();
    Clocks run = {*store, 0, Utc(12, 0), 60};
    run.Report(0, 50, 0);
    run.Report(60000, 51, 0);
    // The user sets the clock two hours back: the two minutes now end just before 10:02.
    run.monotonic += 30000;
    run.utc += 30000 - 2 * 3600000;
    run.store.Record(run.monotonic, run.utc, run.offset, {52, 0, 100, true, false, false});
    EXPECT_EQ(Of(store->MinuteAt(MinuteAt(10, 0))), (std::vector<int>{50, 50, 0, 100, 3}));
    EXPECT_EQ(Of(store->MinuteAt(MinuteAt(10, 1))), (std::vector<int>{50, 52, 0, 100, 3}));
    EXPECT_EQ(store->newestMinute, MinuteAt(10, 1));
    // A clock set forward by a day: the same minutes a day later.
    run.monotonic += 60000;
    run.utc += 60000 + 24 * 3600000;
    run.store.Advance(run.monotonic, run.utc, run.offset);
    EXPECT_EQ(Of(store->MinuteAt(MinuteAt(10, 0, DAY0 + 1)))[0], 50);
    EXPECT_EQ(store->MinuteAt(MinuteAt(10, 0))->flags, 0);
    EXPECT_EQ(store->newestMinute, MinuteAt(10, 2, DAY0 + 1));
    store->EndRun();
    // The next run finds the clock 152 minutes behind the newest minute: the minutes end now.
    Clocks next = {*store, 7, Utc(7, 30, DAY0 + 1), 60};
    next.Report(0, 40, 0);
    EXPECT_EQ(store->newestMinute, MinuteAt(7, 30, DAY0 + 1));
    EXPECT_EQ(Of(store->MinuteAt(MinuteAt(7, 30, DAY0 + 1))),
              (std::vector<int>{40, 52, 0, 100, 3}));
    EXPECT_EQ(Of(store->MinuteAt(MinuteAt(7, 28, DAY0 + 1))),
              (std::vector<int>{50, 50, 0, 100, 3}));
    // Summer time begins at 01:00 UTC (+1 h to +2 h): the minutes run on without a gap.
    store->EndRun();
    Clocks summer = {*store, 99, Utc(0, 59, DAY0 + 2), 60};
    summer.Report(0, 45, 0);
    summer.offset = 120;
    summer.Report(60000, 46, 0);
    EXPECT_EQ(Of(store->MinuteAt(MinuteAt(0, 59, DAY0 + 2)))[0], 45);
    EXPECT_EQ(Of(store->MinuteAt(MinuteAt(1, 0, DAY0 + 2))), (std::vector<int>{45, 46, 0, 100, 3}));
    EXPECT_EQ(Of(store->DayAt(DAY0 + 2)), (std::vector<int>{46, 2, 0, 0, 0}));
}

// A week of minutes and 400 days are kept: what is older gives way, what is newer stays whole.
TEST(HistoryStore, TheWeekAndThe400DaysRollOver)
{
    auto store = Fresh();
    for (int day = 0; day < KEPT_DAYS + 3; ++day) {
        Clocks run = {*store, 0, Utc(12, 0, DAY0 + day), 0};
        run.Report(0, 40 + day % 50, 0, day % 2 == 0);
        run.Pass(60000);
        store->EndRun();
    }
    EXPECT_EQ(store->DayAt(DAY0), nullptr);
    EXPECT_EQ(store->DayAt(DAY0 + 2), nullptr);
    EXPECT_EQ(Of(store->DayAt(DAY0 + 3)), (std::vector<int>{43, 2, 0, 0, 0}));
    EXPECT_EQ(Of(store->DayAt(DAY0 + KEPT_DAYS + 2)), (std::vector<int>{42, 2, 1, 2, 0}));
    const int32_t newest = MinuteAt(12, 1, DAY0 + KEPT_DAYS + 2);
    EXPECT_EQ(store->newestMinute, newest);
    EXPECT_EQ(store->MinuteAt(newest - WEEK_MINUTES), nullptr);
    EXPECT_EQ(store->MinuteAt(newest - 6 * MINUTES_A_DAY)->high, 40 + (KEPT_DAYS - 4) % 50);
    EXPECT_EQ(store->MinuteAt(newest - 6 * MINUTES_A_DAY - 2)->flags, 0);
    EXPECT_EQ(HistoryCsvRows(*store, false), 14);
    EXPECT_EQ(HistoryCsvRows(*store, true), KEPT_DAYS);
    // The roll-over survives the file.
    const std::vector<uint8_t> bytes = Encoded(*store);
    auto read = Fresh();
    ASSERT_EQ(DecodeHistory(bytes.data(), bytes.size(), *read), HistoryDecode::Ok);
    EXPECT_EQ(Of(read->DayAt(DAY0 + 3)), Of(store->DayAt(DAY0 + 3)));
    EXPECT_EQ(HistoryCsvRows(*read, false), 14);
}

// Every kind of spoiled bytes is refused as what it is, and leaves the store empty.
TEST(HistoryStore, SpoiledBytesAreRefused)
{
    auto store = Fresh();
    Clocks run = {*store, 0, Utc(12, 0), 0};
    run.Report(0, 60, 1, true);
    const std::vector<uint8_t> good = Encoded(*store);
    struct Case {
        const char* what;
        size_t at;
        int value; // -1: cut to at bytes
        HistoryDecode expected;
    };
    const size_t firstMinute = HISTORY_HEADER_SIZE + 4;
    const size_t lastMinute = firstMinute + (WEEK_MINUTES - 1) * HISTORY_MINUTE_SIZE;
    const Case cases[] = {
        {"empty", 0, -1, HistoryDecode::WrongSize},
        {"half a header", 10, -1, HistoryDecode::WrongSize},
        {"truncated", HISTORY_ENCODED_SIZE - 1, -1, HistoryDecode::WrongSize},
        {"another magic", 0, 'X', HistoryDecode::NotHistory},
        {"version 2", 4, 2, HistoryDecode::OtherVersion},
        {"a payload byte changed", lastMinute + 2, 0x11, HistoryDecode::WrongChecksum},
        {"the checksum changed", 12, 0x5A, HistoryDecode::WrongChecksum},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        if (c.value < 0)
            bytes.resize(c.at);
        else
            bytes[c.at] = static_cast<uint8_t>(c.value);
        auto read = Fresh();
        read->newestMinute = 77;
        EXPECT_EQ(DecodeHistory(bytes.data(), bytes.size(), *read), c.expected) << c.what;
        EXPECT_TRUE(read->Empty()) << c.what;
    }
    // One byte more than a history, and values out of range under a right checksum.
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    auto read = Fresh();
    EXPECT_EQ(DecodeHistory(longer.data(), longer.size(), *read), HistoryDecode::WrongSize);
    const size_t badValues[][2] = {{lastMinute + 4, 3},      // mode 3
                                   {lastMinute + 5, 101},    // cap 101 %
                                   {lastMinute + 6, 0x10},   // an unknown flag
                                   {firstMinute, 5},         // a low in a minute not run
                                   {firstMinute - 1, 0x80}}; // a negative newest minute
    for (const auto& bad : badValues) {
        std::vector<uint8_t> bytes = good;
        bytes[bad[0]] = static_cast<uint8_t>(bad[1]);
        const uint32_t crc =
            HistoryCrc32(bytes.data() + HISTORY_HEADER_SIZE, bytes.size() - HISTORY_HEADER_SIZE);
        for (int i = 0; i < 4; ++i)
            bytes[12 + i] = static_cast<uint8_t>(crc >> (8 * i));
        EXPECT_EQ(DecodeHistory(bytes.data(), bytes.size(), *read), HistoryDecode::BadValue)
            << bad[0];
        EXPECT_TRUE(read->Empty());
    }
}

namespace
{

// Summer time from minute MinuteAt(1, 0) on: +1 h before, +2 h after.
int32_t SummerFromOne(int32_t utcMinute, void*)
{
    return utcMinute < MinuteAt(1, 0) ? 60 : 120;
}

std::string Csv(const HistoryStore& store, bool days, const char* separator)
{
    HistoryCsvChoice choice = {days, {}, SummerFromOne, nullptr};
    std::snprintf(choice.separator, sizeof choice.separator, "%s", separator);
    std::vector<char> text(HistoryCsvBound(days));
    const size_t size = ComposeHistoryCsv(store, choice, text.data(), text.size());
    EXPECT_GT(size, 0u);
    // Too little room gives nothing rather than a cut text.
    EXPECT_EQ(ComposeHistoryCsv(store, choice, text.data(), size), 0u);
    return std::string(text.data(), size);
}

} // namespace

// The text a spreadsheet opens: the mark, the header, a row per minute run with its own offset
// (across the change of summer time), or per day, in the locale's separator.
TEST(HistoryStore, CsvRowsCarryLocalTimesWithTheirOffset)
{
    auto store = Fresh();
    Clocks run = {*store, 0, Utc(0, 59), 60};
    run.Report(0, 45, 0, false, false, 0);
    run.Report(60000, 91, 2, true, false, 80);
    run.Pass(500);
    EXPECT_EQ(Csv(*store, false, ";"), "\xEF\xBB\xBFTime;Lowest \xC2\xB0"
                                       "C;Highest \xC2\xB0"
                                       "C;Cap %;Step %;Lowered;"
                                       "Paused\r\n"
                                       "2022-08-22T01:59:00+01:00;45;45;;100;0;0\r\n"
                                       "2022-08-22T03:00:00+02:00;45;91;80;80;1;0\r\n");
    EXPECT_EQ(Csv(*store, true, ","), "\xEF\xBB\xBF"
                                      "Date,Peak \xC2\xB0"
                                      "C,Minutes run,Times lowered,Minutes "
                                      "lowered,Minutes paused\r\n"
                                      "2022-08-22,91,2,1,1,0\r\n");
    int year = 0, month = 0, day = 0;
    const int32_t known[][4] = {{0, 1601, 1, 1},
                                {134774, 1970, 1, 1},
                                {146097, 2001, 1, 1},
                                {145790, 2000, 2, 29},
                                {154000, 2022, 8, 22}};
    for (const auto& k : known) {
        CivilDate(k[0], year, month, day);
        EXPECT_EQ((std::vector<int>{year, month, day}), (std::vector<int>{k[1], k[2], k[3]}));
    }
}
