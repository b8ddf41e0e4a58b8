// The run that every role shares, in this order: its hidden window, bound to the role; what the
// role starts (its presenter, its controller or its pipe client); the message loop until the
// window has gone, serving the controller's status pipe; what ends while the window's messages
// still reach it (the presenter's history window, the role's own leave); the end of the loop,
// after which none does; what the role stops ("watch stopped"); the presenter's icon last
// ("tray stopped"). A role names its parts; a part it does not have is null.
#pragma once

#include "base/LoadedTexts.h"
#include "base/MessageWindow.h"
#include "control/Controller.h"
#include "link/PipeServer.h"
#include "present/Presenter.h"

#include <windows.h>

struct RoleRun {
    MessageWindow* window;
    MessageHandler handler;
    void* role;
    // The controller's pipe, served by the loop; null in a view.
    PipeServer* pipe;
    // The tray's or the view's; null in the service.
    Presenter* presenter;
    void (*start)(void* role, HINSTANCE instance);
    void (*leave)(void* role);
    void (*stop)(void* role);
};

// Returns 0 after the window has gone, and -1 when the window class or the window cannot be
// made: nothing has started then.
int RunRole(const RoleRun& run, HINSTANCE instance);

// The presenter of a tray or a view on the role's window: the texts in the user's language, the
// records it draws the history window from, Ctrl+C of a console start.
void OpenPresenter(Presenter& presenter, LoadedTexts& texts, MessageWindow& window,
                   HINSTANCE instance, const HistoryRing& readings, DayRing& day);

// WM_ENDSESSION: at log-off or shutdown, and when the Restart Manager closes the program
// (ENDSESSION_CLOSEAPP), the process may be ended as soon as this returns. A tray's controller
// (null in a view) is stopped first, so that the watcher's last callback writes the user's power
// value back; then the icon goes and the window is destroyed, so that the normal end runs and the
// process exits when the platform lets it. False (default handling) while the session goes on.
bool CloseForEndOfSession(Presenter& presenter, MessageWindow& window, Controller* controller,
                          WPARAM ending);
