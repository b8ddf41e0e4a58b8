// The fake powrprof.dll checks its arguments as the platform does, keeps its store and its fail
// rules, and traces every call in the documented format.
#include "fakes/FakeControl.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <powrprof.h>

#include <functional>

namespace
{

const GUID kBalanced = {
    0x381b4222, 0xf694, 0x41f0, {0x96, 0x85, 0xff, 0x5b, 0xb2, 0x60, 0xdf, 0x2e}};
const GUID kHighPerformance = {
    0x8c5e7fda, 0xe8bf, 0x4a96, {0x9a, 0x85, 0xa6, 0xe2, 0x3a, 0x8c, 0x63, 0x5c}};
const GUID kUnknown = {
    0x00000000, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44}};
const GUID kSubgroup = {
    0x54533251, 0x82BE, 0x4824, {0x96, 0xC1, 0x47, 0xB6, 0x0B, 0x74, 0x0D, 0x00}};
const GUID kSetting = {
    0xBC5038F7, 0x23E0, 0x4960, {0x96, 0xDA, 0x33, 0xAB, 0xAF, 0x59, 0x35, 0xEC}};
const GUID kSetting1 = {
    0xBC5038F7, 0x23E0, 0x4960, {0x96, 0xDA, 0x33, 0xAB, 0xAF, 0x59, 0x35, 0xED}};

HKEY SomeKey()
{
    return HKEY_CURRENT_USER;
}

DWORD ReadAc(const GUID* scheme, const GUID* subgroup, const GUID* setting, DWORD* size,
             HKEY root = nullptr)
{
    DWORD value = 0;
    return PowerReadACValue(root, scheme, subgroup, setting, nullptr,
                            reinterpret_cast<UCHAR*>(&value), size);
}

class FakePowrprofTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(fake.Begin(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fake.WriteDefaultPowerStore();
    }
    void TearDown() override { fake.End(); }

    FakePlatform fake;
};

struct RejectCase {
    const char* name;
    std::function<DWORD()> call;
    DWORD expected;
};

TEST_F(FakePowrprofTest, RejectsWhatThePlatformRejects)
{
    DWORD size = 4;
    GUID* out = nullptr;
    const RejectCase cases[] = {
        {"get with root key", [&] { return PowerGetActiveScheme(SomeKey(), &out); }, 87},
        {"get without out pointer", [] { return PowerGetActiveScheme(nullptr, nullptr); }, 87},
        {"read with root key",
         [&] { return ReadAc(&kBalanced, &kSubgroup, &kSetting, &size, SomeKey()); }, 87},
        {"read of unknown scheme", [&] { return ReadAc(&kUnknown, &kSubgroup, &kSetting, &size); },
         2},
        {"read of other subgroup", [&] { return ReadAc(&kBalanced, &kSetting, &kSetting, &size); },
         2},
        {"read of other setting", [&] { return ReadAc(&kBalanced, &kSubgroup, &kSubgroup, &size); },
         2},
        {"read without size", [] { return ReadAc(&kBalanced, &kSubgroup, &kSetting, nullptr); },
         87},
        {"write with root key",
         [] { return PowerWriteACValueIndex(SomeKey(), &kBalanced, &kSubgroup, &kSetting, 99); },
         87},
        {"write to unknown scheme",
         [] { return PowerWriteACValueIndex(nullptr, &kUnknown, &kSubgroup, &kSetting, 99); }, 2},
        {"write of other setting",
         [] { return PowerWriteACValueIndex(nullptr, &kBalanced, &kSubgroup, &kSubgroup, 99); }, 2},
        {"write above 100",
         [] { return PowerWriteACValueIndex(nullptr, &kBalanced, &kSubgroup, &kSetting, 101); },
         87},
        // The default store's schemes have no class-1 setting, as on Windows before hybrids.
        {"read of a missing class-1 setting",
         [&] { return ReadAc(&kBalanced, &kSubgroup, &kSetting1, &size); }, 2},
        {"DC write of a missing class-1 setting",
         [] { return PowerWriteDCValueIndex(nullptr, &kBalanced, &kSubgroup, &kSetting1, 50); }, 2},
        {"activate with root key", [] { return PowerSetActiveScheme(SomeKey(), &kBalanced); }, 87},
        {"activate unknown scheme", [] { return PowerSetActiveScheme(nullptr, &kUnknown); }, 2},
    };
    const std::string storeBefore = fake.ReadPowerStore();
    for (const RejectCase& c : cases) {
        EXPECT_EQ(c.expected, c.call()) << c.name;
        EXPECT_EQ(std::to_string(c.expected), TraceField(fake.Trace().back(), "->")) << c.name;
    }
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(storeBefore, fake.ReadPowerStore());
}

