#include "control/Controller.h"

#include "control/RecordsForPipe.h"

#include "base/HiddenWindow.h"
#include "base/LocalClock.h"
#include "base/Log.h"
#include "power/Ambrel.h"
#include "settings/Policy.h"
#include "ui/ReadingRecord.h"
#include "watch/CapEffect.h"
#include "watch/TempConversion.h"
#include "watch/WatchMessages.h"

#include <cstdio>
#include <cstring>
#include <new>

static_assert(ZONE_NAME_SIZE <= PIPE_ZONE_SIZE, "a zone name must fit the pipe's zone field");
static_assert(PIPE_PAUSED_MODE == AMBREL_PAUSED_MODE, "the pipe shows the pause as the icon does");
static_assert(PIPE_EFFECT_NONE == CAP_EFFECT_NONE && PIPE_EFFECT_UNAVAILABLE == CAP_EFFECT_HIGHEST,
              "the pipe tells the cap's effect as the watcher does");
static_assert(AMBREL_LONGEST_PAUSE_MINUTES * 60 <= PIPE_LONGEST_PAUSE_SECONDS,
              "every pause fits a status");

namespace
{

// The service's settings are the machine's; a tray controller's are its user's.
uint8_t SetByOf(const Settings& settings, bool machine)
{
    const MenuLocks& locked = settings.locked;
    return static_cast<uint8_t>(
        (machine ? PIPE_SET_FOR_MACHINE : 0) | (locked.zone ? PIPE_SET_ZONE : 0) |
        (locked.throttleAt ? PIPE_SET_THROTTLE_AT : 0) |
        (locked.onBattery ? PIPE_SET_ON_BATTERY : 0) | (locked.notify ? PIPE_SET_NOTIFY : 0));
}

} // namespace

void Controller::LoadSettings(bool forMachine)
{
    machine = forMachine;
    if (machine)
        LoadMachineSettings(settings);
    else
        LoadUserSettings(settings);
    ApplyPolicies(settings);
}

// The worker starts with the choices loaded; later choices reach it as WatchChoice. The service
// keeps its restore ledger under the machine's key; a user's instance takes over what the service
// left.
void Controller::Start(MessageWindow& owner)
{
    window = &owner;
    events.Start(settings);
    LogPrint("watch start\n");
    tempWatch.window = window;
    tempWatch.keeper.ledger.key.machine = machine;
    // The service reads no user's ledger: each user's own Ambrel gives back what it left.
    tempWatch.keeper.foreign.off = machine;
    std::memcpy(tempWatch.zone, settings.zone, sizeof tempWatch.zone);
    tempWatch.ambrel.SetThrottleAt(settings.throttleAt);
    tempWatch.keeper.onBattery = settings.onBattery;
    tempWatch.ambrel.pauseForbidden = settings.pauseForbidden;
    if (tempWatch.thread == nullptr)
        tempWatch.Start(AMBREL_WATCH_INTERVAL_MS, CTempWatch::callbackfnc, &tempWatch);
    statusPipe.window = window;
    statusPipe.makeSnapshot = SnapshotForViewer;
    statusPipe.makeKept = KeptForReader;
    statusPipe.makeContext = this;
    statusPipe.Start();
    kept.Start(machine, window->hwnd.load());
}

void Controller::Stop()
{
    statusPipe.Stop();
    tempWatch.Stop();
    kept.Stop(window != nullptr ? window->hwnd.load() : nullptr);
    events.Stop(tempWatch.keeper.givenBack, tempWatch.keeper.failure);
}

void Controller::Release()
{
    tempWatch.Close();
}

bool Controller::WatchRunning() const
{
    return tempWatch.thread != nullptr;
}

void Controller::StopForEndOfSession()
{
    tempWatch.Stop();
    kept.Stop(window != nullptr ? window->hwnd.load() : nullptr);
    events.Stop(tempWatch.keeper.givenBack, tempWatch.keeper.failure);
}

const char* Controller::ZoneShown() const
{
    return tempWatch.ZoneRead(settings.zone);
}

namespace
{

// Temperatures, modes and levels travel as signed 32-bit values in the low half of a parameter.
int32_t LowOf(WPARAM value)
{
    return static_cast<int32_t>(static_cast<DWORD>(value));
}

} // namespace

