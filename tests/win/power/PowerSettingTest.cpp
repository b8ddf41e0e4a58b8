// The controller's write path (the scheme keeper's Write over the power-setting access) and
// ReadThrottleMax against the fake powrprof.dll: which calls they make with which identifiers,
// what they change in the store and what they log when a call fails.
#include "PowerTestSupport.h"

#include "power/PowerSetting.h"
#include "power/SchemeKeeper.h"

#include <sddl.h>

#include <algorithm>
#include <tuple>

namespace
{

// The first write into a scheme reads the scheme's own values (class 0 and 1) first, for the
// keeper's notes.
const std::vector<std::string> kWriteCalls = {"PowerGetActiveScheme",   "PowerReadACValue",
                                              "PowerReadACValue",       "PowerWriteACValueIndex",
                                              "PowerWriteACValueIndex", "PowerSetActiveScheme"};
const std::vector<std::string> kReadCalls = {"PowerGetActiveScheme", "PowerReadACValue"};

class PowerSettingTest : public ::testing::Test
{
  protected:
    void SetUp() override { BeginFakes(fake); }
    void TearDown() override { fake.End(); }

    std::string Other(const std::string& scheme) const
    {
        return scheme == kBalancedScheme ? kHighPerformanceScheme : kBalancedScheme;
    }

    bool WriteThrottleMax(uint32_t value) { return keeper.Write(value); }

