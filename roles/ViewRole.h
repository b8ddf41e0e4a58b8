// A view: the presenter of a controller that runs elsewhere (the machine's service, or a tray in
// another session), fed by the status pipe's client. It shows the controller's reports as the
// tray shows its own, keeps the user's own Notify and Start with Windows, and never reads a
// sensor or writes a power setting.
#pragma once

#include "base/LoadedTexts.h"
#include "base/MessageWindow.h"
#include "link/KeptHistoryReader.h"
#include "link/PipeClient.h"
#include "present/Presenter.h"
#include "ui/DayRing.h"
#include "ui/HistoryRing.h"

#include <windows.h>

// Zero-initialised (ViewRole view{}), it lives in the entry function for the whole run.
struct ViewRole {
    LoadedTexts texts;
    MessageWindow messageWindow;
    Presenter presenter;
    PipeClient link;
    // The controller's readings and day, as the pipe has told them.
    HistoryRing readings;
    DayRing day;
    // The controller last heard from is a tray in another session, not the machine's service
    // (which is assumed until a controller has been heard from).
    bool controllerIsTray;
    // What this user's own tray left in its ledger has been given back (once per run).
    bool leftoversGivenBack;
    // The controller's kept history, asked for each time the history window opens or an export
    // is asked for; the last one read is held (null before the first).
    KeptHistoryFetch keptFetch;
    HistoryStore* kept;
    // An export waits for the history under way; one is under way (its dialog is open).
    bool exportWhenKept;
    bool exporting;
};

// Creates the hidden window, loads the user's settings (the controller's zone, threshold and
// battery choice replace them) and listens to the pipe until the window is destroyed. Returns 0
// after a normal end and -1 when the window class or the window cannot be made.
int RunView(ViewRole& view, HINSTANCE instance);

// The view's handler for the hidden window; user is the ViewRole.
LONG_PTR ViewWndProc(void* user, UINT message, WPARAM wParam, LPARAM lParam);
