// The tray icon's tooltip: what the icon cannot show (the zone, the maximum processor state, why
// there is no reading). Composed without the platform, as UTF-16 text, so that the degree sign
// and the zone names show on every system code page.
#pragma once

#include <cstddef>
#include <cstdint>

// The shell's tooltip buffer, terminating zero included.
const size_t TOOLTIP_SIZE = 128;

struct TooltipFacts {
    int32_t temperature; // as shown; TEMP_NO_READING before any good reading
    int32_t mode;
    int32_t status; // READING_OK, READING_FAILED, READING_NO_ZONE or READING_NO_CONTROLLER
    // The chosen zone: empty for the default zone, HOTTEST_ZONE, or a zone name.
    const char* zone;
    // Local time at which the readings began to fail (status READING_FAILED).
    int failedHour;
    int failedMinute;
    // The values used on battery are capped too.
    bool onBattery;
    // The AC maximum processor state in force; 0 while unknown, when the mode's level is named.
    int32_t inForce;
    // The cap lowers some value below the user's own setting: what it caps is named.
    bool lowered;
};

// Writes the tooltip into text (size characters, at least 1), cut to fit.
void ComposeTooltip(char16_t* text, size_t size, const TooltipFacts& facts);

// The history window's line of text, the same facts in short: the temperature ("--" while
// readings fail), the zone and the maximum processor state. Cut to size characters.
void ComposeHistoryText(char16_t* text, size_t size, const TooltipFacts& facts);
