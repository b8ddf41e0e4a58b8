// The tray: the controller and the presenter of one user's instance, on the hidden window of its
// session. The window procedure hands the watcher's reports to both, and the presenter's choices
// to the controller.
#pragma once

#include "base/LoadedTexts.h"
#include "base/MessageWindow.h"
#include "control/Controller.h"
#include "present/Presenter.h"

#include <windows.h>

// Zero-initialised (TrayRole tray{}), it lives in the entry function for the whole run and is
// torn down in reverse member order.
struct TrayRole {
    // Every user-facing text in the user's language, loaded at start.
    LoadedTexts texts;
    MessageWindow messageWindow;
    Controller controller;
    Presenter presenter;
};

// Creates the hidden window, loads the user's settings, starts the controller and runs the
// message loop until the window is destroyed, then stops the controller (which gives every value
// back) and removes the icon. Returns 0 after a normal end and -1 when the window class or the
// window cannot be made.
int RunTray(TrayRole& tray, HINSTANCE instance);

// The tray's handler for the hidden window; user is the TrayRole. Returns 0 when the message was
// handled, -1 when it should get default handling.
LONG_PTR TrayWndProc(void* user, UINT message, WPARAM wParam, LPARAM lParam);