    FakePlatform fake;
    // Not started: its notes stay in memory, and the registry is left alone.
    SchemeKeeper keeper{};
};

struct WriteCase {
    const char* active;
    uint32_t value;
    bool onBattery;
};

// What a value of the store holds after a write of level: never more than before.
int Expected(int before, uint32_t level, bool included)
{
    if (before < 0 || !included)
        return before;
    return std::min(before, static_cast<int>(level));
}

class WriteThrottleMaxTest : public PowerSettingTest,
                             public ::testing::WithParamInterface<WriteCase>
{
};

// Balanced has class-1 values, high performance has none (it is skipped, and said once). Only a
// value above the level is written, and the scheme is activated only after a write.
TEST_P(WriteThrottleMaxTest, CapsOnlyTheValuesAboveTheLevelOfTheActiveScheme)
{
    const WriteCase& c = GetParam();
    const std::string active = c.active;
    const std::string other = Other(active);
    fake.WritePowerStore(TwoSchemeStore(active, 75));
    const std::string otherBefore = "scheme " + other + " " + std::to_string(fake.AcValue(other)) +
                                    " " + std::to_string(fake.DcValue(other));
    int before[2][2]; // [class][0 = AC, 1 = DC]
    for (int cls = 0; cls < 2; ++cls) {
        before[cls][0] = fake.AcValue(active, cls);
        before[cls][1] = fake.DcValue(active, cls);
    }
    keeper.onBattery = c.onBattery;
    LogSince log;

    EXPECT_TRUE(WriteThrottleMax(c.value));

    size_t writes = 0;
    for (int cls = 0; cls < 2; ++cls) {
        for (int dc = 0; dc < 2; ++dc) {
            const int after = Expected(before[cls][dc], c.value, dc == 0 || c.onBattery);
            EXPECT_EQ(after, dc == 0 ? fake.AcValue(active, cls) : fake.DcValue(active, cls));
            writes += after != before[cls][dc] ? 1 : 0;
        }
    }
    EXPECT_EQ(writes > 0, keeper.Lowered());
    EXPECT_EQ(0u, fake.ReadPowerStore().find("active " + active));
    EXPECT_NE(std::string::npos, fake.ReadPowerStore().find(otherBefore)) << "other untouched";
    // Every value is read (and noted) before the first write, and the scheme activated last.
    const std::vector<std::string> calls = fake.TraceFunctions();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ("PowerGetActiveScheme", calls.front());
    EXPECT_EQ(writes > 0, calls.back() == "PowerSetActiveScheme");
    size_t firstWrite = 1;
    while (firstWrite < calls.size() && calls[firstWrite].find("Read") != std::string::npos)
        ++firstWrite;
    EXPECT_EQ(c.onBattery ? 5u : 3u, firstWrite);
    EXPECT_EQ(firstWrite + writes + (writes > 0 ? 1 : 0), calls.size());
    for (const std::string& line : fake.Trace()) {
        EXPECT_EQ("0", TraceField(line, "root")) << line;
        EXPECT_EQ(active, TraceField(line, "scheme")) << line;
        if (TraceField(line, "setting") != kThrottleMaximum1) {
            EXPECT_EQ("0", TraceField(line, "->")) << line;
        }
    }
    // A value above the level gets the level itself.
    for (const char* function : {"PowerWriteACValueIndex", "PowerWriteDCValueIndex"}) {
        for (const std::string& write : fake.TraceOf(function)) {
            EXPECT_EQ(kProcessorSubgroup, TraceField(write, "subgroup"));
            EXPECT_EQ(std::to_string(c.value), TraceField(write, "value"));
        }
    }
    if (before[1][0] >= 0) {
        EXPECT_EQ("", log.Bytes());
    } else {
        EXPECT_NE(std::string::npos, log.Bytes().find(active + " AC1 cannot be read (error=2)"));
    }
}

INSTANTIATE_TEST_SUITE_P(Values, WriteThrottleMaxTest,
                         ::testing::Values(WriteCase{kBalancedScheme, 99, false},
                                           WriteCase{kBalancedScheme, 80, true},
                                           WriteCase{kHighPerformanceScheme, 99, false},
                                           WriteCase{kHighPerformanceScheme, 0, true},
                                           WriteCase{kHighPerformanceScheme, 99, true},
                                           WriteCase{kBalancedScheme, 100, true}));

struct ReadCase {
    const char* active;
    int balancedAc;
};

class ReadThrottleMaxTest : public PowerSettingTest, public ::testing::WithParamInterface<ReadCase>
{
};

TEST_P(ReadThrottleMaxTest, ReadsTheAcValueOfTheActiveScheme)
{
    const std::string active = GetParam().active;
    fake.WritePowerStore(TwoSchemeStore(active, GetParam().balancedAc));
    const std::string storeBefore = fake.ReadPowerStore();
    LogSince log;

    uint32_t value = 12345;
    EXPECT_TRUE(ReadThrottleMax(value));

    EXPECT_EQ(fake.AcValue(active), static_cast<int>(value));
    EXPECT_EQ(storeBefore, fake.ReadPowerStore());
    EXPECT_EQ(kReadCalls, fake.TraceFunctions());
    const std::string read = fake.TraceOf("PowerReadACValue").at(0);
    EXPECT_EQ("0", TraceField(read, "root"));
    EXPECT_EQ(active, TraceField(read, "scheme"));
    EXPECT_EQ(kProcessorSubgroup, TraceField(read, "subgroup"));
    EXPECT_EQ(kThrottleMaximum, TraceField(read, "setting"));
    EXPECT_EQ("null", TraceField(read, "type"));
    EXPECT_EQ("4", TraceField(read, "size"));
    EXPECT_EQ("0", TraceField(read, "->"));
    EXPECT_EQ("", log.Bytes());
}

INSTANTIATE_TEST_SUITE_P(Values, ReadThrottleMaxTest,
                         ::testing::Values(ReadCase{kBalancedScheme, 99},
                                           ReadCase{kBalancedScheme, 80},
                                           ReadCase{kBalancedScheme, 0},
                                           ReadCase{kHighPerformanceScheme, 99}));

struct WriteFailureCase {
    const char* name;
    const char* rule;
    const char* message;
    int acAfter; // what the active scheme holds afterwards: nothing already done is undone
    std::vector<std::string> calls;
};

class WriteFailureTest : public PowerSettingTest,
                         public ::testing::WithParamInterface<WriteFailureCase>
{
};

TEST_P(WriteFailureTest, LogsExactlyTheFailingCallAndReturnsFalse)
{
    const WriteFailureCase& c = GetParam();
    fake.WritePowerStore(TwoSchemeStore(kBalancedScheme, 100, c.rule));
    LogSince log;

    EXPECT_FALSE(WriteThrottleMax(99));
    EXPECT_TRUE(keeper.retryDue);

    const std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(1u, lines.size()) << log.Bytes();
    EXPECT_EQ(c.message, MessageOfLogLine(lines[0]));
    EXPECT_EQ(std::string::npos, log.Bytes().find('\n')) << "the message has no line break";
    EXPECT_EQ(c.acAfter, fake.AcValue(kBalancedScheme));
    EXPECT_EQ(95, fake.DcValue(kBalancedScheme));
    EXPECT_EQ(100, fake.AcValue(kHighPerformanceScheme));
    EXPECT_EQ(kBalancedScheme, fake.ActiveScheme());
    EXPECT_EQ(c.calls, fake.TraceFunctions());
}

INSTANTIATE_TEST_SUITE_P(
    Calls, WriteFailureTest,
    ::testing::Values(WriteFailureCase{"GetActiveScheme",
                                       "fail PowerGetActiveScheme 3221225506\n",
                                       "PowerGetActiveScheme() error=c0000022",
                                       100,
                                       {"PowerGetActiveScheme"}},
                      // Class 1 is still written, and activated: what was written takes effect.
                      WriteFailureCase{"WriteACValueIndex", "fail PowerWriteACValueIndex 87\n",
                                       "PowerWriteACValueIndex() error=57", 100, kWriteCalls},
                      WriteFailureCase{"SetActiveScheme", "fail PowerSetActiveScheme 1314\n",
                                       "PowerSetActiveScheme() error=522", 99, kWriteCalls}),
    [](const ::testing::TestParamInfo<WriteFailureCase>& param) { return param.param.name; });

struct ReadFailureCase {
    const char* name;
    std::string store;
    std::vector<std::string> calls;
};

class ReadFailureTest : public PowerSettingTest,
                        public ::testing::WithParamInterface<ReadFailureCase>
{
};

TEST_P(ReadFailureTest, LeavesTheVariableAsItWasAndLogsNothing)
{
    fake.WritePowerStore(GetParam().store);
    LogSince log;

    uint32_t value = 12345;
    EXPECT_FALSE(ReadThrottleMax(value));

    EXPECT_EQ(12345u, value);
    EXPECT_EQ("", log.Bytes());
    EXPECT_EQ(GetParam().calls, fake.TraceFunctions());
}

INSTANTIATE_TEST_SUITE_P(
    Causes, ReadFailureTest,
    ::testing::Values(
        ReadFailureCase{"GetActiveSchemeFails",
                        TwoSchemeStore(kBalancedScheme, 99, "fail PowerGetActiveScheme 5\n"),
                        {"PowerGetActiveScheme"}},
        ReadFailureCase{"ReadACValueFails",
                        TwoSchemeStore(kBalancedScheme, 99, "fail PowerReadACValue 2\n"),
                        kReadCalls},
        ReadFailureCase{"ActiveSchemeHasNoValue",
                        std::string("active 00000000-1111-2222-3333-444444444444\n") + "scheme " +
                            kBalancedScheme + " 99 99\n",
                        kReadCalls},
        ReadFailureCase{"NoActiveScheme",
                        std::string("scheme ") + kBalancedScheme + " 99 99\n",
                        {"PowerGetActiveScheme"}}),
    [](const ::testing::TestParamInfo<ReadFailureCase>& param) { return param.param.name; });

TEST_F(PowerSettingTest, EachCallLooksUpTheSchemeThatIsActiveAtThatMoment)
{
    fake.WritePowerStore(TwoSchemeStore(kBalancedScheme));
    ASSERT_TRUE(WriteThrottleMax(99));

    // Another program activates the other scheme between two calls.
    fake.WritePowerStore(TwoSchemeStore(kHighPerformanceScheme, 99));
    uint32_t value = 0;
    ASSERT_TRUE(ReadThrottleMax(value));
    EXPECT_EQ(100u, value);
    ASSERT_TRUE(WriteThrottleMax(80));

    EXPECT_EQ(99, fake.AcValue(kBalancedScheme));
    EXPECT_EQ(80, fake.AcValue(kHighPerformanceScheme));
    EXPECT_EQ(85, fake.DcValue(kHighPerformanceScheme));
    EXPECT_EQ(kHighPerformanceScheme, fake.ActiveScheme());
    const std::vector<std::string> sets = fake.TraceOf("PowerSetActiveScheme");
    ASSERT_EQ(2u, sets.size());
    EXPECT_EQ(kBalancedScheme, TraceField(sets[0], "scheme"));
    EXPECT_EQ(kHighPerformanceScheme, TraceField(sets[1], "scheme"));
    EXPECT_EQ((std::vector<int>{99, 80}), fake.AcWrites());
}

TEST_F(PowerSettingTest, ARepeatedFailureFailsEveryWriteUntilTheRuleIsUsedUp)
{
    fake.WritePowerStore(
        TwoSchemeStore(kBalancedScheme, 100, "fail PowerWriteACValueIndex 5 2 4\n"));
    LogSince log;

    // Each write writes class 0 and class 1.
    EXPECT_TRUE(WriteThrottleMax(99));  // skipped by the rule
    EXPECT_FALSE(WriteThrottleMax(80)); // fails
    EXPECT_FALSE(WriteThrottleMax(80)); // fails
    EXPECT_TRUE(WriteThrottleMax(100)); // the rule is used up

    EXPECT_EQ(100, fake.AcValue(kBalancedScheme));
    EXPECT_EQ((std::vector<int>{99, 80, 80, 100}), fake.AcWrites());
    EXPECT_EQ(std::string::npos, fake.ReadPowerStore().find("fail"));
    std::string bytes = log.Bytes();
    size_t first = bytes.find("PowerWriteACValueIndex() error=5");
    ASSERT_NE(std::string::npos, first) << bytes;
    EXPECT_NE(std::string::npos, bytes.find("PowerWriteACValueIndex() error=5", first + 1));
    EXPECT_EQ(2u, fake.TraceOf("PowerSetActiveScheme").size()); // only the passing writes
}

// A battery value that fails keeps neither the AC cap from taking effect nor the retry from
// writing only what is still missing.
TEST_F(PowerSettingTest, AFailedBatteryWriteStillPutsTheAcCapInForce)
{
    fake.WritePowerStore(TwoSchemeStore(kBalancedScheme, 100, "fail PowerWriteDCValueIndex 5\n"));
    keeper.onBattery = true;

    EXPECT_FALSE(WriteThrottleMax(80));
    EXPECT_TRUE(keeper.retryDue);
    EXPECT_EQ(80, fake.AcValue(kBalancedScheme));
    EXPECT_EQ(95, fake.DcValue(kBalancedScheme));
    EXPECT_EQ(1u, fake.TraceOf("PowerSetActiveScheme").size());
    // Kept for the owner to report: the scheme, the value and the platform's code.
    char failed[SCHEME_ID_TEXT_SIZE];
    FormatSchemeId(keeper.failure.scheme, failed);
    EXPECT_EQ(std::make_tuple(true, kBalancedScheme, THROTTLE_DC, 5u),
              std::make_tuple(keeper.failure.due, std::string(failed), keeper.failure.which,
                              keeper.failure.error));

    fake.ClearTrace();
    EXPECT_TRUE(WriteThrottleMax(80));
    EXPECT_FALSE(keeper.retryDue);
    EXPECT_EQ(80, fake.DcValue(kBalancedScheme));
    EXPECT_TRUE(fake.TraceOf("PowerWriteACValueIndex").empty());
    EXPECT_EQ(1u, fake.TraceOf("PowerWriteDCValueIndex").size());
    EXPECT_EQ(1u, fake.TraceOf("PowerSetActiveScheme").size());

    // What the end gives back, each value with what it held (DC1 kept its own 60 throughout).
    keeper.RestoreAll();
    std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> givenBack;
    for (int i = 0; i < keeper.givenBack.count; ++i) {
        const GivenBackValue& value = keeper.givenBack.values[i];
        givenBack.emplace_back(value.which, value.value, value.from);
    }
    const std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> expected = {
        {THROTTLE_AC, 100, 80}, {THROTTLE_AC_CLASS1, 100, 80}, {THROTTLE_DC, 95, 80}};
    EXPECT_EQ(expected, givenBack);
}

// A hand change is the user's own value from then on, whenever it comes; a value below the level
// is never raised; at the end each value gets its own value back. kHand + v: the user sets v.
const int kHand = 1000;

TEST_F(PowerSettingTest, TheUsersOwnValueWinsAtAnyTime)
{
    struct Row {
        const char* name;
        int startAc;
        std::vector<int> steps;
        std::vector<int> acWrites;
        int finalAc;
    } rows[] = {
        {"own 100: every step writes", 100, {99, 80, 99}, {99, 80, 99, 100}, 100},
        {"own 75 is never raised", 75, {99, 80, 99, 100}, {}, 75},
        {"own 93: capped at 80 only", 93, {99, 80, 99, 100}, {80, 93}, 93},
        {"by hand at mode 0, then an episode", 93, {kHand + 60, 99, 80, 99}, {}, 60},
        {"by hand during the cap", 93, {80, kHand + 60, 99, 100}, {80}, 60},
        {"raised by hand during the cap", 93, {80, kHand + 100, 80, 99}, {80, 80, 99, 100}, 100},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fake.WritePowerStore(TwoSchemeStore(kBalancedScheme, row.startAc));
        fake.ClearTrace();
        SchemeKeeper fresh{};
        for (int step : row.steps) {
            if (step > kHand)
                fake.WritePowerStore(TwoSchemeStore(kBalancedScheme, step - kHand));
            else
                EXPECT_TRUE(fresh.Write(static_cast<uint32_t>(step)));
        }
        fresh.RestoreAll();
        EXPECT_EQ(row.acWrites, fake.AcWrites());
        EXPECT_EQ(row.finalAc, fake.AcValue(kBalancedScheme));
    }
}

// Every value written is given back at the end: one whose own setting could not be read (taken
// as Windows' 100 %), one beyond a full ledger, and one whose note this run took from the other
// controller's cap (mended from that controller's ledger, found in HKEY_LOCAL_MACHINE).
TEST_F(PowerSettingTest, EveryValueWrittenIsGivenBack)
{
    fake.WritePowerStore(TwoSchemeStore(kBalancedScheme, 100, "fail PowerReadACValue 5\n"));
    LogSince unreadable;
    EXPECT_TRUE(WriteThrottleMax(80));
    keeper.RestoreAll();
    EXPECT_EQ((std::vector<int>{80, 100}), fake.AcWrites());
    EXPECT_NE(std::string::npos, unreadable.Bytes().find("taken to be 100")) << unreadable.Bytes();

    // 64 entries that cannot be given back at start stay in the ledger and fill it.
    RestoreLedger filler{};
    ASSERT_TRUE(filler.Open());
    for (int i = 0; i < RESTORE_LEDGER_MAX_ENTRIES; ++i) {
        LedgerEntry entry = {};
        ASSERT_TRUE(ParseSchemeId(
            ("00000000-0000-0000-0000-0000000000" + std::to_string(10 + i)).c_str(), entry.scheme));
        entry.original = entry.written = entry.previous = 90;
        ASSERT_TRUE(filler.Put(entry));
    }
    fake.WritePowerStore(TwoSchemeStore(kBalancedScheme, 100, "fail PowerReadACValue 5 0 64\n"));
    fake.ClearTrace();
    LogSince full;
    SchemeKeeper started{};
    uint32_t inForce = 0;
    started.Start(inForce);
    EXPECT_EQ(RESTORE_LEDGER_MAX_ENTRIES, started.entryCount);
    EXPECT_TRUE(started.Write(80));
    started.RestoreAll();
    EXPECT_EQ((std::vector<int>{80, 100}), fake.AcWrites());
    EXPECT_NE(std::string::npos, full.Bytes().find("RestoreLedger: full (64 entries)"))
        << full.Bytes();

    // The other controller was killed at 80 %; this run first saw the scheme at 80 and noted it.
    fake.WritePowerStore(TwoSchemeStore(kBalancedScheme, 80));
    SchemeKeeper mended{};
    mended.Start(inForce);
    EXPECT_TRUE(mended.Write(99));
    RestoreLedger other{};
    other.key.machine = true;
    ASSERT_TRUE(other.Open());
    LedgerEntry left = {};
    ASSERT_TRUE(ParseSchemeId(kBalancedScheme, left.scheme));
    left.original = 100;
    left.written = left.previous = 80;
    ASSERT_TRUE(other.Put(left));
    mended.TakeOverForeign(nullptr);
    EXPECT_TRUE(mended.retryDue);
    EXPECT_TRUE(mended.Write(99));
    mended.RestoreAll();
    EXPECT_EQ(100, fake.AcValue(kBalancedScheme));
    LedgerEntry none[1];
    EXPECT_EQ(0, other.ReadEntries(none, 1)) << "taken over, and removed where it may be";
    other.Close();
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, RESTORE_LEDGER_KEY_PATH));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, RESTORE_LEDGER_KEY_PATH));
}

