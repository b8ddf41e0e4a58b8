// The segment bitmaps as they are embedded in the executable, at every designed size: header,
// every colour-table entry and every pixel.
#include "TrayTestSupport.h"

#include "ui/IconSize.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

using traytest::kIconSizes;
using traytest::Rgb;

// The colour table, stated from its rules: 17 fixed entries, 29 greys, then the 6 x 6 x 6 cube
// (red slowest) without the greys whose three levels are equal, with two entries replaced.
std::vector<Rgb> ExpectedColourTable()
{
    std::vector<Rgb> table = {{0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0x00, 0x00, 0xFF},
                              {0xFF, 0xFF, 0x00}, {0x00, 0xFF, 0xFF}, {0xFF, 0x00, 0xFF},
                              {0xFF, 0xFF, 0xFF}, {0xDC, 0x00, 0x00}, {0x00, 0xDC, 0x00},
                              {0x00, 0x00, 0xDC}, {0xDC, 0xDC, 0x00}, {0x00, 0xDC, 0xDC},
                              {0xDC, 0x00, 0xDC}, {0xDC, 0xDC, 0xDC}, {0xD9, 0x13, 0x40},
                              {0x74, 0xDC, 0x7B}, {0x00, 0x00, 0x00}};
    for (int level : {17,  22,  28,  34,  41,  51,  57,  66,  77,  85,  96,  102, 112, 128, 140,
                      148, 153, 164, 172, 182, 192, 204, 212, 218, 224, 236, 248, 251, 255})
        table.push_back({level, level, level});
    const int levels[6] = {0, 51, 102, 153, 204, 255};
    for (int r : levels)
        for (int g : levels)
            for (int b : levels)
                if (!(r == g && g == b))
                    table.push_back({r, g, b});
    table[174] = {153, 204, 1};
    table[240] = {11, 138, 67};
    return table;
}

struct EmbeddedBitmap {
    const BITMAPINFOHEADER* header = nullptr;
    DWORD size = 0;
    const RGBQUAD* colours() const { return reinterpret_cast<const RGBQUAD*>(header + 1); }
    const BYTE* pixels() const { return reinterpret_cast<const BYTE*>(colours() + 256); }
};

EmbeddedBitmap LoadEmbeddedBitmap(int size)
{
    EmbeddedBitmap bitmap;
    HRSRC found =
        FindResourceA(nullptr, MAKEINTRESOURCEA(TempIconResource(size)), MAKEINTRESOURCEA(2));
    if (found) {
        bitmap.size = SizeofResource(nullptr, found);
        bitmap.header =
            static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, found)));
    }
    return bitmap;
}

TEST(TempIconBitmap, HeaderDescribesASquareBottomUpPaletteBitmap)
{
    for (int size : kIconSizes) {
        SCOPED_TRACE(testing::Message() << size << " px");
        const EmbeddedBitmap bitmap = LoadEmbeddedBitmap(size);
        ASSERT_NE(bitmap.header, nullptr) << "no RT_BITMAP resource";
        ASSERT_EQ(bitmap.size, sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD) + size * size);
        const BITMAPINFOHEADER& h = *bitmap.header;
        EXPECT_EQ(h.biSize, sizeof(BITMAPINFOHEADER));
        EXPECT_EQ(h.biWidth, size);
        EXPECT_EQ(h.biHeight, size); // positive: bottom-up
        EXPECT_EQ(h.biPlanes, 1);
        EXPECT_EQ(h.biBitCount, 8);
        EXPECT_EQ(h.biCompression, static_cast<DWORD>(BI_RGB));
        EXPECT_EQ(h.biClrUsed, 256u);
        EXPECT_EQ(h.biClrImportant, 256u);
    }
}

// The same table at every size: the colour-table rewrite and the mask rule hold for all.
TEST(TempIconBitmap, EveryColourTableEntryFollowsTheRules)
{
    const std::vector<Rgb> expected = ExpectedColourTable();
    ASSERT_EQ(expected.size(), 256u);
    for (int size : kIconSizes) {
        const EmbeddedBitmap bitmap = LoadEmbeddedBitmap(size);
        ASSERT_NE(bitmap.header, nullptr) << size << " px";
        std::vector<int> whites;
        for (int i = 0; i < 256; ++i) {
            EXPECT_EQ(traytest::RgbOf(bitmap.colours()[i]), expected[i]) << size << " px " << i;
            EXPECT_EQ(bitmap.colours()[i].rgbReserved, 0) << size << " px entry " << i;
            if (traytest::RgbOf(bitmap.colours()[i]) == Rgb{255, 255, 255})
                whites.push_back(i);
        }
        EXPECT_EQ(whites, (std::vector<int>{6, 45})) << size << " px";
    }
}

TEST(TempIconBitmap, EveryPixelHoldsItsSegmentIndex)
{
    for (int size : kIconSizes) {
        const EmbeddedBitmap bitmap = LoadEmbeddedBitmap(size);
        const traytest::PixelMap map = traytest::LoadPixelMap(size);
        ASSERT_NE(bitmap.header, nullptr) << size << " px";
        ASSERT_EQ(map.size, size);
        for (int row = 0; row < size; ++row) {
            // Bottom-up: the top row is stored last.
            const BYTE* stored = bitmap.pixels() + (size - 1 - row) * size;
            for (int column = 0; column < size; ++column)
                EXPECT_EQ(stored[column], map.Index(row, column))
                    << size << " px, row " << row << " column " << column;
        }
    }
}

} // namespace
