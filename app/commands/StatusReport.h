// What Ambrel.exe --status prints, composed without the platform from what the status pipe
// answered: the exit code and first word of a monitoring check (OK, WARNING, CRITICAL, UNKNOWN),
// a few lines in the user's language, or one JSON object with English keys for scripts.
#pragma once

#include "base/TextTable.h"
#include "link/PipeMessage.h"

#include <cstddef>
#include <cstdint>

// The exit codes, as monitoring agents read a check's: a controller runs and lowers nothing; a
// value is lowered now; the sensor fails or no controller answers; the question itself failed.
const int STATUS_OK = 0;
const int STATUS_WARNING = 1;
const int STATUS_CRITICAL = 2;
const int STATUS_UNKNOWN = 3;

// The version of the JSON object's keys: a new key keeps it, a key changed or removed moves it.
const int STATUS_JSON_VERSION = 1;

// How long the whole question may take, in seconds: connecting, the history and the status.
const int STATUS_WAIT_SECONDS = 5;

// Room for the text and for the JSON object, terminating zero included.
const size_t STATUS_TEXT_SIZE = 1024;
const size_t STATUS_JSON_SIZE = 1024;
const size_t STATUS_USER_SIZE = 64;

enum class StatusOutcome {
    Answered,     // a good status came (and, before it, perhaps a history)
    NoController, // there is no pipe: nothing controls the machine
    Denied,       // the pipe is there, but this account may not read it
    Refused,      // the server closed the connection before it sent a status
    Garbled,      // what came is no message that this side takes, or holds values out of range
    TimedOut,     // no status came within STATUS_WAIT_SECONDS
    Failed,       // the pipe could not be read for another reason (errorCode)
    BadArguments, // the command line names something that --status does not take (argument)
    NotAmbrels,   // a program that is not Ambrel serves the pipe's name (serverProcess)
};

// The last half hour of the history that came with the status.
struct RecentReadings {
    bool anyReading; // some good reading falls within it
    int32_t peak;    // the highest good reading in it, °C
    // How long a step of the cap (99 % or 80 %) was in force in it, rounded to whole minutes;
    // paused time is none.
    uint32_t throttledMinutes;
};

struct StatusAnswer {
    StatusOutcome outcome;
    uint32_t errorCode;     // Failed, and the Windows error behind Denied or Refused
    const char* argument;   // BadArguments: the argument refused (ASCII shown, other bytes '?')
    uint32_t serverProcess; // NotAmbrels: the process that serves the pipe (0 when unknown)
    PipeStatus status;
    RecentReadings recent;
    // Where the controller runs: the machine's service, or a tray in session (of user, empty
    // where the name could not be found).
    bool service;
    uint32_t session;
    char16_t user[STATUS_USER_SIZE];
    // The local time at which readings began to fail, as the user's locale writes it (the text
    // output); the JSON object takes status.failedHour and failedMinute.
    const char16_t* failedAt;
    // While the controller is paused, the local time at which the pause ends, as the user's
    // locale writes it; null when it is not paused.
    const char16_t* pausedUntil;
};

// Peak and minutes throttled in the last 30 minutes. Each sample holds from its age until the
// next one's, the last until the message; samples whose ages do not fall (a hostile server's)
// hold for no time.
RecentReadings SummariseHistory(const PipeHistory& history);

// One of the STATUS_* codes, and its word.
int StatusExitCode(const StatusAnswer& answer);
const char* StatusWord(int code);

// The lines for a person, each ending in "\r\n", the first starting with the word and a colon.
// Cut to size characters, always terminated.
void ComposeStatusText(char16_t* text, size_t size, const StatusAnswer& answer,
                       const TextTable& words);

// One JSON object on one line with "\r\n" after it, ASCII only (other characters as \u
// escapes). Returns its length, or 0 when it does not fit (size at least 1: out then empty).
size_t ComposeStatusJson(char* out, size_t size, const StatusAnswer& answer);
