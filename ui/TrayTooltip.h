// The tray icon's tooltip: what the icon cannot show (the zone, the maximum processor state, why
// there is no reading). Composed without the platform, as UTF-16 text, so that the degree sign
// and the zone names show on every system code page, from the texts of the user's language.
#pragma once

#include "base/TextTable.h"

#include <cstddef>
#include <cstdint>

// The shell's tooltip buffer, terminating zero included.
const size_t TOOLTIP_SIZE = 128;

struct TooltipFacts {
    int32_t temperature; // as shown; TEMP_NO_READING before any good reading
    int32_t mode;
    // READING_OK, READING_FAILED, READING_NO_ZONE, or in a view READING_NO_CONTROLLER,
    // READING_CONTROLLER_ENDED or READING_NOT_AMBRELS
    int32_t status;
    // The chosen zone: empty for the default zone, HOTTEST_ZONE, or a zone name.
    const char* zone;
    // The local time at which the readings began to fail (status READING_FAILED), as the
    // user's locale writes it.
    const char16_t* failedAt;
    // The values used on battery are capped too.
    bool onBattery;
    // The AC maximum processor state in force; 0 while unknown, when the mode's level is named.
    int32_t inForce;
    // The cap lowers some value below the user's own setting: what it caps is named.
    bool lowered;
    // While paused, the local time at which the pause ends, as the user's locale writes it;
    // null when not paused.
    const char16_t* pausedUntil;
    // While the cap lowers a value, what the check of its effect says (CAP_EFFECT_*), and the
    // processor's performance seen (percent of its base): a cap without effect says so.
    int32_t effect = 0;
    int32_t performance = 0;
};

// Writes the tooltip into text (size characters, at least 1), cut to fit.
void ComposeTooltip(char16_t* text, size_t size, const TooltipFacts& facts, const TextTable& words);

// The history window's line of text, the same facts in short: the temperature ("--" while
// readings fail), the zone and the maximum processor state, with a cap's lack of effect. Cut to
// size characters.
void ComposeHistoryText(char16_t* text, size_t size, const TooltipFacts& facts,
                        const TextTable& words);

// A label along the bottom of the history window, minutes before now on a scale spanMinutes long
// with a label every tickMinutes: "now" at the right, the span with its unit at the left ("−30
// min", over a day in hours, "−24 h"), the numbers alone in between ("−25"). A single label
// between the two names its unit too: "−1" alone beside "now" reads as no time at all.
void ComposeAxisLabel(char16_t* text, size_t size, int32_t minutes, int32_t spanMinutes,
                      int32_t tickMinutes, const TextTable& words);

// A number with its unit in the user's language ("47 °C" from IDS_DEGREES, "99 %" from
// IDS_PERCENT), the number as words.formatNumber writes it, cut to size characters.
void ComposeQuantity(char16_t* text, size_t size, long long number, int pattern,
                     const TextTable& words);
