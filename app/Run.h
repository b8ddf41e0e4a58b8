#pragma once

#include <windows.h>

struct TrayApp;

// Interval between two temperature readings.
const DWORD AMBREL_WATCH_INTERVAL_MS = 2000;

// Creates the hidden window, starts the watcher and runs the message loop until the window is
// destroyed, then stops the watcher and removes the tray icon. In the service's role
// (app.service set) it reports the service running once the watcher has started, and stop pending
// while the watcher gives every value back. Returns 0 after a normal end and
// -1 when the window class or the window cannot be made.
int Run(TrayApp& app, HINSTANCE instance);
