// With --console, Ctrl+C, Ctrl+Break and closing the console window would end the process on
// the spot, leaving the processor throttled. The handler installed here turns them into the
// program's orderly shutdown (the same WM_CLOSE that Exit posts) and holds the process until
// the saved power value has been written back.
#pragma once

#include <windows.h>

// Installs the console control handler. It acts on the window published below.
void InstallConsoleShutdown();

// Publishes the hidden window that the handler closes; null once the window is gone. The
// handler runs on a thread of its own, possibly after the entry function has returned, so it
// keeps nothing but this handle, in storage of its own.
void SetConsoleShutdownWindow(HWND window);

// Called by the entry function once its teardown is complete: releases a waiting handler, and
// makes any later event a no-op.
void ConsoleShutdownComplete();

// The handler itself: for Ctrl+C, Ctrl+Break and a console close it posts WM_CLOSE to the
// hidden window and returns TRUE once the teardown is complete (or the grace period is over).
BOOL WINAPI ConsoleShutdownHandler(DWORD event);
