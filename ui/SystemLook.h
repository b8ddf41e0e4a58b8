// The system's look as the history window follows it: high contrast (SPI_GETHIGHCONTRAST), else
// the system theme (SystemUsesLightTheme under the user's Personalize key; light where it is
// missing, as before Windows 10). Main thread.
#pragma once

#include "ui/HistoryPalette.h"

#include <windows.h>

// The look in force now, with the system colours for high contrast.
HistoryPalette CurrentHistoryPalette();

// Whether a message tells of a change of the look: the theme (WM_SETTINGCHANGE with
// "ImmersiveColorSet"), high contrast (WM_SETTINGCHANGE for SPI_SETHIGHCONTRAST) or the system
// colours (WM_SYSCOLORCHANGE, WM_THEMECHANGED).
bool IsLookChange(UINT message, WPARAM wParam, LPARAM lParam);
