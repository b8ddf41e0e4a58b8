// The application object: one lives in the entry function (or the service) for the whole run. It
// is zero-initialised (TrayApp app{}) and torn down in reverse member order. The controller's
// part (the hidden window, the watcher, the settings, the history of reports) runs in both roles;
// the icon, the menu, the notice and the history window only in the tray role.
#pragma once

#include "base/LoadedTexts.h"
#include "base/MessageWindow.h"
#include "app/EventReport.h"
#include "app/HistoryPopup.h"
#include "app/ServiceStatus.h"
#include "app/Settings.h"
#include "app/ThrottleNotice.h"
#include "app/TrayGestures.h"
#include "link/PipeClient.h"
#include "link/PipeServer.h"
#include "ui/TrayIcon.h"
#include "ui/TrayMenu.h"
#include "watch/CTempWatch.h"

struct TrayApp {
    // Every user-facing text in the user's language, loaded at start.
    LoadedTexts texts;
    TrayIcon trayIcon;
    MessageWindow messageWindow;
    CTempWatch tempWatch;
    // The user's choices as the main thread knows them; the watcher gets them as WatchChoice.
    Settings settings;
    TrayMenu trayMenu;
    TrayGestures trayGestures;
    ThrottleNotice throttleNotice;
    // The status of the last reading reported (READING_OK, ...) and, while it is
    // READING_FAILED, the local time at which the readings began to fail.
    int32_t readingStatus;
    SYSTEMTIME failedSince;
    // The cap as last reported: the AC maximum processor state in force (0 while unknown) and
    // whether it lowers some value below the user's own setting.
    int32_t capInForce;
    bool capLowered;
    // Every report of the run, and the history window while it is open.
    HistoryPopup history;
    // What goes to the event log.
    EventReport events;
    // The controller serves the status pipe; a view (the controller runs elsewhere: the
    // machine's service, or a tray in another session) shows what the pipe tells it, and has no
    // watcher and no server of its own. viewIconMade: the view's icon has been made once.
    PipeServer statusPipe;
    bool isView;
    bool viewIconMade;
    PipeClient viewLink;
    // A view: the controller last heard from is a tray in another session, not the machine's
    // service (which is assumed until a controller has been heard from).
    bool controllerIsTray;
    // The role: null for a tray instance; for the service, its reports to the Service Control
    // Manager. The service shows nothing and keeps the machine's settings and ledger.
    ServiceStatus* service;
};
