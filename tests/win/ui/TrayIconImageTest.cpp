// The icon as a person sees it: TrayIcon's bitmaps made into an icon and drawn with DrawIconEx
// onto a neutral background, pixel by pixel against the pixel map, at every designed size. With
// AMBREL_ICON_IMAGES set to a directory (a Windows path, e.g. Z:\tmp\icons) the drawings are
// also written there as BMP files, at their size and scaled 4 times, for the README; the names
// of the smaller sizes end in the size.
#include "TrayTestSupport.h"

#include "ui/TrayIcon.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace
{

using namespace traytest;

const int SCALE = 4;
const Rgb kBackground = {128, 128, 128};
const Rgb kUnlit = {0, 0, 0};
const Rgb kLit = {240, 240, 240};

struct Image {
    int size = 0;
    std::vector<Rgb> pixels; // row 0 at the top
    Rgb At(int row, int column) const { return pixels[row * size + column]; }
};

// A 32-bpp top-down DIB section with its own DC, filled with the background.
class Canvas
{
  public:
    explicit Canvas(int canvasSize) : size(canvasSize)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = size;
        info.bmiHeader.biHeight = -size;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        dc = CreateCompatibleDC(nullptr);
        previous = SelectObject(dc, bitmap);
        HBRUSH brush = CreateSolidBrush(RGB(kBackground.red, kBackground.green, kBackground.blue));
        const RECT all = {0, 0, size, size};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~Canvas()
    {
        if (previous)
            SelectObject(dc, previous);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    Image Read() const
    {
        Image image;
        image.size = size;
        GdiFlush();
        const auto* quads = static_cast<const RGBQUAD*>(bits);
        for (int i = 0; quads && i < size * size; ++i)
            image.pixels.push_back(RgbOf(quads[i]));
        return image;
    }

    const int size;
    HBITMAP bitmap = nullptr;
    void* bits = nullptr;
    HDC dc = nullptr;
    HGDIOBJ previous = nullptr;
};

// The icon made from TrayIcon's colour bitmap and mask, as the shell gets it, drawn at its size
// and scaled without smoothing.
struct Drawing {
    Image actual;
    Image scaled;
};

Drawing Draw(const TrayIcon& icon)
{
    Drawing drawing;
    ICONINFO info = {};
    info.fIcon = TRUE;
    info.hbmMask = icon.maskBitmap;
    info.hbmColor = icon.colourBitmap;
    HICON handle = CreateIconIndirect(&info);
    if (!handle)
        return drawing;
    const int size = icon.width;
    Canvas small(size);
    Canvas large(size * SCALE);
    if (DrawIconEx(small.dc, 0, 0, handle, size, size, 0, nullptr, DI_NORMAL)) {
        SetStretchBltMode(large.dc, COLORONCOLOR);
        StretchBlt(large.dc, 0, 0, large.size, large.size, small.dc, 0, 0, size, size, SRCCOPY);
        drawing.actual = small.Read();
        drawing.scaled = large.Read();
    }
    DestroyIcon(handle);
    return drawing;
}

// A bottom-up 24-bpp BMP file.
bool WriteBmp(const std::string& path, const Image& image)
{
    const int stride = (image.size * 3 + 3) / 4 * 4;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = image.size;
    header.biHeight = image.size;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = stride * image.size;
    file.bfType = 0x4d42; // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    std::string rows;
    for (int row = image.size - 1; row >= 0; --row) {
        std::string line(stride, '\0');
        for (int column = 0; column < image.size; ++column) {
            const Rgb c = image.At(row, column);
            line[column * 3] = static_cast<char>(c.blue);
            line[column * 3 + 1] = static_cast<char>(c.green);
            line[column * 3 + 2] = static_cast<char>(c.red);
        }
        rows += line;
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(rows.data(), static_cast<std::streamsize>(rows.size()));
    return static_cast<bool>(out);
}

struct ImageCase {
    Shown shown;
    const char* name;
};

// Together they show every digit in both places, the hundreds bar, the minus sign and the pause.
const ImageCase kImages[] = {
    {{47, 0, {0, 1, 2, /**/ 8, 9, 12, 13}, kGreen}, "icon-47-mode0"},
    {{88, 1, {0, 1, 2, 3, 4, 5, 6, /**/ 7, 8, 9, 10, 11, 12, 13}, kYellow}, "icon-88-mode1"},
    {{100, 2, {0, 1, 2, 3, 4, 5, /**/ 7, 8, 9, 10, 11, 12, /**/ 14}, kRed}, "icon-100-mode2"},
    {{12, 0, {0, 1, 3, 4, 6, /**/ 8, 9}, kGreen}, "icon-12-mode0"},
    {{35, 1, {0, 2, 3, 5, 6, /**/ 7, 8, 9, 10, 13}, kYellow}, "icon-35-mode1"},
    {{69, 2, {0, 1, 2, 3, 5, 6, /**/ 7, 9, 10, 11, 12, 13}, kRed}, "icon-69-mode2"},
    {{-5, 0, {0, 2, 3, 5, 6, /**/ 13}, kGreen}, "icon-minus5-mode0"},
    {{47, 3, {0, 1, 2, /**/ 8, 9, 12, 13}, kGrey}, "icon-47-paused"},
};

// Segment and bar pixels show their entry's colour; every mask bit is 0, so no pixel lets the
// background through.
void ExpectPixels(const Drawing& drawing, const Shown& shown, const PixelMap& map)
{
    const size_t pixels = static_cast<size_t>(map.size * map.size);
    ASSERT_GT(pixels, 0u);
    ASSERT_EQ(drawing.actual.pixels.size(), pixels);
    ASSERT_EQ(drawing.scaled.pixels.size(), pixels * SCALE * SCALE);
    int wrong = 0;
    int barPixels = 0;
    for (int row = 0; row < map.size; ++row)
        for (int column = 0; column < map.size; ++column) {
            const int index = map.Index(row, column);
            const Rgb pixel = drawing.actual.At(row, column);
            Rgb expected = pixel;
            if (index == 15) {
                expected = shown.bar;
                ++barPixels;
            } else if (index < 15) {
                expected = shown.lit.count(index) ? kLit : kUnlit;
            }
            const bool ok = pixel == expected && !(pixel == kBackground) &&
                            drawing.scaled.At(row * SCALE + 1, column * SCALE + 2) == pixel;
            if (!ok && ++wrong <= 5)
                ADD_FAILURE() << "pixel at row " << row << " column " << column << " (index "
                              << index << ") is " << pixel << ", expected " << expected;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(barPixels, 2 * map.size - 2);
}

TEST(TrayIconImageTest, DrawnIconShowsTheDigitsAndTheModeColour)
{
    HiddenWindow window;
    ASSERT_NE(window.handle, nullptr);
    const char* directory = std::getenv("AMBREL_ICON_IMAGES");
    for (int size : kIconSizes) {
        TrayIcon icon;
        ASSERT_TRUE(icon.CreateTrayIcon(window.handle, 47, 0));
        icon.ResizeTrayIcon(size);
        EXPECT_EQ(icon.width, size);
        // The first icon, before any update, is as opaque as every later one.
        ExpectPixels(Draw(icon), kImages[0].shown, LoadPixelMap(size));
        for (const ImageCase& image : kImages) {
            SCOPED_TRACE(testing::Message() << image.name << " at " << size << " px");
            icon.UpdateTrayIcon(image.shown.t, image.shown.mode);
            const Drawing drawing = Draw(icon);
            ExpectPixels(drawing, image.shown, LoadPixelMap(size));
            if (!directory || !*directory || drawing.actual.pixels.empty())
                continue;
            std::string base = std::string(directory) + "\\" + image.name;
            if (size != 32)
                base += "-" + std::to_string(size);
            EXPECT_TRUE(WriteBmp(base + ".bmp", drawing.actual)) << base;
            EXPECT_TRUE(WriteBmp(base + "-x4.bmp", drawing.scaled)) << base;
        }
        icon.ReleaseTrayIcon();
    }
}

} // namespace
