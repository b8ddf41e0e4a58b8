// The fake pdh.dll follows its script: readings in order, the last one repeating, appended lines
// seen by the next collection, and the scripted and argument failures with the PDH codes.
#include "fakes/FakeControl.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <pdh.h>
#include <pdhmsg.h>

namespace
{

const PDH_STATUS kInvalidHandle = static_cast<PDH_STATUS>(PDH_INVALID_HANDLE);
const PDH_STATUS kNoObject = static_cast<PDH_STATUS>(PDH_CSTATUS_NO_OBJECT);
const PDH_STATUS kInvalidArgument = static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
const PDH_STATUS kInvalidData = static_cast<PDH_STATUS>(PDH_INVALID_DATA);

class FakePdhTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(fake.Begin(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    }
    void TearDown() override
    {
        if (query != nullptr)
            PdhCloseQuery(query);
        fake.End();
    }

    void OpenWithCounter()
    {
        ASSERT_EQ(0, PdhOpenQueryA(nullptr, 0, &query));
        ASSERT_EQ(0, PdhAddCounterA(query, kThermalZoneCounterPath, 0, &counter));
    }

    // The status of one collection and formatted read, and the value when both succeeded.
    std::string Sample()
    {
        PDH_STATUS status = PdhCollectQueryData(query);
        if (status != 0)
            return "collect " + std::to_string(status);
        PDH_FMT_COUNTERVALUE value = {};
        value.CStatus = 77;
        status = PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, nullptr, &value);
        if (status != 0)
            return "format " + std::to_string(status);
        EXPECT_EQ(0u, value.CStatus);
        return std::to_string(value.longValue);
    }

    FakePlatform fake;
    PDH_HQUERY query = nullptr;
    PDH_HCOUNTER counter = nullptr;
};

struct ScriptCase {
    const char* name;
    const char* script;
    std::vector<std::string> samples;
};

class FakePdhScriptTest : public FakePdhTest, public ::testing::WithParamInterface<ScriptCase>
{
};

TEST_P(FakePdhScriptTest, SamplesFollowTheScript)
{
    fake.WritePdhScript(GetParam().script);
    OpenWithCounter();
    std::vector<std::string> samples;
    for (size_t i = 0; i < GetParam().samples.size(); ++i)
        samples.push_back(Sample());
    EXPECT_EQ(GetParam().samples, samples);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, FakePdhScriptTest,
    ::testing::Values(ScriptCase{"LastRepeats", "3231\n3581\n", {"3231", "3581", "3581", "3581"}},
                      ScriptCase{"CollectFail",
                                 "3231\ncollect-fail -1073738811\n3000\n",
                                 {"3231", "collect -1073738811", "3000", "3000"}},
                      ScriptCase{"FormatFail",
                                 "3231\nformat-fail 0xC0000BC6\n3000\n",
                                 {"3231", "format -1073738810", "3000"}},
                      ScriptCase{"CommentsAndBlanks", "# readings\n\n2720\n", {"2720", "2720"}},
                      ScriptCase{
                          "FailureLast", "3100\ncollect-fail -5\n", {"3100", "collect -5", "3100"}},
                      ScriptCase{"NoReadings", "add-fail 0\n", {"collect -2147481643"}},
                      ScriptCase{"RepeatStartsAgain",
                                 "3231\nrepeat\ncollect-fail -5\n3581\n",
                                 {"3231", "collect -5", "3581", "3231", "collect -5"}}),
    [](const ::testing::TestParamInfo<ScriptCase>& param) { return param.param.name; });

TEST_F(FakePdhTest, AppendedLinesAreSeenAndReopeningStartsAgain)
{
    fake.WritePdhScript("3000\n");
    OpenWithCounter();
    EXPECT_EQ("3000", Sample());
    EXPECT_EQ("3000", Sample());
    fake.AppendPdhScript("3100");
    EXPECT_EQ("3100", Sample());
    ASSERT_EQ(0, PdhCloseQuery(query));
    query = nullptr;
    OpenWithCounter();
    EXPECT_EQ("3000", Sample());
}

TEST_F(FakePdhTest, RejectsBadArgumentsAndHandles)
{
    fake.WritePdhScript("3000\n");
    PDH_HQUERY other = nullptr;
    EXPECT_EQ(kInvalidArgument, PdhOpenQueryA(nullptr, 0, nullptr));
    OpenWithCounter();
    PDH_FMT_COUNTERVALUE value = {};
    EXPECT_EQ(kInvalidData, PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, nullptr, &value));
    EXPECT_EQ(kInvalidHandle, PdhCollectQueryData(nullptr));
    EXPECT_EQ(kInvalidHandle, PdhCollectQueryData(&value));
    EXPECT_EQ(kInvalidHandle, PdhAddCounterA(nullptr, kThermalZoneCounterPath, 0, &counter));
    EXPECT_EQ(kNoObject, PdhAddCounterA(query, "\\Processor(_Total)\\% Processor Time", 0, &other));
    EXPECT_EQ(0, PdhCollectQueryData(query));
    EXPECT_EQ(kInvalidArgument,
              PdhGetFormattedCounterValue(counter, PDH_FMT_DOUBLE, nullptr, &value));
    EXPECT_EQ(kInvalidHandle, PdhGetFormattedCounterValue(nullptr, PDH_FMT_LONG, nullptr, &value));
    DWORD type = 0;
    EXPECT_EQ(0,
              PdhGetFormattedCounterValue(counter, PDH_FMT_LONG | PDH_FMT_NOCAP100, &type, &value));
    EXPECT_EQ(3000, value.longValue);

    ASSERT_EQ(0, PdhCloseQuery(query));
    EXPECT_EQ(kInvalidHandle, PdhCloseQuery(query));
    EXPECT_EQ(kInvalidHandle, PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, nullptr, &value));
    query = nullptr;
}

