// A time of day as the user reads it in the tooltip and in the status: the user's locale's format
// without seconds.
#pragma once

#include <windows.h>

// Writes at's hours and minutes into text (size characters, terminated); where the locale gives
// no format, as HH:MM.
void ShortTimeText(const SYSTEMTIME& at, wchar_t* text, int size);
// The same for a time of today given as its hour and minute (as a status carries one).
void HourMinuteText(int hour, int minute, wchar_t* text, int size);