TEST_F(FakePowrprofTest, ReadReportsTheSizeItNeeds)
{
    DWORD size = 3;
    DWORD value = 7;
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA),
              PowerReadACValue(nullptr, &kBalanced, &kSubgroup, &kSetting, nullptr,
                               reinterpret_cast<UCHAR*>(&value), &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(7u, value);

    size = 0;
    EXPECT_EQ(
        0u, PowerReadACValue(nullptr, &kBalanced, &kSubgroup, &kSetting, nullptr, nullptr, &size));
    EXPECT_EQ(4u, size);

    ULONG type = 0;
    size = 8;
    EXPECT_EQ(0u, PowerReadACValue(nullptr, &kBalanced, &kSubgroup, &kSetting, &type,
                                   reinterpret_cast<UCHAR*>(&value), &size));
    EXPECT_EQ(static_cast<ULONG>(REG_DWORD), type);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(100u, value);
}

TEST_F(FakePowrprofTest, ClassOneAndBatteryValuesAreKeptApart)
{
    fake.WritePowerStore(std::string("active ") + kBalancedScheme + "\nscheme " + kBalancedScheme +
                         " 93 70 92 60\n");
    DWORD written[][3] = {{0, 0, 81}, {0, 1, 82}, {1, 0, 83}, {1, 1, 84}}; // class, DC, value
    for (const auto& w : written) {
        const GUID* setting = w[0] ? &kSetting1 : &kSetting;
        EXPECT_EQ(0u, w[1]
                          ? PowerWriteDCValueIndex(nullptr, &kBalanced, &kSubgroup, setting, w[2])
                          : PowerWriteACValueIndex(nullptr, &kBalanced, &kSubgroup, setting, w[2]));
        DWORD value = 0, size = 4;
        UCHAR* buffer = reinterpret_cast<UCHAR*>(&value);
        EXPECT_EQ(0u, w[1] ? PowerReadDCValue(nullptr, &kBalanced, &kSubgroup, setting, nullptr,
                                              buffer, &size)
                           : PowerReadACValue(nullptr, &kBalanced, &kSubgroup, setting, nullptr,
                                              buffer, &size));
        EXPECT_EQ(w[2], value);
    }
    EXPECT_EQ(
        (std::vector<int>{81, 82, 83, 84}),
        (std::vector<int>{fake.AcValue(kBalancedScheme), fake.DcValue(kBalancedScheme),
                          fake.AcValue(kBalancedScheme, 1), fake.DcValue(kBalancedScheme, 1)}));
    EXPECT_EQ((std::vector<int>{81}), fake.AcWrites());
    EXPECT_EQ((std::vector<int>{84}), fake.Writes("PowerWriteDCValueIndex", kThrottleMaximum1));
}

TEST_F(FakePowrprofTest, ActiveSchemeIsALocalAllocCopyAndActivationIsStored)
{
    GUID* active = nullptr;
    ASSERT_EQ(0u, PowerGetActiveScheme(nullptr, &active));
    ASSERT_NE(nullptr, active);
    EXPECT_TRUE(IsEqualGUID(kBalanced, *active));
    EXPECT_GE(LocalSize(active), sizeof(GUID));
    EXPECT_EQ(nullptr, LocalFree(active));

    ASSERT_EQ(0u, PowerSetActiveScheme(nullptr, &kHighPerformance));
    EXPECT_EQ(kHighPerformanceScheme, fake.ActiveScheme());
    ASSERT_EQ(0u, PowerGetActiveScheme(nullptr, &active));
    EXPECT_TRUE(IsEqualGUID(kHighPerformance, *active));
    LocalFree(active);
}