TEST_F(FakePdhTest, ScriptedOpenAndAddFailuresAndAMissingScript)
{
    fake.WritePdhScript("open-fail -1073738824\n3000\n");
    EXPECT_EQ(static_cast<PDH_STATUS>(-1073738824), PdhOpenQueryA(nullptr, 0, &query));
    EXPECT_EQ(nullptr, query);

    fake.WritePdhScript("3000\nadd-fail -1073738823\n");
    ASSERT_EQ(0, PdhOpenQueryA(nullptr, 0, &query));
    EXPECT_EQ(static_cast<PDH_STATUS>(-1073738823),
              PdhAddCounterA(query, kThermalZoneCounterPath, 0, &counter));

    fake.End(); // no script at all: the query opens, the counter does not exist
    EXPECT_EQ(kNoObject, PdhAddCounterA(query, kThermalZoneCounterPath, 0, &counter));
}

// Several zones, a localized system, a missing high-precision counter and an instance that is
// accepted and fails only at the reading.
TEST_F(FakePdhTest, ZonesAndSystemsAsScripted)
{
    const std::string thrm = "\\Thermal Zone Information(\\_TZ.THRM)\\High Precision Temperature";
    const std::string all = "\\Thermal Zone Information(*)\\High Precision Temperature";
    fake.WritePdhScript("localized\nzone \\_TZ.THRM\n3232\n3242\nzone \\_TZ.CPUZ\n3632\n");
    ASSERT_EQ(0, PdhOpenQueryA(nullptr, 0, &query));
    EXPECT_EQ(kNoObject, PdhAddCounterA(query, thrm.c_str(), 0, &counter));
    ASSERT_EQ(0, PdhAddEnglishCounterA(query, thrm.c_str(), 0, &counter));
    EXPECT_EQ(static_cast<PDH_STATUS>(PDH_CSTATUS_NO_INSTANCE),
              PdhAddEnglishCounterA(query, kThermalZoneCounterPath, 0, &counter));
    PDH_HCOUNTER wildcard = nullptr;
    ASSERT_EQ(0, PdhAddEnglishCounterA(query, all.c_str(), 0, &wildcard));
    EXPECT_EQ("3232", Sample());
    EXPECT_EQ("3242", Sample());
    PDH_FMT_COUNTERVALUE_ITEM_A items[8];
    DWORD size = 0, count = 0;
    EXPECT_EQ(static_cast<PDH_STATUS>(PDH_MORE_DATA),
              PdhGetFormattedCounterArrayA(wildcard, PDH_FMT_LONG, &size, &count, nullptr));
    size = sizeof items;
    ASSERT_EQ(0, PdhGetFormattedCounterArrayA(wildcard, PDH_FMT_LONG, &size, &count, items));
    ASSERT_EQ(2u, count);
    EXPECT_STREQ("\\_TZ.THRM", items[0].szName);
    EXPECT_EQ(3242, items[0].FmtValue.longValue);
    EXPECT_STREQ("\\_TZ.CPUZ", items[1].szName);
    EXPECT_EQ(3632, items[1].FmtValue.longValue);
    PdhCloseQuery(query);

    fake.WritePdhScript("no-high-precision\nlazy-instances\n3232\n");
    ASSERT_EQ(0, PdhOpenQueryA(nullptr, 0, &query));
    EXPECT_EQ(static_cast<PDH_STATUS>(PDH_CSTATUS_NO_COUNTER),
              PdhAddCounterA(query, kThermalZoneCounterPath, 0, &counter));
    ASSERT_EQ(0, PdhAddCounterA(query, "\\Thermal Zone Information(\\_TZ.TZ01)\\Temperature", 0,
                                &counter));
    EXPECT_EQ("323", Sample()); // whole kelvin
    ASSERT_EQ(0, PdhAddCounterA(query, "\\Thermal Zone Information(\\_TZ.NONE)\\Temperature", 0,
                                &counter));
    EXPECT_EQ("format " + std::to_string(static_cast<PDH_STATUS>(PDH_INVALID_DATA)), Sample());
}

TEST_F(FakePdhTest, TraceLinesHaveTheDocumentedFormat)
{
    fake.WritePdhScript("3231\n");
    OpenWithCounter();
    Sample();
    PdhCloseQuery(query);
    query = nullptr;

    const std::vector<std::string> trace = fake.Trace();
    ASSERT_EQ(5u, trace.size());
    const std::string q = TraceField(trace[0], "query"), c = TraceField(trace[1], "counter");
    EXPECT_EQ("PdhOpenQueryA source=null user=0 query=" + q + " -> 0", trace[0]);
    EXPECT_EQ("PdhAddCounterA query=" + q + " path=\"" + kThermalZoneCounterPath +
                  "\" user=0 counter=" + c + " -> 0",
              trace[1]);
    EXPECT_EQ("PdhCollectQueryData query=" + q + " reading=3231 -> 0", trace[2]);
    EXPECT_EQ("PdhGetFormattedCounterValue counter=" + c +
                  " format=0x100 type=null value=3231 -> 0",
              trace[3]);
    EXPECT_EQ("PdhCloseQuery query=" + q + " -> 0", trace[4]);
    EXPECT_NE(q, c);
}

} // namespace
