#include "ui/SystemLook.h"

#include "base/Log.h"

#include <cwchar>

namespace
{

const wchar_t PERSONALIZE_KEY[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
const wchar_t HIGH_CONTRAST_KEY[] = L"Control Panel\\Accessibility\\HighContrast";

// A value of the user's key, which any program of the user may have written: of the kind and
// size asked for, or nothing. False when it is missing or not of that kind.
bool ReadUserValue(const wchar_t* path, const wchar_t* name, const char* label, DWORD kind,
                   void* data, DWORD size)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD found = REG_NONE, length = size;
    const LONG status =
        RegQueryValueExW(key, name, nullptr, &found, static_cast<BYTE*>(data), &length);
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND)
        return false;
    if (status != ERROR_SUCCESS || found != kind || (kind == REG_DWORD && length != size)) {
        LogPrint("SystemLook: %s is not of the kind expected; ignored\n", label);
        return false;
    }
    return true;
}

bool LightTheme()
{
    DWORD light = 1;
    if (!ReadUserValue(PERSONALIZE_KEY, L"SystemUsesLightTheme", "SystemUsesLightTheme", REG_DWORD,
                       &light, sizeof light))
        return true;
    return light != 0;
}

// The flags as the system stores them: a decimal number as text ("127"). Read where
// SystemParametersInfo reports high contrast off, as Wine always does.
bool StoredHighContrast()
{
    wchar_t text[16] = L"";
    if (!ReadUserValue(HIGH_CONTRAST_KEY, L"Flags", "HighContrast Flags", REG_SZ, text,
                       sizeof text - sizeof(wchar_t)))
        return false;
    wchar_t* end = nullptr;
    const unsigned long flags = std::wcstoul(text, &end, 10);
    return end != text && *end == L'\0' && (flags & HCF_HIGHCONTRASTON) != 0;
}

bool HighContrastOn()
{
    HIGHCONTRASTW contrast = {};
    contrast.cbSize = sizeof contrast;
    if (SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
        (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0)
        return true;
    return StoredHighContrast();
}

PaletteColour SystemColour(int index)
{
    const COLORREF colour = GetSysColor(index);
    return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

} // namespace

HistoryPalette CurrentHistoryPalette()
{
    const SystemColours system = {SystemColour(COLOR_WINDOW), SystemColour(COLOR_WINDOWTEXT),
                                  SystemColour(COLOR_HIGHLIGHT), SystemColour(COLOR_GRAYTEXT)};
    if (HighContrastOn())
        return ChoosePalette(HistoryLook::HighContrast, system);
    return ChoosePalette(LightTheme() ? HistoryLook::Light : HistoryLook::Dark, system);
}

bool IsLookChange(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SYSCOLORCHANGE || message == WM_THEMECHANGED)
        return true;
    if (message != WM_SETTINGCHANGE)
        return false;
    if (wParam == SPI_SETHIGHCONTRAST)
        return true;
    const wchar_t* area = reinterpret_cast<const wchar_t*>(lParam);
    return area != nullptr && std::wcscmp(area, L"ImmersiveColorSet") == 0;
}
