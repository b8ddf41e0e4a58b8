#include "roles/ViewRole.h"

#include "base/HiddenWindow.h"
#include "base/LocalClock.h"
#include "base/Log.h"
#include "power/SchemeKeeper.h"
#include "roles/ConsoleShutdown.h"
#include "roles/RoleWindow.h"
#include "settings/Policy.h"
#include "settings/StartWithWindows.h"
#include "watch/TempConversion.h"

#include <cstring>
#include <new>

namespace
{

// The zone, the threshold and the battery choice are the controller's, from the start.
void LockMachineChoices(Presenter& presenter)
{
    presenter.settings.locked.zone = true;
    presenter.settings.locked.throttleAt = true;
    presenter.settings.locked.onBattery = true;
    presenter.forMachine = true;
    presenter.lockedBy = "for this machine";
}

// The controller's zone, threshold and battery choice, shown in the menu; the reading, the cap
// and the failure time. The user's own Notify stays.
void TakeStatus(ViewRole& view, const PipeStatus& status, PipeServerSession session)
{
    Presenter& presenter = view.presenter;
    view.controllerIsTray = !IsMachineService(status.setBy, session);
    presenter.otherSession = view.controllerIsTray;
    std::memcpy(presenter.settings.zone, status.zone, sizeof presenter.settings.zone);
    presenter.settings.zone[sizeof presenter.settings.zone - 1] = '\0';
    std::memcpy(presenter.zone, presenter.settings.zone, sizeof presenter.zone);
    presenter.settings.throttleAt = status.throttleAt;
    presenter.settings.onBattery = status.onBattery;
    presenter.readingStatus = status.status;
    presenter.failedSince.wHour = status.failedHour;
    presenter.failedSince.wMinute = status.failedMinute;
    presenter.capInForce = status.inForce;
    presenter.capLowered = status.lowered;
    presenter.OnPause(status.pausedSeconds);
}

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

void RecordReport(ViewRole& view, int t, int mode)
{
    const int64_t now = static_cast<int64_t>(GetTickCount64());
    view.readings.Add(
        {now, t, static_cast<int16_t>(mode), static_cast<int16_t>(view.presenter.readingStatus)});
    view.day.Add(now, LocalClockMs(), t, mode, view.presenter.readingStatus,
                 view.presenter.capLowered);
}

// The controller's report is shown as the watcher's is in the tray; the icon is made by the first
// report, and never again once Exit has removed it.
void ShowReport(ViewRole& view, int t, int mode)
{
    RecordReport(view, t, mode);
    if (view.iconMade) {
        view.presenter.Show(t, mode);
        return;
    }
    view.iconMade = true;
    view.presenter.ShowFirst(t, mode);
}

// The message owns the status; what arrives after the view's end is dropped with it. wParam
// says where the controller runs.
void OnStatus(ViewRole& view, WPARAM wParam, LPARAM lParam)
{
    PipeStatus* status = reinterpret_cast<PipeStatus*>(lParam);
    const PipeServerSession session = wParam <= static_cast<WPARAM>(PipeServerSession::Other)
                                          ? static_cast<PipeServerSession>(wParam)
                                          : PipeServerSession::Other;
    TakeStatus(view, *status, session);
    GiveBackOwnLeftovers(view);
    const int t = status->temperature;
    const int mode = status->mode;
    delete status;
    ShowReport(view, t, mode);
}

// The controller's readings replace the ones held.
void OnHistory(ViewRole& view, LPARAM lParam)
{
    PipeHistory* history = reinterpret_cast<PipeHistory*>(lParam);
    const int64_t now = static_cast<int64_t>(GetTickCount64());
    view.readings.Clear();
    for (int i = 0; i < history->count; ++i) {
        const PipeSample& s = history->samples[i];
        view.readings.Add({now - static_cast<int64_t>(s.ageMs), s.value, s.mode, s.status});
    }
    delete history;
    view.presenter.RefreshHistory(false);
}

// The controller's day replaces the one held; the statuses that follow go on from it.
void OnDay(ViewRole& view, LPARAM lParam)
{
    PipeDay* day = reinterpret_cast<PipeDay*>(lParam);
    view.day.FromPipe(*day, static_cast<int64_t>(GetTickCount64()), LocalClockMs());
    delete day;
    view.presenter.RefreshHistory(false);
}

// No controller answers: what is shown becomes "--" with "Ambrel service not running", or
// "Ambrel has ended in the other session" where the controller was a tray there, or that the
// pipe's server is not Ambrel.
void OnControllerLost(ViewRole& view, WPARAM how)
{
    LogPrint("WndProc(): no controller on the pipe\n");
    view.presenter.readingStatus = how == PIPE_LOST_NOT_AMBRELS ? READING_NOT_AMBRELS
                                   : view.controllerIsTray      ? READING_CONTROLLER_ENDED
                                                                : READING_NO_CONTROLLER;
    view.presenter.capInForce = 0;
    view.presenter.capLowered = false;
    view.presenter.OnPause(0);
    ShowReport(view, TEMP_NO_READING, 0);
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

    LoadUserSettings(view.presenter.settings);
    ApplyPolicies(view.presenter.settings);
    std::memcpy(view.presenter.zone, view.presenter.settings.zone, sizeof view.presenter.zone);
    DropUserStartBesideMachineStart();
    LogPrint("view start\n");
    LockMachineChoices(view.presenter);
    view.link.window = &view.messageWindow;
    view.link.Start();
    LogPrint("message loop start\n");
    RunMessageLoop(nullptr);
    view.presenter.history.Close(window);

    EndMessageLoop(view.messageWindow);
    view.link.Stop();
    LogPrint("watch stopped\n");
    view.presenter.trayIcon.ReleaseTrayIcon();
    LogPrint("tray stopped\n");
    return 0;
}

LONG_PTR ViewWndProc(void* user, UINT message, WPARAM wParam, LPARAM lParam)
{
    ViewRole& view = *static_cast<ViewRole*>(user);
    switch (message) {
    case WM_COMMAND:
        // The controller's choices are locked here: only the user's own change.
        view.presenter.OnCommand(LowInt(wParam));
        return 0;
    case WM_FROMTRAY:
        view.presenter.OnTrayNotification(wParam, lParam);
        return 0;
    case WM_PIPESTATUS:
        OnStatus(view, wParam, lParam);
        return 0;
    case WM_PIPEHISTORY:
        OnHistory(view, lParam);
        return 0;
    case WM_PIPELOST:
        OnControllerLost(view, wParam);
        return 0;
    case WM_HISTORYCLOSE:
        view.presenter.OnHistoryClose(wParam);
        return 0;
    case WM_HISTORYRANGE:
        view.presenter.OnHistoryRange(wParam);
        return 0;
    case WM_PIPEDAY:
        OnDay(view, lParam);
        return 0;
    case WM_TIMER:
        if (wParam != HISTORY_TIMER_ID)
            return MESSAGE_NOT_HANDLED;
        view.presenter.OnHistoryTimer();
        return 0;
    case WM_ENDSESSION:
        return OnEndSession(view, wParam) ? 0 : MESSAGE_NOT_HANDLED;
    case DPI_CHANGED_MESSAGE:
    case WM_SETTINGCHANGE:
        view.presenter.FitToScale();
        return MESSAGE_NOT_HANDLED;
    default:
        if (message == ShowHistoryMessage()) {
            view.presenter.OnSecondStart();
            return 0;
        }
        if (message == TaskbarCreatedMessage()) {
            view.presenter.OnTaskbarCreated();
            return 0;
        }
        return MESSAGE_NOT_HANDLED;
    }
}