// The service's ledger as a standard user meets it: readable, but no value may be removed (the
// key's access list denies setting values to everyone). A stale entry is given back once; 99 set
// by hand afterwards stays 99 at the next two starts, and an entry of a later episode, with the
// same numbers, is given back again.
// The access list of the service's ledger key: everyone may read it; with locked, nobody may
// set or delete its values.
void LockServiceLedger(bool locked)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, RESTORE_LEDGER_KEY_PATH, 0, WRITE_DAC, &key));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        locked ? L"D:P(D;;0x2;;;WD)(A;;KA;;;WD)" : L"D:P(A;;KA;;;WD)", SDDL_REVISION_1, &descriptor,
        nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor));
    LocalFree(descriptor);
    RegCloseKey(key);
}

// The service's ledger as a standard user meets it: readable, but no value may be removed. A
// stale entry is given back once; 99 set by hand afterwards stays 99 at the next two starts,
// and an entry of a later episode, with the same numbers, is given back again.
TEST_F(PowerSettingTest, AnEntryThatCannotBeRemovedIsGivenBackOnce)
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, RESTORE_LEDGER_KEY_PATH);
    RegDeleteKeyA(HKEY_CURRENT_USER, HANDLED_LEDGER_KEY_PATH);
    RestoreLedger service{};
    service.key.machine = true;
    LedgerEntry stale = {};
    ASSERT_TRUE(ParseSchemeId(kBalancedScheme, stale.scheme));
    stale.original = 100;
    stale.written = stale.previous = 99;
    std::vector<int> seen;
    for (int start = 0; start < 4; ++start) {
        // The service caps again later and is killed at the same value: a new episode.
        if (start == 0 || start == 3) {
            if (start == 3)
                LockServiceLedger(false);
            ASSERT_TRUE(service.Open());
            stale.stamp = 7 + start;
            ASSERT_TRUE(service.Put(stale));
            service.Close();
            LockServiceLedger(true);
            HKEY denied = nullptr;
            ASSERT_EQ(ERROR_ACCESS_DENIED,
                      RegOpenKeyExA(HKEY_LOCAL_MACHINE, RESTORE_LEDGER_KEY_PATH, 0, KEY_SET_VALUE,
                                    &denied));
        }
        // The user keeps 99 (no boost), set by hand.
        fake.WritePowerStore(TwoSchemeStore(kBalancedScheme, 99));
        SchemeKeeper started{};
        uint32_t inForce = 0;
        started.Start(inForce);
        started.RestoreAll();
        seen.push_back(fake.AcValue(kBalancedScheme));
    }
    EXPECT_EQ((std::vector<int>{100, 99, 99, 100}), seen);
    LockServiceLedger(false);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, RESTORE_LEDGER_KEY_PATH));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, HANDLED_LEDGER_KEY_PATH));
    RegDeleteKeyA(HKEY_CURRENT_USER, RESTORE_LEDGER_KEY_PATH);
}

} // namespace
