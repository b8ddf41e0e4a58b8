#include "watch/TempConversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace
{

const int32_t kInt32Max = std::numeric_limits<int32_t>::max();
const int32_t kInt32Min = std::numeric_limits<int32_t>::min();
const int64_t kInt64Max = std::numeric_limits<int64_t>::max();
const int64_t kInt64Min = std::numeric_limits<int64_t>::min();

// The range of counter values for which (v * 10 - 27265) computed in int32_t does not overflow.
const int64_t kNarrowLow = -214745638;
const int64_t kNarrowHigh = 214748364;

struct ConversionRow {
    int64_t counter;
    int32_t celsius;
};

TEST(TempConversion, RoundsCounterValuesToWholeDegrees)
{
    const ConversionRow rows[] = {{3231, 50}, {3225, 49}, {3581, 85}, {3530, 80}, {3526, 79},
                                  {3527, 80}, {3576, 84}, {3577, 85}, {2720, 0},  {2700, -2},
                                  {2727, 0},  {2726, 0},  {2732, 0},  {2737, 1},  {0, -272},
                                  {-1, -272}, {-10, -273}};
    for (const ConversionRow& row : rows)
        EXPECT_EQ(CelsiusFromCounter(row.counter), row.celsius) << "counter " << row.counter;
}

TEST(TempConversion, ClampsAtTheLimitsOfTheCounter)
{
    const ConversionRow rows[] = {
        {kInt64Max, kInt32Max},
        {kInt64Min, kInt32Min},
        {kInt64Max / 10, kInt32Max},
        {kInt64Min / 10, kInt32Min},
        {(int64_t(1) << 40) + 1, kInt32Max},
        {-(int64_t(1) << 40) - 1, kInt32Min},
        {21474839206, kInt32Max}, // the largest value that converts without clamping
        {21474839207, kInt32Max},
        {-21474833763, kInt32Min}, // the smallest value that converts without clamping
        {-21474833764, kInt32Min},
        {21474839196, kInt32Max - 1}, // (214748391960 - 27265) / 100 = 2147483646.95
        {-21474833753, kInt32Min + 1},
        {kInt32Max, 214748092},
        {kInt32Min, -214748637},
    };
    for (const ConversionRow& row : rows)
        EXPECT_EQ(CelsiusFromCounter(row.counter), row.celsius) << "counter " << row.counter;
}

// The 32-bit formula, wherever it does not overflow, and an independent floating-point
// computation agree with the conversion.
int32_t NarrowFormula(int32_t v)
{
    return (v * 10 - 27265) / 100;
}

int64_t FloatingFormula(int64_t v)
{
    return static_cast<int64_t>(std::trunc((static_cast<double>(v) * 10.0 - 27265.0) / 100.0));
}

void ExpectSameAsNarrowFormula(int64_t v)
{
    ASSERT_EQ(CelsiusFromCounter(v), NarrowFormula(static_cast<int32_t>(v))) << "counter " << v;
    ASSERT_EQ(CelsiusFromCounter(v), FloatingFormula(v)) << "counter " << v;
}

TEST(TempConversion, MatchesTheNarrowFormulaWhereverItDoesNotOverflow)
{
    for (int64_t v = -5000; v <= 5000; ++v)
        ExpectSameAsNarrowFormula(v);
    for (int64_t v = kNarrowLow; v <= kNarrowHigh; v += 99991)
        ExpectSameAsNarrowFormula(v);
    for (int64_t v = kNarrowLow; v < kNarrowLow + 1000; ++v)
        ExpectSameAsNarrowFormula(v);
    for (int64_t v = kNarrowHigh - 1000; v <= kNarrowHigh; ++v)
        ExpectSameAsNarrowFormula(v);
}

TEST(TempConversion, ClampsWhereTheFloatingComputationLeavesTheRange)
{
    for (int64_t v = 21474839206 - 500; v <= 21474839206 + 500; ++v)
        ASSERT_EQ(CelsiusFromCounter(v), std::min<int64_t>(FloatingFormula(v), kInt32Max)) << v;
    for (int64_t v = -21474833763 - 500; v <= -21474833763 + 500; ++v)
        ASSERT_EQ(CelsiusFromCounter(v), std::max<int64_t>(FloatingFormula(v), kInt32Min)) << v;
}

TEST(HeldReading, FailedReadingRepeatsTheLastGoodOne)
{
    HeldReading held = {};
    EXPECT_EQ(HeldTemperature(held), TEMP_NO_READING);
    EXPECT_EQ(TEMP_NO_READING, -273);

    struct Step {
        bool good;
        int32_t reading;
        int32_t expected;
    };
    const Step steps[] = {{false, 0, -273},   {true, 0, 0},     {false, 0, 0},  {true, 90, 90},
                          {false, 0, 90},     {false, 0, 90},   {true, -5, -5}, {false, 0, -5},
                          {true, -273, -273}, {false, 0, -273}, {true, 84, 84}, {false, 0, 84}};
    for (const Step& step : steps) {
        if (step.good)
            HoldReading(held, step.reading);
        EXPECT_EQ(HeldTemperature(held), step.expected)
            << (step.good ? "after good " : "after failure, last good ") << step.reading;
    }
}

TEST(ReportChanged, PostsWhenTemperatureModeOrStatusDiffers)
{
    struct Row {
        TempReport last;
        TempReport current;
        bool changed;
    };
    const Row rows[] = {
        {{50, 0, READING_OK, 100, false, 0, 0, 0}, {50, 0, READING_OK, 100, false, 0, 0, 0}, false},
        {{50, 0, READING_OK, 100, false, 0, 0, 0}, {51, 0, READING_OK, 100, false, 0, 0, 0}, true},
        {{50, 0, READING_OK, 100, false, 0, 0, 0}, {50, 1, READING_OK, 100, false, 0, 0, 0}, true},
        {{90, 1, READING_OK, 100, false, 0, 0, 0}, {90, 2, READING_OK, 100, false, 0, 0, 0}, true},
        {{90, 2, READING_OK, 100, false, 0, 0, 0}, {89, 1, READING_OK, 100, false, 0, 0, 0}, true},
        {{-3, 0, READING_OK, 100, false, 0, 0, 0}, {-3, 0, READING_OK, 100, false, 0, 0, 0}, false},
        {{0, 0, READING_OK, 100, false, 0, 0, 0}, {0, 0, READING_OK, 100, false, 0, 0, 0}, false},
        {{-273, 0, READING_OK, 100, false, 0, 0, 0}, {0, 0, READING_OK, 100, false, 0, 0, 0}, true},
        {{0, 2, READING_OK, 100, false, 0, 0, 0}, {0, 0, READING_OK, 100, false, 0, 0, 0}, true},
        {{kInt32Max, 2, READING_OK, 100, false, 0, 0, 0},
         {kInt32Max, 2, READING_OK, 100, false, 0, 0, 0},
         false},
        {{kInt32Min, 0, READING_OK, 100, false, 0, 0, 0},
         {kInt32Max, 0, READING_OK, 100, false, 0, 0, 0},
         true},
        // the same pair with a failed or a missing sensor behind it
        {{50, 0, READING_OK, 100, false, 0, 0, 0},
         {50, 0, READING_FAILED, 100, false, 0, 0, 0},
         true},
        {{-273, 0, READING_FAILED, 100, false, 0, 0, 0},
         {-273, 0, READING_NO_ZONE, 100, false, 0, 0, 0},
         true},
        {{50, 1, READING_FAILED, 100, false, 0, 0, 0},
         {50, 1, READING_FAILED, 100, false, 0, 0, 0},
         false},
        // the same reading with another value in force, or the cap lowering something now
        {{90, 1, READING_OK, 100, false, 0, 0, 0}, {90, 1, READING_OK, 75, false, 0, 0, 0}, true},
        {{90, 1, READING_OK, 75, false, 0, 0, 0}, {90, 1, READING_OK, 75, true, 0, 0, 0}, true},
        // what the check of the cap's effect says, or the figures it was seen on
        {{90, 2, READING_OK, 80, true, 1, 0, 0}, {90, 2, READING_OK, 80, true, 3, 131, 90}, true},
        {{90, 2, READING_OK, 80, true, 3, 131, 90},
         {90, 2, READING_OK, 80, true, 3, 132, 90},
         true},
        {{90, 2, READING_OK, 80, true, 3, 131, 90},
         {90, 2, READING_OK, 80, true, 3, 131, 91},
         true},
        {{90, 2, READING_OK, 80, true, 2, 79, 90}, {90, 2, READING_OK, 80, true, 2, 79, 90}, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ReportChanged(row.last, row.current), row.changed)
            << "last {" << row.last.temperature << ", " << row.last.mode << "} current {"
            << row.current.temperature << ", " << row.current.mode << "}";
}

} // namespace
