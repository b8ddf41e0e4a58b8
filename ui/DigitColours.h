// The colours of the tray icon's segment bitmap for a temperature and a throttle mode: the
// first 16 colour-table entries, computed without the platform.
#pragma once

#include <array>
#include <cstdint>

// Seven-segment code of each decimal digit: bit 6 = a, 5 = b, 4 = c, 3 = d, 2 = e, 1 = f, 0 = g.
extern const uint8_t SegmentTable[10];

// One colour-table entry, bytes in the order of the platform's RGBQUAD.
struct ColourEntry {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t reserved;
};

// Entries 0-6: segments a-g of the ones digit; 7-13: segments a-g of the tens digit;
// 14: the hundreds bar; 15: the mode bar.
const int DIGIT_COLOUR_COUNT = 16;
const int ONES_FIRST_ENTRY = 0;
const int TENS_FIRST_ENTRY = 7;
const int HUNDREDS_ENTRY = 14;
const int MODE_BAR_ENTRY = 15;

using DigitColourTable = std::array<ColourEntry, DIGIT_COLOUR_COUNT>;

// The mode bar's colour: green at mode 0 (the user's own values), yellow at 1 (99 %), grey while
// paused (AMBREL_PAUSED_MODE: no mode is in force, and the bar says so at any size and in every
// look, as the icon's ground is black in all of them), red at 2 (80 %) and any other mode.
ColourEntry ModeBarColour(int mode);

// The table that shows t (°C) and the throttle mode. 0 to 99 show two digits, 100 and above the
// hundreds bar and the last two digits; -1 to -9 show a minus sign and the digit, -10 and below
// (the missing reading -273 among them) show "--".
DigitColourTable ComputeDigitColours(int t, int mode);
