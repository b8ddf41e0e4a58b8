// The throttle controller: turns temperature readings into a throttle mode with an 80-84 °C
// dead band and a four-reading debounce, and applies each new mode to the power setting.
#pragma once

#include "power/ThrottleSetting.h"

#include <cstdint>

// Upper threshold by default: a reading at or above it asks for more throttling.
const int AMBREL_UPPER_THRESHOLD = 85;
// Lower threshold by default: a reading below it asks for less throttling.
const int AMBREL_LOWER_THRESHOLD = 80;
// The lower threshold stays this far below a chosen upper one, so the dead band keeps its width.
const int AMBREL_BAND_WIDTH = AMBREL_UPPER_THRESHOLD - AMBREL_LOWER_THRESHOLD;
// A step is taken when this many readings in a row have asked for it.
const int AMBREL_READINGS_PER_STEP = 4;
// Mode 0, 1 and 2 cap at 100 %, 99 % and 80 %: at most, never above the user's own value.
const int AMBREL_HIGHEST_MODE = 2;
// A throttle episode, as the notice and the event log count them, is over once the cap has
// lowered nothing for this long: a machine that hovers around the threshold makes one episode.
const uint64_t AMBREL_EPISODE_QUIET_MS = 10 * 60 * 1000;
// The menu's pause lasts an hour; one from the command line (--pause N) 1 minute to two hours,
// which is what the service's control codes can carry.
const int AMBREL_MENU_PAUSE_MINUTES = 60;
const int AMBREL_LONGEST_PAUSE_MINUTES = 120;

// Whether a pause of some minutes (0: the end of one, always allowed) may be made: the one rule
// that the menu, a request from the session, the service's control and the controller follow.
enum class PauseVerdict { Allowed, Forbidden, OutOfRange };
PauseVerdict JudgePause(bool forbidden, long long minutes);
// What the icon's bar, the history and the pipe show while paused, in place of the mode: the
// mode itself is 0 then, the user's own values.
const int AMBREL_PAUSED_MODE = 3;

class Ambrel
{
  public:
    // The active scheme's AC maximum processor state (efficiency class 0) in force, as read at
    // start and after each write; 0 while unknown. What is written back at the end, per scheme,
    // is kept by the watcher's SchemeKeeper.
    uint32_t inForce;
    // The last write left some value below the user's own setting: the cap is biting.
    bool lowered;
    // Throttle mode, 0 to AMBREL_HIGHEST_MODE.
    int32_t mode;
    // Readings that have asked for the pending step; 0 when none is pending.
    int32_t count;
    // Direction of the pending step: +1 more throttling, -1 less, 0 none.
    int32_t vec;
    // The chosen upper threshold in °C; 0 (a zeroed controller) stands for AMBREL_UPPER_THRESHOLD.
    int32_t throttleAt;
    // Where each new mode is written; set by the owner before the first reading.
    ThrottleSetting* setting;
    // While paused, the clock (in milliseconds, the caller's) at which the pause ends; 0 when
    // not paused. A controller starts unpaused: a restart ends a pause.
    uint64_t pausedUntil;
    // A policy forbids the pause.
    bool pauseForbidden;

    // One controller step for a reading in °C.
    void OnTemperature(int t);
    // A tick without a reading: mode and pending step stay as they are; the tick is logged with
    // the temperature still shown.
    void OnNoReading(int shown);
    // Sets the upper threshold (the lower one follows 5 °C below it). A change cancels a pending
    // step, which was counted against the old band.
    void SetThrottleAt(int upper);
    int UpperThreshold() const;
    // The throttle is engaged (mode 1 or 2): only then does a switch of power scheme need to be
    // followed, as mode 0 asks nothing of the scheme.
    bool Engaged() const;
    int LowerThreshold() const;
    // Caps the maximum processor state at the current mode's level (mode 0: the user's own
    // values), reads back the value in force and logs it.
    void SetPowerMode();

    // Gives every lowered value its own setting back at once (mode 0) and takes no step until
    // nowMs + forMs, or Resume; a pause while paused runs from now. False, changing nothing, when a
    // policy forbids it or forMs is 0 or longer than AMBREL_LONGEST_PAUSE_MINUTES.
    bool Pause(uint64_t nowMs, uint64_t forMs);
    // Ends the pause; from the next reading on, four in a row take a step again. False when not
    // paused.
    bool Resume();
    // Ends the pause once its time has come: true when it did.
    bool OnClock(uint64_t nowMs);
    bool Paused() const;
    // The mode, or AMBREL_PAUSED_MODE while paused.
    int ShownMode() const;

  private:
    void CountTowards(int wanted);
    void LogTick(int t) const;
};

// The maximum processor state (percent) of a mode, or 0 for a mode outside 0 to 2 (the paused
// one among them: it caps nothing).
uint32_t ThrottlePercentOfMode(int mode);
