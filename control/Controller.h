// The controller: the watcher and the scheme keeper on their worker thread, the choices they apply
// (the user's or the machine's, with the policies over them), the reports to the event log and the
// status published on the pipe. It runs in the tray and in the service, each of which hands it
// the watcher's messages from its window procedure. Main thread only, but for the worker it
// starts.
#pragma once

#include "base/MessageWindow.h"
#include "control/EventReport.h"
#include "control/HistoryKeeper.h"
#include "link/ControllerReport.h"
#include "link/PipeServer.h"
#include "settings/Settings.h"
#include "ui/DayRing.h"
#include "ui/HistoryRing.h"
#include "watch/CTempWatch.h"

#include <windows.h>

#include <cstdint>

// Interval between two temperature readings.
const DWORD AMBREL_WATCH_INTERVAL_MS = 2000;

class Controller
{
  public:
    // The choices the controller starts with: the user's, or the machine's (the service: the
    // machine's settings and ledger, and the other controllers' ledgers are the users'); the
    // policies win.
    void LoadSettings(bool forMachine);
    // Reports the start to the event log, starts the worker with the choices loaded and serves
    // the status pipe; the reports go to window.
    void Start(MessageWindow& window);
    // After the message loop: ends the pipe and the worker (whose end gives every value back),
    // then reports the stop.
    void Stop();
    // At the end of the session: the worker gives every value back before this returns.
    void StopForEndOfSession();
    // After Stop: releases what the worker held; the worker is no longer running.
    void Release();
    bool WatchRunning() const;

    // The choices in force as the main thread knows them.
    const Settings& Choices() const { return settings; }
    // Every report of the run, for the history window of the tray that runs this controller.
    const HistoryRing& Readings() const { return readings; }
    DayRing& Day() { return day; }
    // The week and the days kept across runs, for the history window's 7 d and Days and the
    // export (null when there was no memory for them).
    HistoryStore* KeptHistory() { return kept.store; }
    // Ambrel.exe --export from this session: the history file written now. True once it is.
    bool SaveHistoryNow() { return kept.SaveNow(); }
    // The status pipe, served by the role's message loop.
    PipeServer* Pipe() { return &statusPipe; }
    // The zone as the watcher reads it: with nothing chosen on a machine without the default
    // zone, the hottest zone.
    const char* ZoneShown() const;

    // The messages that are the controller's alone: the watcher's status, cap, scheme, failed
    // write and pause, the pipe's failure, the quiet timer of an episode and the history's timer
    // (and, without taking it, the machine's going to sleep). True when it took
    // the message (its answer is 0); the reports themselves (WM_TEMPINIT, WM_TEMPCHANGE) are the
    // role's, which hands them on to OnReport and shows Report().
    bool Handle(UINT message, WPARAM wParam, LPARAM lParam);

    // The watcher's messages.
    void OnStatus(int32_t status);
    void OnCap(int32_t inForce, bool lowered);
    // The check of the cap's effect says something new (WM_TEMPEFFECT's parameters).
    void OnEffect(WPARAM wParam, LPARAM lParam);
    // One report; first for the watcher's first one (WM_TEMPINIT).
    void OnReport(int32_t t, int32_t mode, bool first);
    void OnQuietTimer();
    // A pause of minutes (1 to AMBREL_LONGEST_PAUSE_MINUTES) for the worker to take up at its
    // next reading, or the end of one; by says who asks, for the event log. False, with a log
    // line, when a policy forbids the pause or the minutes are out of range.
    bool Pause(int minutes, const char* by);
    void Resume(const char* by);
    // A pause of minutes (0 ends it) asked by this session's user, how naming the way (the
    // menu, Ambrel.exe --pause): the event log names the user. True when it was taken.
    bool PauseForUser(int minutes, const char* how);
    // Ambrel.exe --pause N or --resume from this session (the registered pause message): judged
    // as the menu's pause is, since any program of the session may send it. The message's answer:
    // PAUSE_ANSWER_DONE, PAUSE_ANSWER_FORBIDDEN, or 0 for minutes out of range.
    LRESULT AnswerSessionPause(WPARAM minutes);
    // The watcher has taken a pause up (WM_TEMPPAUSE): the seconds it has left, 0 once over.
    void OnPause(uint32_t secondsLeft);
    // The seconds the pause has left now; 0 when not paused.
    uint32_t PauseSecondsLeft() const;
    // The zone, the threshold and the battery choice of chosen go to the worker from its next
    // reading; the status pipe tells the viewers.
    void Choose(const Settings& chosen);
    // What a presenter shows of this controller now: the last report, the cap, the pause, the
    // zone read and the choices in force.
    ControllerReport Report() const;
    // Hands the current status, history and day to the pipe's server while somebody views; the
    // day goes to every viewer when newDay says a minute is complete, else only to those who
    // connect.
    void Publish(bool newDay = false);

  private:
    CTempWatch tempWatch;
    // The choices in force as the main thread knows them; the worker gets them as WatchChoice.
    Settings settings;
    EventReport events;
    PipeServer statusPipe;
    // Every report of the run: the pipe's history (and, in the tray, the history window's), and
    // the day minute by minute.
    HistoryRing readings;
    DayRing day;
    // The week and the days, kept across runs in the controller's file.
    HistoryKeeper kept;
    // The status of the last reading reported (READING_OK, ...) and, while it is
    // READING_FAILED, the local time at which the readings began to fail.
    int32_t readingStatus;
    SYSTEMTIME failedSince;
    // The cap as last reported: the AC maximum processor state in force (0 while unknown) and
    // whether it lowers some value below the user's own setting.
    int32_t capInForce;
    bool capLowered;
    // What the check of the cap's effect last said (CAP_EFFECT_*), with the performance and busy
    // share it was seen on.
    int32_t capEffect;
    int32_t capPerformance;
    int32_t capBusy;
    // While paused, the tick (GetTickCount64) at which the pause ends, as the watcher told it;
    // 0 when not paused.
    uint64_t pausedUntilMs;
    // The machine's controller (the service); set by LoadSettings.
    bool machine;

    MessageWindow* window;
    // Who asked for the pause or its end, for the event when the watcher has taken it up.
    char pauseBy[64];
    char resumeBy[64];

    // The status, the history and the day of now; null when there is no memory.
    PipeSnapshot* MakeSnapshot(bool newDay);
    static PipeSnapshot* SnapshotForViewer(void* controller);
    static size_t KeptForReader(void* controller, uint8_t* out, size_t room);
};
