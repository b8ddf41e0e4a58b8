#include "roles/ViewRole.h"

#include "base/LocalClock.h"
#include "base/Log.h"
#include "power/OwnLeftovers.h"
#include "present/RecordsFromPipe.h"
#include "roles/RoleRun.h"
#include "roles/RoleWindow.h"
#include "ui/ReadingRecord.h"
#include "settings/Policy.h"
#include "settings/StartWithWindows.h"

namespace
{

// Recorded for the history window, and shown as the tray shows the watcher's report.
void ShowReport(ViewRole& view, const ControllerReport& report)
{
    RecordReading(view.readings, view.day, static_cast<int64_t>(GetTickCount64()), LocalClockMs(),
                  report.temperature, report.mode, report.readingStatus, report.capLowered);
    view.presenter.Show(report);
}

// The message owns the status; what arrives after the view's end is dropped with it. wParam
// says where the controller runs. What this user's own tray left capped (a kill, a crash) is the
// user's to give back, with the user's rights: the service never writes a value read from a
// user's key. Only once the machine's service is known to control: a tray of this user in
// another session is still at work.
void OnStatus(ViewRole& view, WPARAM wParam, LPARAM lParam)
{
    PipeStatus* status = reinterpret_cast<PipeStatus*>(lParam);
    view.controllerIsTray = !IsMachineService(status->setBy, SessionOfStatus(wParam));
    const ControllerReport report = ReportFromPipe(*status, !view.controllerIsTray);
    delete status;
    if (!view.leftoversGivenBack && !view.controllerIsTray) {
        view.leftoversGivenBack = true;
        GiveBackOwnLeftoversOfView();
    }
    ShowReport(view, report);
}

// The controller's readings or its day replace the ones held; the statuses that follow go on
// from them. The message owns what it brings.
void OnRecords(ViewRole& view, UINT message, LPARAM lParam)
{
    const int64_t now = static_cast<int64_t>(GetTickCount64());
    if (message == WM_PIPEHISTORY) {
        PipeHistory* history = reinterpret_cast<PipeHistory*>(lParam);
        HistoryFromPipe(*history, now, view.readings);
        delete history;
    } else {
        PipeDay* day = reinterpret_cast<PipeDay*>(lParam);
        DayFromPipe(*day, now, LocalClockMs(), view.day);
        delete day;
    }
    view.presenter.RefreshHistory(false);
}

// The Save As dialog and the file, of the store held; read is false when the history asked for
// could not be read (the presenter then says so rather than export an older one).
void ExportHeld(ViewRole& view, bool read)
{
    view.exportWhenKept = false;
    view.exporting = true;
    view.presenter.KeepHistory(read ? view.kept : nullptr);
    view.presenter.ExportHeldHistory();
    view.presenter.KeepHistory(view.kept);
    view.exporting = false;
}

// A read under way serves whoever asked: the window and an export alike.
void OnKeptWanted(ViewRole& view, WPARAM why)
{
    if (why == KEPT_FOR_EXPORT)
        view.exportWhenKept = true;
    view.keptFetch.window = &view.messageWindow;
    if (!view.keptFetch.Start() && view.exportWhenKept)
        ExportHeld(view, false);
}

// The newest history read replaces the one held; one that could not be read leaves it, but an
// export asked for meanwhile is not made of an older one.
void OnKept(ViewRole& view, LPARAM lParam)
{
    HistoryStore* store = reinterpret_cast<HistoryStore*>(lParam);
    // The Save As dialog's own message loop may bring one while the held store is being
    // exported: that one stays until the export is done.
    if (view.exporting) {
        delete store;
        view.exportWhenKept = false;
        return;
    }
    if (store != nullptr) {
        view.presenter.KeepHistory(store);
        delete view.kept;
        view.kept = store;
        view.presenter.RefreshHistory(false);
    }
    if (view.exportWhenKept)
        ExportHeld(view, store != nullptr);
}

void OnControllerLost(ViewRole& view, WPARAM how)
{
    LogPrint("WndProc(): no controller on the pipe\n");
    ShowReport(view, ReportOfLostController(view.presenter.Shown(), how == PIPE_LOST_NOT_AMBRELS,
                                            view.controllerIsTray));
}

void Start(void* role, HINSTANCE instance)
{
    ViewRole& view = *static_cast<ViewRole*>(role);
    OpenPresenter(view.presenter, view.texts, view.messageWindow, instance, view.readings,
                  view.day);
    view.presenter.TakeChoices(UserChoicesUnderPolicy());
    DropUserStartBesideMachineStart();
    LogPrint("view start\n");
    view.presenter.ShowForController();
    view.link.window = &view.messageWindow;
    view.link.Start();
}

void Stop(void* role)
{
    ViewRole& view = *static_cast<ViewRole*>(role);
    view.link.Stop();
    view.keptFetch.Stop();
    // The history window has closed: nothing shows the kept history any more.
    view.presenter.KeepHistory(nullptr);
    delete view.kept;
    view.kept = nullptr;
}

} // namespace

int RunView(ViewRole& view, HINSTANCE instance)
{
    const RoleRun run = {&view.messageWindow, ViewWndProc, &view,   nullptr,
                         &view.presenter,     Start,       nullptr, Stop};
    return RunRole(run, instance);
}

// The glue between the pipe's client and the presenter: what the pipe brings, the menu's
// choices, the end of the session; every other message is the presenter's.
LONG_PTR ViewWndProc(void* user, UINT message, WPARAM wParam, LPARAM lParam)
{
    ViewRole& view = *static_cast<ViewRole*>(user);
    switch (message) {
    case WM_COMMAND:
        // The controller's choices are locked here: only the user's own change.
        view.presenter.OnCommand(LowInt(wParam));
        return 0;
    case WM_PIPESTATUS:
        OnStatus(view, wParam, lParam);
        return 0;
    case WM_PIPEHISTORY:
    case WM_PIPEDAY:
        OnRecords(view, message, lParam);
        return 0;
    case WM_PIPELOST:
        OnControllerLost(view, wParam);
        return 0;
    case WM_KEPTWANTED:
        OnKeptWanted(view, wParam);
        return 0;
    case WM_KEPTHISTORY:
        OnKept(view, lParam);
        return 0;
    case WM_ENDSESSION:
        return CloseForEndOfSession(view.presenter, view.messageWindow, nullptr, wParam)
                   ? 0
                   : MESSAGE_NOT_HANDLED;
    default:
        return view.presenter.Handle(message, wParam, lParam) ? 0 : MESSAGE_NOT_HANDLED;
    }
}
