// The text of the notification shown when the cap first lowers a value below its own setting.
// Composed without the platform, as UTF-16 text, so that the degree sign shows on every code page,
// from the texts of the user's language.
#pragma once

#include "base/TextTable.h"

#include <cstddef>
#include <cstdint>

// Room for the text, terminating zero included (the shell's balloon text holds 256).
const size_t NOTICE_SIZE = 256;

// "Ambrel lowered the maximum processor state to 99 % at 86 °C", cut to size characters.
void ComposeThrottleNotice(char16_t* text, size_t size, int32_t t, int32_t mode,
                           const TextTable& words);

// "The lowered maximum processor state has no effect seen: the processor runs at 131 % while
// 80 % is in force. ...", cut to size characters.
void ComposeNoEffectNotice(char16_t* text, size_t size, int32_t performance, int32_t inForce,
                           const TextTable& words);
