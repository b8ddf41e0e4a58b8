// The service: the controller with the machine's settings and ledger, and its state as the
// Service Control Manager sees it. No desktop (session 0): no icon, no menu, no window to show.
#pragma once

#include "base/MessageWindow.h"
#include "control/Controller.h"
#include "roles/service/ServiceStatus.h"

#include <windows.h>

// Zero-initialised, as the controller must be.
struct ServiceRole {
    MessageWindow messageWindow;
    Controller controller;
    // The reports to the Service Control Manager; set by the owner.
    ServiceStatus* status;
};

// Creates the hidden window, starts the controller with the machine's settings and reports the
// service running; runs the message loop until a stop closes the window, reports stop pending and
// stops the controller, which gives every value back. Returns 0 after a normal end and -1 when
// the window class or the window cannot be made.
int RunServiceRole(ServiceRole& service, HINSTANCE instance);

// The service's handler for the hidden window; user is the ServiceRole.
LONG_PTR ServiceWndProc(void* user, UINT message, WPARAM wParam, LPARAM lParam);
