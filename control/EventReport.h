// What the controller reports to the Windows event log (source "Ambrel"): its start and stop,
// each throttle episode (lowered, ended), the values it gave back at start that an earlier run had
// left, the sensor failing and reading again, a failed power write, a cap without effect, a pause
// and its end, a status
// pipe that cannot be made (and, from the service before any of these, a log file it refused).
// EventRules decides when; this class turns the controller's facts into events. It runs on the
// main thread, fed by the dispatcher's handlers of the watcher's messages and by Run, in the tray
// as in any other role that runs the controller. A failure to report changes nothing else.
#pragma once

#include "control/EventRules.h"
#include "settings/Settings.h"
#include "base/EventSource.h"
#include "power/KeeperFacts.h"

#include <windows.h>

#include <cstdint>

// The hidden window's timer that ends a quiet episode on time, when no report comes.
const UINT_PTR EPISODE_TIMER_ID = 0x4550;

// One event the program reports: its full message id, its type and how many inserts it carries.
struct EventKind {
    DWORD id;
    WORD type;
    WORD inserts;
};
const int EVENT_KIND_COUNT = 14;
extern const EventKind EVENT_KINDS[EVENT_KIND_COUNT];

class EventReport
{
  public:
    EventSource source;
    EventRules rules;
    // The scheme the cap was last put in force in, as the watcher posted it.
    SchemeId scheme;
    bool hasScheme;
    // Whether the cap lowers something, as last reported.
    bool lowered;
    // Stop has run: nothing more is reported.
    bool stopped;

    // Registers the source and reports the start with the choices in force.
    void Start(const Settings& settings);
    void OnScheme(WPARAM first, LPARAM last);
    // Each report of the watcher: the temperature, whether the cap lowers something, the value
    // in force and whether the reading was good. Arms the quiet timer of window when the cap
    // stops lowering.
    void OnReport(HWND window, int32_t t, bool nowLowered, int32_t inForce, bool good);
    void OnQuietTimer(HWND window);
    // A change of the reading's status (READING_OK, ...) for the zone read.
    void OnStatus(int32_t status, const char* zone);
    void OnWriteFailed(WPARAM which, LPARAM error);
    // The cap is found to have no effect: the value in force, the processor's performance and
    // its busy share, in percent. Once per episode.
    void OnNoEffect(int32_t inForce, int32_t performance, int32_t busy);
    // The status pipe cannot be made (the pipe's server tells it once a run).
    void OnPipeFailed(DWORD error);
    // A pause has begun or been renewed (by whom, for how many minutes), or has ended (how:
    // resumed by whom, or its time over).
    void OnPause(const char* by, int minutes);
    void OnResume(const char* how);
    // What the keeper gave back at start, left by a run that did not end in order.
    void OnLeftovers(const GivenBackList& leftovers);
    // Once the watcher has stopped: ends an open episode, reports a write-back that failed and
    // what was given back; deregisters the source. Runs once, later calls do nothing.
    void Stop(const GivenBackList& givenBack, FailedWrite& failure);

  private:
    void ReportEpisode(const EpisodeNews& news, int32_t t, int32_t inForce);
    void ReportFailure(const SchemeId& failedScheme, uint32_t which, uint32_t error);
};
