#include "ui/DigitColours.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>
#include <vector>

namespace
{

struct Rgb {
    int red;
    int green;
    int blue;
};

const Rgb kGreen = {11, 137, 67};
const Rgb kYellow = {218, 218, 35};
const Rgb kRed = {218, 35, 41};
const Rgb kGrey = {140, 140, 140};

struct Row {
    int t;
    int mode;
    // Entries that must hold the lit colour; all other entries below 15 must be black.
    std::set<int> lit;
    Rgb bar;
};

// Entries 0-6 are segments a-g of the ones digit, 7-13 those of the tens digit, 14 the hundreds
// bar.
const Row kRows[] = {
    {47, 0, {0, 1, 2, /**/ 8, 9, 12, 13}, kGreen},
    {5, 0, {0, 2, 3, 5, 6, /**/ 7, 8, 9, 10, 11, 12}, kGreen},
    {100, 2, {0, 1, 2, 3, 4, 5, /**/ 7, 8, 9, 10, 11, 12, /**/ 14}, kRed},
    {99, 1, {0, 1, 2, 3, 5, 6, /**/ 7, 8, 9, 10, 12, 13}, kYellow},
    {215, 0, {0, 2, 3, 5, 6, /**/ 8, 9, /**/ 14}, kGreen},
    {0, 0, {0, 1, 2, 3, 4, 5, /**/ 7, 8, 9, 10, 11, 12}, kGreen},
    {9, 1, {0, 1, 2, 3, 5, 6, /**/ 7, 8, 9, 10, 11, 12}, kYellow},
    {10, 2, {0, 1, 2, 3, 4, 5, /**/ 8, 9}, kRed},
    {38, 0, {0, 1, 2, 3, 4, 5, 6, /**/ 7, 8, 9, 10, 13}, kGreen},
    {62, 0, {0, 1, 3, 4, 6, /**/ 7, 9, 10, 11, 12, 13}, kGreen},
    {1000, 0, {0, 1, 2, 3, 4, 5, /**/ 7, 8, 9, 10, 11, 12, /**/ 14}, kGreen},
    {INT_MAX, 0, {0, 1, 2, /**/ 8, 9, 12, 13, /**/ 14}, kGreen},
    // Below zero: a minus sign (tens segment g) and the digit, then "--".
    {-1, 0, {1, 2, /**/ 13}, kGreen},
    {-9, 1, {0, 1, 2, 3, 5, 6, /**/ 13}, kYellow},
    {-10, 0, {6, /**/ 13}, kGreen},
    {-273, 0, {6, /**/ 13}, kGreen},
    {INT_MIN, 2, {6, /**/ 13}, kRed},
    // Paused, the grey bar whatever the reading; modes other than 0 and 1 show the red bar.
    {47, 3, {0, 1, 2, /**/ 8, 9, 12, 13}, kGrey},
    {-273, 3, {6, /**/ 13}, kGrey},
    {47, -1, {0, 1, 2, /**/ 8, 9, 12, 13}, kRed},
    {47, INT_MAX, {0, 1, 2, /**/ 8, 9, 12, 13}, kRed},
};

std::vector<uint8_t> BytesOf(const ColourEntry& entry)
{
    std::vector<uint8_t> bytes(sizeof entry);
    std::memcpy(bytes.data(), &entry, sizeof entry);
    return bytes;
}

std::vector<uint8_t> Bgr0(int red, int green, int blue)
{
    return {static_cast<uint8_t>(blue), static_cast<uint8_t>(green), static_cast<uint8_t>(red), 0};
}

TEST(DigitColours, ShowsTemperatureAndModeAsSegmentColours)
{
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "t=" << row.t << " mode=" << row.mode);
        const DigitColourTable table = ComputeDigitColours(row.t, row.mode);
        for (int entry = 0; entry < MODE_BAR_ENTRY; ++entry) {
            const int level = row.lit.count(entry) ? 240 : 0;
            EXPECT_EQ(BytesOf(table[entry]), Bgr0(level, level, level)) << "entry " << entry;
        }
        EXPECT_EQ(BytesOf(table[MODE_BAR_ENTRY]), Bgr0(row.bar.red, row.bar.green, row.bar.blue));
    }
}

