// What the shell shows: the icon in Wine's system-tray window, captured from the screen, carries
// the bar colour of the mode.
#include "TrayTestSupport.h"

#include "ui/TrayIcon.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace
{

using namespace traytest;

struct Capture {
    int width = 0;
    int height = 0;
    std::vector<RGBQUAD> pixels; // top-down
};

HWND FindTrayWindow()
{
    return FindWindowA(nullptr, "Wine System Tray");
}

Capture CaptureWindow(HWND window)
{
    Capture capture;
    RECT rect = {};
    if (!GetWindowRect(window, &rect))
        return capture;
    capture.width = rect.right - rect.left;
    capture.height = rect.bottom - rect.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = capture.width;
    info.bmiHeader.biHeight = -capture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP target = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, target);
    if (target &&
        BitBlt(memory, 0, 0, capture.width, capture.height, screen, rect.left, rect.top, SRCCOPY)) {
        GdiFlush();
        const auto* first = static_cast<const RGBQUAD*>(bits);
        capture.pixels.assign(first, first + capture.width * capture.height);
    }
    SelectObject(memory, previous);
    DeleteObject(target);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return capture;
}

bool Near(const RGBQUAD& pixel, const Rgb& colour)
{
    const int tolerance = 30;
    return std::abs(pixel.rgbRed - colour.red) <= tolerance &&
           std::abs(pixel.rgbGreen - colour.green) <= tolerance &&
           std::abs(pixel.rgbBlue - colour.blue) <= tolerance;
}

int CountNear(const Capture& capture, const Rgb& colour)
{
    int count = 0;
    for (const RGBQUAD& pixel : capture.pixels)
        if (Near(pixel, colour))
            ++count;
    return count;
}

struct BarCounts {
    int green;
    int yellow;
    int red;
};

BarCounts CountBars(HWND tray)
{
    const Capture capture = CaptureWindow(tray);
    return {CountNear(capture, kGreen), CountNear(capture, kYellow), CountNear(capture, kRed)};
}

// Icons that other programs have in the tray stay where they are and keep their colours, so the
// counts are taken relative to the tray as it was before the icon was added.
BarCounts Minus(const BarCounts& a, const BarCounts& b)
{
    return {a.green - b.green, a.yellow - b.yellow, a.red - b.red};
}

bool ShowsOnly(const BarCounts& counts, int mode)
{
    const int shown[3] = {counts.green, counts.yellow, counts.red};
    return shown[mode] > 0 && shown[(mode + 1) % 3] == 0 && shown[(mode + 2) % 3] == 0;
}

// The shell repaints on its own time; wait generously for the expected picture.
BarCounts WaitForBar(HWND tray, const BarCounts& before, int mode)
{
    BarCounts counts = {};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
        counts = Minus(CountBars(tray), before);
        if (ShowsOnly(counts, mode))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < deadline);
    return counts;
}

TEST(TrayScreenshot, BarShowsTheModeColour)
{
    HiddenWindow window;
    TrayIcon icon;
    HWND existingTray = FindTrayWindow();
    const BarCounts before = existingTray ? CountBars(existingTray) : BarCounts{};
    ASSERT_TRUE(icon.CreateTrayIcon(window.handle, 47, 0));
    HWND tray = nullptr;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(tray = FindTrayWindow()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_NE(tray, nullptr) << "no \"Wine System Tray\" window";

    // The bar spans the icon's width in its bottom rows; at 16 x 16 that is still a few dozen
    // pixels, of which a good part keep the pure colour.
    const int minimum = 8;
    const int modes[] = {0, 1, 2, 0};
    int t = 47;
    for (int mode : modes) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        icon.UpdateTrayIcon(++t, mode);
        const BarCounts counts = WaitForBar(tray, before, mode);
        const int shown[3] = {counts.green, counts.yellow, counts.red};
        EXPECT_GE(shown[mode], minimum);
        EXPECT_EQ(shown[(mode + 1) % 3], 0);
        EXPECT_EQ(shown[(mode + 2) % 3], 0);
        std::cout << "mode " << mode << ": green " << counts.green << ", yellow " << counts.yellow
                  << ", red " << counts.red << " pixels\n";
    }
    icon.ReleaseTrayIcon();
}

} // namespace
