// Helpers of the tray icon tests: a hidden window, read-back of GDI state, process resource
// counts, the shell's view of the icon and the segment bitmap's pixel map.
#pragma once

#include "ui/TrayIcon.h"
#include "win/support/ResourceCounts.h"

#include <set>
#include <string>
#include <vector>

namespace traytest
{

// The designed sizes of the segment bitmap, and the one this display's small icons get.
const int kIconSizes[] = {16, 20, 24, 32};
int SystemIconSize();

// The segment bitmap's pixel map at one size, row 0 at the top, as drawn in res/tempicon*.txt
// (embedded in the test program as RCDATA with the size as id): hexadecimal digits for indices
// 0 to 15 and '.' for 16, the background. Empty when there is no map of that size.
struct PixelMap {
    int size = 0;
    std::vector<std::string> rows;
    int Index(int row, int column) const;
};
PixelMap LoadPixelMap(int size);

// A hidden top-level window that exists for the lifetime of the object.
class HiddenWindow
{
  public:
    HiddenWindow();
    ~HiddenWindow();
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;
    HWND handle = nullptr;
};

// The colour (red, green, blue) of a colour-table entry.
struct Rgb {
    int red;
    int green;
    int blue;
};
bool operator==(const Rgb& a, const Rgb& b);
std::ostream& operator<<(std::ostream& out, const Rgb& c);
Rgb RgbOf(const RGBQUAD& entry);

// All 256 entries of a DIB section's colour table, read through a DC of our own; empty when the
// bitmap cannot be selected (for instance because it is still selected elsewhere).
std::vector<RGBQUAD> ReadColourTable(HBITMAP bitmap);
// The colour table that the segment bitmap resource holds, straight from the executable.
std::vector<RGBQUAD> StoredColourTable();

// The bits of a square 1-bpp bitmap, row 0 at the top; empty when they cannot be read.
std::vector<std::vector<int>> ReadMask(HBITMAP mask);

// True when the shell holds an icon with id 0 for window.
bool ShellHasIcon(HWND window);
// Removes the icon behind the owner's back, as a restarting taskbar does.
bool ShellForgetIcon(HWND window);

// Resource counts for the leak tests, shared with the soak test.
using wintest::GdiObjectCount;
using wintest::KernelHandleCount;
using wintest::PrivateBytes;

// A temperature and mode and the colour-table entries 0 to 15 that must show them.
struct Shown {
    int t;
    int mode;
    // Entries that must be lit (240, 240, 240); every other entry below 15 is black.
    std::set<int> lit;
    Rgb bar;
};
extern const Rgb kGreen;
extern const Rgb kYellow;
extern const Rgb kRed;
// The bar while paused.
extern const Rgb kGrey;

} // namespace traytest