TEST_F(FakePowrprofTest, EveryCallFailsWithoutAStore)
{
    fake.End();
    GUID* active = nullptr;
    DWORD size = 4;
    EXPECT_EQ(2u, PowerGetActiveScheme(nullptr, &active));
    EXPECT_EQ(2u, ReadAc(&kBalanced, &kSubgroup, &kSetting, &size));
    EXPECT_EQ(2u, PowerWriteACValueIndex(nullptr, &kBalanced, &kSubgroup, &kSetting, 99));
    EXPECT_EQ(2u, PowerSetActiveScheme(nullptr, &kBalanced));
    EXPECT_EQ(nullptr, active);
}

struct RuleCase {
    const char* rule;
    std::vector<DWORD> results; // of successive PowerSetActiveScheme calls
    bool ruleLeft;
};

class FakeFailRuleTest : public FakePowrprofTest, public ::testing::WithParamInterface<RuleCase>
{
};

TEST_P(FakeFailRuleTest, SkipsThenFailsAsOftenAsTold)
{
    fake.WritePowerStore(fake.ReadPowerStore() + GetParam().rule + "\n");
    std::vector<DWORD> results;
    for (size_t i = 0; i < GetParam().results.size(); ++i)
        results.push_back(PowerSetActiveScheme(nullptr, &kBalanced));
    EXPECT_EQ(GetParam().results, results);
    EXPECT_EQ(GetParam().ruleLeft, fake.ReadPowerStore().find("fail ") != std::string::npos);
    // Other functions are not affected by the rule.
    GUID* active = nullptr;
    EXPECT_EQ(0u, PowerGetActiveScheme(nullptr, &active));
    LocalFree(active);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FakeFailRuleTest,
    ::testing::Values(RuleCase{"fail PowerSetActiveScheme 5", {5, 0, 0}, false},
                      RuleCase{"fail PowerSetActiveScheme 5 2", {0, 0, 5, 0}, false},
                      RuleCase{"fail PowerSetActiveScheme 87 1 2", {0, 87, 87, 0}, false},
                      RuleCase{"fail PowerSetActiveScheme 0x522 0 -1", {1314, 1314, 1314}, true},
                      RuleCase{"fail PowerSetActiveScheme 6 4", {0, 0, 0}, true}));

TEST_F(FakePowrprofTest, TraceLinesHaveTheDocumentedFormat)
{
    GUID* active = nullptr;
    DWORD value = 0, size = 4;
    PowerGetActiveScheme(nullptr, &active);
    PowerReadACValue(nullptr, active, &kSubgroup, &kSetting, nullptr,
                     reinterpret_cast<UCHAR*>(&value), &size);
    PowerWriteACValueIndex(nullptr, active, &kSubgroup, &kSetting, 99);
    PowerSetActiveScheme(SomeKey(), nullptr);
    LocalFree(active);

    const std::string b = kBalancedScheme, sub = kProcessorSubgroup, set = kThrottleMaximum;
    const std::vector<std::string> expected = {
        "PowerGetActiveScheme root=0 out=ptr scheme=" + b + " -> 0",
        "PowerReadACValue root=0 scheme=" + b + " subgroup=" + sub + " setting=" + set +
            " type=null buffer=ptr size=4 value=100 -> 0",
        "PowerWriteACValueIndex root=0 scheme=" + b + " subgroup=" + sub + " setting=" + set +
            " value=99 -> 0",
        "PowerSetActiveScheme root=1 scheme=null -> 87",
    };
    EXPECT_EQ(expected, fake.Trace());
}

} // namespace
