// What a presenter shows of the controller whose reports it gets, as one value: the last reading
// and how it went, the zone read, the cap in force and whether it lowers something, the pause, and
// the controller's choices with whose they are. The tray's controller makes it
// (Controller::Report); a view makes it from each status the pipe brings (ReportFromPipe); the
// pipe's status is made from it (PipeStatusOf). Platform-free.
#pragma once

#include "link/PipeMessage.h"

#include <cstdint>

// Whose the report's zone, threshold and battery choice are: the tray's own (the user's, with the
// policies over them), the machine's service's, or a tray's in another session.
enum class ChoicesOf : uint8_t { Own, Machine, OtherSession };

struct ControllerReport {
    // The reading: °C (TEMP_NO_READING when there is none), the throttle mode (0, 1, 2, or
    // PIPE_PAUSED_MODE), and how it went (READING_*).
    int32_t temperature;
    int32_t mode;
    int32_t readingStatus;
    // While the readings fail, the local time at which they began to.
    uint8_t failedHour;
    uint8_t failedMinute;
    // The zone read, as the tooltip, the menu and the history window name it.
    char zone[PIPE_ZONE_SIZE];
    // The AC maximum processor state in force (0 while unknown), and whether the cap lowers some
    // value below the user's own setting.
    int32_t capInForce;
    bool capLowered;
    // While the cap lowers a value, whether it takes effect (CAP_EFFECT_*, PIPE_EFFECT_* on the
    // pipe) and the processor's performance seen, in percent of its base (0 while none).
    int32_t capEffect;
    int32_t capPerformance;
    // Seconds the pause has left; 0 when not paused.
    uint32_t pausedSeconds;
    // The controller's choices: the threshold in °C and whether the battery values are capped
    // too; PIPE_SET_* bits for what a policy (or the machine) set.
    int32_t throttleAt;
    bool onBattery;
    uint8_t setBy;
    ChoicesOf choicesOf;
};

// A view's report of a status that the pipe brought; service: the machine's service sent it
// (else a tray in another session did).
ControllerReport ReportFromPipe(const PipeStatus& status, bool service);

// The status that the viewers are told of a report.
PipeStatus PipeStatusOf(const ControllerReport& report);
