// The application's handler for the hidden window: menu commands, tray mouse notifications and
// the watcher's temperature reports.
#pragma once

#include <windows.h>

// user is the TrayApp. Returns 0 when the message was handled, -1 when it should get default
// handling.
LONG_PTR WndProc(void* user, UINT message, WPARAM wParam, LPARAM lParam);

struct TrayApp;

// Opens the history window, or closes it when it is open: what a click on the icon does.
void ToggleHistory(TrayApp& app);
