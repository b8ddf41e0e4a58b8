#include "ui/HistoryPalette.h"

#include "power/Ambrel.h"
#include "ui/DigitColours.h"

#include <cmath>

namespace
{

PaletteColour BarColour(int mode)
{
    const ColourEntry entry = ModeBarColour(mode);
    return {entry.red, entry.green, entry.blue};
}

// The light look keeps the window's first colours; the dark one follows the system's dark
// flyouts, its lines lightened to keep their contrast on the dark ground.
HistoryPalette Light()
{
    return {HistoryLook::Light,
            {255, 255, 255},
            {228, 228, 228},
            {32, 32, 32},
            {20, 80, 200},
            {200, 100, 0},
            {150, 60, 170},
            {BarColour(0), BarColour(1), BarColour(2), BarColour(AMBREL_PAUSED_MODE)},
            false};
}

HistoryPalette Dark()
{
    return {HistoryLook::Dark,
            {32, 32, 32},
            {64, 64, 64},
            {240, 240, 240},
            {100, 170, 255},
            {255, 170, 60},
            {210, 130, 230},
            {BarColour(0), BarColour(1), BarColour(2), BarColour(AMBREL_PAUSED_MODE)},
            false};
}

// The temperature in the highlight's colour, the thresholds (dashed) and the performance (thin) in
// the text's, the grid grey; the band hatched in the text's colour, a pause in the grey one.
HistoryPalette HighContrast(const SystemColours& system)
{
    return {HistoryLook::HighContrast,
            system.window,
            system.grayText,
            system.windowText,
            system.highlight,
            system.windowText,
            system.windowText,
            {system.windowText, system.windowText, system.windowText, system.grayText},
            true};
}

double Channel(uint8_t value)
{
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(PaletteColour colour)
{
    return 0.2126 * Channel(colour.red) + 0.7152 * Channel(colour.green) +
           0.0722 * Channel(colour.blue);
}

} // namespace

HistoryPalette ChoosePalette(HistoryLook look, const SystemColours& system)
{
    switch (look) {
    case HistoryLook::Dark:
        return Dark();
    case HistoryLook::HighContrast:
        return HighContrast(system);
    case HistoryLook::Light:
        break;
    }
    return Light();
}

BandHatch HatchOfMode(int mode)
{
    if (mode == 0)
        return BandHatch::None;
    if (mode == AMBREL_PAUSED_MODE)
        return BandHatch::Horizontal;
    return mode == 1 ? BandHatch::Diagonal : BandHatch::Cross;
}

double ContrastRatio(PaletteColour a, PaletteColour b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return la > lb ? (la + 0.05) / (lb + 0.05) : (lb + 0.05) / (la + 0.05);
}
