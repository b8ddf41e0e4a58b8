#include "roles/ViewRole.h"

#include "base/HiddenWindow.h"
#include "base/LocalClock.h"
#include "base/Log.h"
#include "power/SchemeKeeper.h"
#include "present/RecordsFromPipe.h"
#include "roles/ConsoleShutdown.h"
#include "roles/RoleWindow.h"
#include "ui/ReadingRecord.h"
#include "settings/Policy.h"
#include "settings/StartWithWindows.h"
#include "watch/TempConversion.h"

#include <cstring>
#include <new>

namespace
{

// What this user's own tray left capped (a kill, a crash) is the user's to give back, with the
// user's rights: the service never writes a value read from a user's key. Only once the machine's
// service is known to control: a tray of this user in another session is still at work.
void GiveBackOwnLeftovers(ViewRole& view)
{
    if (view.leftoversGivenBack || view.controllerIsTray)
        return;
    view.leftoversGivenBack = true;
    SchemeKeeper* keeper = new (std::nothrow) SchemeKeeper();
    if (keeper == nullptr)
        return;
    keeper->GiveBackOwnLeftovers();
    delete keeper;
}

// The controller's report is recorded for the history window and shown as the watcher's is in
// the tray.
void ShowReport(ViewRole& view, const ControllerReport& report)
{
    RecordReading(view.readings, view.day, static_cast<int64_t>(GetTickCount64()), LocalClockMs(),
                  report.temperature, report.mode, report.readingStatus, report.capLowered);
    view.presenter.Show(report);
}

// The message owns the status; what arrives after the view's end is dropped with it. wParam
// says where the controller runs.
void OnStatus(ViewRole& view, WPARAM wParam, LPARAM lParam)
{
    PipeStatus* status = reinterpret_cast<PipeStatus*>(lParam);
    const PipeServerSession session = wParam <= static_cast<WPARAM>(PipeServerSession::Other)
                                          ? static_cast<PipeServerSession>(wParam)
                                          : PipeServerSession::Other;
    view.controllerIsTray = !IsMachineService(status->setBy, session);
    const ControllerReport report = ReportFromPipe(*status, !view.controllerIsTray);
    delete status;
    GiveBackOwnLeftovers(view);
    ShowReport(view, report);
}

// The controller's readings replace the ones held.
void OnHistory(ViewRole& view, LPARAM lParam)
{
    PipeHistory* history = reinterpret_cast<PipeHistory*>(lParam);
    HistoryFromPipe(*history, static_cast<int64_t>(GetTickCount64()), view.readings);
    delete history;
    view.presenter.RefreshHistory(false);
}

// The controller's day replaces the one held; the statuses that follow go on from it.
void OnDay(ViewRole& view, LPARAM lParam)
{
    PipeDay* day = reinterpret_cast<PipeDay*>(lParam);
    DayFromPipe(*day, static_cast<int64_t>(GetTickCount64()), LocalClockMs(), view.day);
    delete day;
    view.presenter.RefreshHistory(false);
}

// No controller answers: what is shown becomes "--" with "Ambrel service not running", or
// "Ambrel has ended in the other session" where the controller was a tray there, or that the
// pipe's server is not Ambrel.
void OnControllerLost(ViewRole& view, WPARAM how)
{
    LogPrint("WndProc(): no controller on the pipe\n");
    // The controller's choices and zone stay as last reported.
    ControllerReport report = view.presenter.Shown();
    report.temperature = TEMP_NO_READING;
    report.mode = 0;
    report.readingStatus = how == PIPE_LOST_NOT_AMBRELS ? READING_NOT_AMBRELS
                           : view.controllerIsTray      ? READING_CONTROLLER_ENDED
                                                        : READING_NO_CONTROLLER;
    report.capInForce = 0;
    report.capLowered = false;
    report.pausedSeconds = 0;
    ShowReport(view, report);
}

bool OnEndSession(ViewRole& view, WPARAM ending)
{
    if (!ending)
        return false;
    LogPrint("WndProc(): WM_ENDSESSION\n");
    view.presenter.Close();
    DestroyWindow(view.messageWindow.hwnd.load());
    return true;
}

} // namespace

int RunView(ViewRole& view, HINSTANCE instance)
{
    if (!MakeRoleWindow(view.messageWindow, instance, ViewWndProc, &view))
        return -1;
    HWND window = view.messageWindow.hwnd.load();
    view.texts.Load(instance, 0);
    view.presenter.Bind(view.messageWindow, view.texts.table, view.readings, view.day);
    SetConsoleShutdownWindow(window);

    Settings choices = {};
    LoadUserSettings(choices);
    ApplyPolicies(choices);
    view.presenter.TakeChoices(choices);
    DropUserStartBesideMachineStart();
    LogPrint("view start\n");
    view.presenter.ShowForController();
    view.link.window = &view.messageWindow;
    view.link.Start();
    LogPrint("message loop start\n");
    RunMessageLoop(nullptr);
    view.presenter.EndHistory();

    EndMessageLoop(view.messageWindow);
    view.link.Stop();
    LogPrint("watch stopped\n");
    view.presenter.ReleaseIcon();
    LogPrint("tray stopped\n");
    return 0;
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
        OnHistory(view, lParam);
        return 0;
    case WM_PIPEDAY:
        OnDay(view, lParam);
        return 0;
    case WM_PIPELOST:
        OnControllerLost(view, wParam);
        return 0;
    case WM_ENDSESSION:
        return OnEndSession(view, wParam) ? 0 : MESSAGE_NOT_HANDLED;
    default:
        return view.presenter.Handle(message, wParam, lParam) ? 0 : MESSAGE_NOT_HANDLED;
    }
}