bool Controller::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TEMPSTATUS:
        OnStatus(LowOf(wParam));
        return true;
    case WM_TEMPCAP:
        OnCap(LowOf(wParam), lParam != 0);
        return true;
    case WM_TEMPEFFECT:
        OnEffect(wParam, lParam);
        return true;
    case WM_TEMPSCHEME:
        events.OnScheme(wParam, lParam);
        return true;
    case WM_TEMPWRITEFAIL:
        events.OnWriteFailed(wParam, lParam);
        return true;
    case WM_TEMPPAUSE:
        OnPause(static_cast<uint32_t>(wParam));
        return true;
    case WM_PIPEFAILED:
        events.OnPipeFailed(static_cast<DWORD>(wParam));
        return true;
    case WM_TIMER:
        if (wParam == HISTORY_SAVE_TIMER_ID) {
            kept.OnTimer();
            return true;
        }
        if (wParam != EPISODE_TIMER_ID)
            return false;
        OnQuietTimer();
        return true;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMSUSPEND)
            kept.Suspend();
        return false;
    default:
        return false;
    }
}

void Controller::OnStatus(int32_t status)
{
    events.OnStatus(status, ZoneShown());
    if (status == READING_FAILED && readingStatus != READING_FAILED)
        GetLocalTime(&failedSince);
    readingStatus = status;
}

void Controller::OnCap(int32_t inForce, bool lowered)
{
    capInForce = inForce;
    capLowered = lowered;
}

// A cap found without effect is reported once per episode (the events' rules decide).
void Controller::OnEffect(WPARAM wParam, LPARAM lParam)
{
    const int32_t effect = static_cast<int32_t>(wParam & 0xff);
    capPerformance = static_cast<int32_t>(lParam);
    capBusy = static_cast<int32_t>((wParam >> 8) & 0xff);
    if (effect == CAP_EFFECT_NONE && capEffect != CAP_EFFECT_NONE)
        events.OnNoEffect(capInForce, capPerformance, capBusy);
    capEffect = effect;
}

// The facts for the event log: what the keeper gave back at start (filled before the watcher
// posted its first report, and never again), then the cap as reported.
void Controller::OnReport(int32_t t, int32_t mode, bool first)
{
    HWND hwnd = window != nullptr ? window->hwnd.load() : nullptr;
    if (first)
        events.OnLeftovers(tempWatch.keeper.leftovers);
    events.OnReport(hwnd, t, capLowered, capInForce, readingStatus == READING_OK);
    kept.Record(
        {t, mode, capInForce, readingStatus == READING_OK, capLowered, mode == AMBREL_PAUSED_MODE});
    Publish(RecordReading(readings, day, static_cast<int64_t>(GetTickCount64()), LocalClockMs(), t,
                          mode, readingStatus, capLowered));
}

void Controller::OnQuietTimer()
{
    events.OnQuietTimer(window != nullptr ? window->hwnd.load() : nullptr);
}

bool Controller::Pause(int minutes, const char* by)
{
    const PauseVerdict verdict = JudgePause(settings.pauseForbidden, minutes);
    if (verdict == PauseVerdict::Forbidden) {
        LogPrint("Controller: pause by %s refused: forbidden by policy\n", by);
        return false;
    }
    if (minutes < 1 || verdict == PauseVerdict::OutOfRange) {
        LogPrint("Controller: pause of %d min by %s refused: out of range\n", minutes, by);
        return false;
    }
    LogPrint("Controller: pause of %d min by %s\n", minutes, by);
    std::snprintf(pauseBy, sizeof pauseBy, "%s", by);
    tempWatch.RequestPause(minutes);
    return true;
}

void Controller::Resume(const char* by)
{
    if (pausedUntilMs == 0) {
        LogPrint("Controller: resume by %s: not paused\n", by);
        return;
    }
    LogPrint("Controller: resume by %s\n", by);
    std::snprintf(resumeBy, sizeof resumeBy, "resumed by %s", by);
    tempWatch.RequestPause(0);
}

namespace
{

// "<user> (<how>)" for the event log: the tray's user is the session's.
void WhoAsks(char (&by)[64], const char* how)
{
    char user[40] = "";
    DWORD size = sizeof user;
    if (!GetUserNameA(user, &size))
        std::snprintf(user, sizeof user, "the user");
    std::snprintf(by, sizeof by, "%s (%s)", user, how);
}

} // namespace

bool Controller::PauseForUser(int minutes, const char* how)
{
    char by[64];
    WhoAsks(by, how);
    if (minutes == 0) {
        Resume(by);
        return true;
    }
    return Pause(minutes, by);
}

