// The history window's colours for the system's look: light, dark (the system theme of Windows
// 10 and 11) or high contrast, where only the system's own colours are used and the throttle
// band is hatched instead of coloured. Computed without the platform.
#pragma once

#include <cstdint>

struct PaletteColour {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

enum class HistoryLook { Light, Dark, HighContrast };

// The system colours a high-contrast theme sets (COLOR_WINDOW, COLOR_WINDOWTEXT,
// COLOR_HIGHLIGHT, COLOR_GRAYTEXT).
struct SystemColours {
    PaletteColour window;
    PaletteColour windowText;
    PaletteColour highlight;
    PaletteColour grayText;
};

// How the band shows a throttle mode where it is hatched.
enum class BandHatch { None, Diagonal, Cross, Horizontal };

struct HistoryPalette {
    HistoryLook look;
    PaletteColour background;
    PaletteColour grid;
    PaletteColour text;
    PaletteColour temperature;
    PaletteColour threshold;
    PaletteColour performance;
    // The band's colour in each mode (0, 1, 2, and AMBREL_PAUSED_MODE), or, where hatched, the
    // colour of the hatching.
    PaletteColour band[4];
    bool hatched;
};

// The palette of a look; the system colours count for HighContrast only.
HistoryPalette ChoosePalette(HistoryLook look, const SystemColours& system);

// The band's hatching for a mode: none at the user's own values, diagonal at 99 %, horizontal
// while paused, crossed at 80 % (and any other mode).
BandHatch HatchOfMode(int mode);

// The contrast ratio of two colours as the web's accessibility guidelines define it, from 1
// (none) to 21 (black on white).
double ContrastRatio(PaletteColour a, PaletteColour b);