TEST(DigitColours, EntriesAreFourBytesInBlueGreenRedReservedOrder)
{
    ASSERT_EQ(sizeof(ColourEntry), 4u);
    ASSERT_EQ(sizeof(DigitColourTable), 4u * DIGIT_COLOUR_COUNT);
    const DigitColourTable table = ComputeDigitColours(47, 1);
    std::vector<uint8_t> raw(sizeof table);
    std::memcpy(raw.data(), table.data(), sizeof table);
    // Entry 15, the yellow bar, is the last four bytes.
    EXPECT_EQ(std::vector<uint8_t>(raw.end() - 4, raw.end()), Bgr0(218, 218, 35));
    // Entry 0, segment a of the ones digit 7, is lit.
    EXPECT_EQ(std::vector<uint8_t>(raw.begin(), raw.begin() + 4), Bgr0(240, 240, 240));
}

TEST(DigitColours, SegmentTableHoldsTheDigitCodes)
{
    const uint8_t expected[10] = {0x7E, 0x30, 0x6D, 0x79, 0x33, 0x5B, 0x5F, 0x70, 0x7F, 0x7B};
    for (int digit = 0; digit < 10; ++digit)
        EXPECT_EQ(SegmentTable[digit], expected[digit]) << "digit " << digit;
}

// The seven-segment code shown by the seven entries from first on.
int CodeShown(const DigitColourTable& table, int first)
{
    int code = 0;
    for (int segment = 0; segment < 7; ++segment)
        if (table[first + segment].red != 0)
            code |= 0x40 >> segment;
    return code;
}

bool IsDigitOrMinus(int code)
{
    for (uint8_t digitCode : SegmentTable)
        if (code == digitCode)
            return true;
    return code == 0x01;
}

// Every value of the 32-bit range shows two readable symbols. Run under the sanitizer build, this
// also catches an index outside SegmentTable.
TEST(DigitColours, EveryValueShowsDigitsOrMinusSigns)
{
    std::vector<int> values = {INT_MIN, INT_MIN + 1, INT_MAX, INT_MAX - 1};
    for (int t = -100000; t <= 100000; ++t)
        values.push_back(t);
    for (long long t = INT_MIN; t <= INT_MAX; t += 65537)
        values.push_back(static_cast<int>(t));
    for (int t : values) {
        const DigitColourTable table = ComputeDigitColours(t, 0);
        const int ones = CodeShown(table, ONES_FIRST_ENTRY);
        const int tens = CodeShown(table, TENS_FIRST_ENTRY);
        ASSERT_TRUE(IsDigitOrMinus(ones) && IsDigitOrMinus(tens)) << "t=" << t;
        ASSERT_EQ(table[HUNDREDS_ENTRY].red != 0, t >= 100) << "t=" << t;
        if (t >= 0) {
            ASSERT_EQ(ones, SegmentTable[t % 10]) << "t=" << t;
        }
    }
}

} // namespace

#include "ui/HistoryPalette.h"

namespace
{

int Hex(PaletteColour c)
{
    return c.red << 16 | c.green << 8 | c.blue;
}

// The text keeps 4.5:1 against the ground and the lines 3:1 in the light and the dark look; high
// contrast takes the system's colours, the band hatched.
TEST(HistoryPalette, TextAndLinesKeepTheirContrastAndHighContrastTheSystemsColours)
{
    const SystemColours black = {{0, 0, 0}, {255, 255, 255}, {26, 235, 255}, {63, 242, 63}};
    for (HistoryLook look : {HistoryLook::Light, HistoryLook::Dark}) {
        const HistoryPalette p = ChoosePalette(look, black);
        EXPECT_FALSE(p.hatched);
        EXPECT_GE(ContrastRatio(p.text, p.background), 4.5);
        for (PaletteColour line : {p.temperature, p.threshold, p.performance, p.band[3]})
            EXPECT_GE(ContrastRatio(line, p.background), 3.0) << std::hex << Hex(line);
    }
    const HistoryPalette c = ChoosePalette(HistoryLook::HighContrast, black);
    EXPECT_TRUE(c.hatched);
    EXPECT_EQ((std::vector<int>{0, 0xFFFFFF, 0x1AEBFF, 0x3FF23F, 0xFFFFFF, 0xFFFFFF, 0x3FF23F}),
              (std::vector<int>{Hex(c.background), Hex(c.text), Hex(c.temperature), Hex(c.grid),
                                Hex(c.performance), Hex(c.band[1]), Hex(c.band[3])}));
    EXPECT_NEAR(21.0, ContrastRatio({0, 0, 0}, {255, 255, 255}), 0.01);
    EXPECT_EQ((std::vector<BandHatch>{BandHatch::None, BandHatch::Diagonal, BandHatch::Cross,
                                      BandHatch::Horizontal, BandHatch::Cross}),
              (std::vector<BandHatch>{HatchOfMode(0), HatchOfMode(1), HatchOfMode(2),
                                      HatchOfMode(3), HatchOfMode(7)}));
}

} // namespace