LRESULT Controller::AnswerSessionPause(WPARAM minutes)
{
    const long long asked = minutes > static_cast<WPARAM>(AMBREL_LONGEST_PAUSE_MINUTES)
                                ? -1
                                : static_cast<long long>(minutes);
    const PauseVerdict verdict = JudgePause(settings.pauseForbidden, asked);
    if (verdict == PauseVerdict::Forbidden) {
        LogPrint("WndProc(): pause message refused: forbidden by policy\n");
        return PAUSE_ANSWER_FORBIDDEN;
    }
    if (verdict == PauseVerdict::OutOfRange)
        return 0;
    return PauseForUser(static_cast<int>(minutes),
                        minutes != 0 ? "Ambrel.exe --pause" : "Ambrel.exe --resume")
               ? PAUSE_ANSWER_DONE
               : 0;
}

// The event tells what the watcher did, once it has: a pause refused by the worker, or a resume
// without a pause, reports nothing.
void Controller::OnPause(uint32_t secondsLeft)
{
    const bool was = pausedUntilMs != 0;
    pausedUntilMs = secondsLeft > 0 ? GetTickCount64() + secondsLeft * 1000ull : 0;
    if (secondsLeft > 0)
        events.OnPause(pauseBy, static_cast<int>((secondsLeft + 59) / 60));
    else if (was)
        events.OnResume(resumeBy[0] != '\0' ? resumeBy : "its time is over");
    resumeBy[0] = '\0';
}

uint32_t Controller::PauseSecondsLeft() const
{
    const uint64_t now = GetTickCount64();
    if (pausedUntilMs == 0 || pausedUntilMs <= now)
        return 0;
    return static_cast<uint32_t>((pausedUntilMs - now + 999) / 1000);
}

void Controller::Choose(const Settings& chosen)
{
    std::memcpy(settings.zone, chosen.zone, sizeof settings.zone);
    settings.throttleAt = chosen.throttleAt;
    settings.onBattery = chosen.onBattery;
    WatchChoice choice = {};
    std::snprintf(choice.zone, sizeof choice.zone, "%s", settings.zone);
    choice.throttleAt = settings.throttleAt;
    choice.onBattery = settings.onBattery;
    if (!tempWatch.RequestChoice(choice))
        LogPrint("WndProc(): no memory for the choice\n");
    Publish();
}

ControllerReport Controller::Report() const
{
    ControllerReport report = {};
    report.temperature = TEMP_NO_READING;
    report.readingStatus = READING_FAILED;
    if (readings.count > 0) {
        const HistoryEntry& last = readings.At(readings.count - 1);
        report.temperature = last.value;
        report.mode = last.mode;
        report.readingStatus = last.status;
    }
    report.capInForce = capInForce;
    report.capLowered = capLowered;
    report.capEffect = capEffect;
    report.capPerformance = capPerformance;
    std::strncpy(report.zone, ZoneShown(), sizeof report.zone - 1);
    report.throttleAt = settings.throttleAt;
    report.onBattery = settings.onBattery;
    report.setBy = SetByOf(settings, machine);
    report.choicesOf = ChoicesOf::Own;
    report.failedHour = static_cast<uint8_t>(failedSince.wHour);
    report.failedMinute = static_cast<uint8_t>(failedSince.wMinute);
    report.pausedSeconds = PauseSecondsLeft();
    return report;
}

// Nothing is made while nobody views: a viewer that connects gets a snapshot made for it. A modal
// loop (an open menu) dispatches the reports but does not wait for the pipe, so what has come on
// it meanwhile (what the viewers have read, a viewer's connection) is handled first.
void Controller::Publish(bool newDay)
{
    statusPipe.Pump();
    if (!statusPipe.HasViewers())
        return;
    if (PipeSnapshot* snapshot = MakeSnapshot(newDay))
        statusPipe.Publish(snapshot);
}

PipeSnapshot* Controller::MakeSnapshot(bool newDay)
{
    const PipeStatus status = PipeStatusOf(Report());
    PipeHistory* history = new (std::nothrow) PipeHistory();
    PipeDay* minutes = new (std::nothrow) PipeDay();
    PipeSnapshot* snapshot = nullptr;
    if (history != nullptr && minutes != nullptr) {
        const int64_t now = static_cast<int64_t>(GetTickCount64());
        HistoryToPipe(readings, now, *history);
        const int64_t local = LocalClockMs();
        day.Advance(now, local);
        DayToPipe(day, LocalMinute(local), *minutes);
        snapshot = MakePipeSnapshot(status, *history, *minutes, newDay);
    }
    delete history;
    delete minutes;
    return snapshot;
}

PipeSnapshot* Controller::SnapshotForViewer(void* controller)
{
    return static_cast<Controller*>(controller)->MakeSnapshot(false);
}

size_t Controller::KeptForReader(void* controller, uint8_t* out, size_t room)
{
    return static_cast<Controller*>(controller)->kept.EncodeNow(out, room);
}
