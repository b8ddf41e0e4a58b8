#include "base/TimeText.h"

void ShortTimeText(const SYSTEMTIME& at, wchar_t* text, int size)
{
    if (size <= 0)
        return;
    if (GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &at, nullptr, text, size) != 0)
        return;
    // Written by hand: the C library's wide printf alone would add some 10 KB to the image.
    const wchar_t fallback[] = {static_cast<wchar_t>(L'0' + at.wHour / 10 % 10),
                                static_cast<wchar_t>(L'0' + at.wHour % 10),
                                L':',
                                static_cast<wchar_t>(L'0' + at.wMinute / 10 % 10),
                                static_cast<wchar_t>(L'0' + at.wMinute % 10),
                                L'\0'};
    int i = 0;
    for (; i < size - 1 && fallback[i] != L'\0'; ++i)
        text[i] = fallback[i];
    text[i] = L'\0';
}

void HourMinuteText(int hour, int minute, wchar_t* text, int size)
{
    SYSTEMTIME at = {};
    GetLocalTime(&at);
    at.wHour = static_cast<WORD>(hour);
    at.wMinute = static_cast<WORD>(minute);
    at.wSecond = 0;
    at.wMilliseconds = 0;
    ShortTimeText(at, text, size);
}
