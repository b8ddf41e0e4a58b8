// The application object: one lives in the entry function for the whole run. It is
// zero-initialised (TrayApp app{}) and torn down in reverse member order.
#pragma once

#include "app/MessageWindow.h"
#include "ui/TrayIcon.h"
#include "watch/CTempWatch.h"

struct TrayApp {
    TrayIcon trayIcon;
    MessageWindow messageWindow;
    CTempWatch tempWatch;
};
