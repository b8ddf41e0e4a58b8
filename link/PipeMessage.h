// The messages of the status pipe (\\.\pipe\Ambrel), encoded and checked without the platform.
// Every message is a header of 8 bytes, little-endian: its whole size in bytes (header
// included, at most PIPE_MAX_MESSAGE), its kind and the protocol version; then the kind's
// payload. The controller sends STATUS on every change and, to a viewer that has just connected,
// HISTORY, DAY and then STATUS; DAY again whenever a minute of the day is complete. A viewer sends
// nothing (it may only read the pipe). Version 2 adds DAY, and the pause to STATUS (its seconds
// left, and AMBREL_PAUSED_MODE as the mode of a status or sample while paused); a reader takes
// versions 1 and 2. A status also tells whether the cap takes effect, in three of its padding
// bytes, which every earlier reader passes over and every earlier writer leaves zero (no check).
#pragma once

#include <cstddef>
#include <cstdint>

// The pipe's name, the same in every session.
const wchar_t PIPE_NAME[] = L"\\\\.\\pipe\\Ambrel";
// The kept history's pipe beside it: a connection is the request, answered with the week and
// the days as the history file holds them (HistoryCodec) and closed. A name of its own, so that
// the status pipe's viewers of every version see nothing new on theirs.
const wchar_t PIPE_KEPT_NAME[] = L"\\\\.\\pipe\\Ambrel.History";

// What this side sends; it takes PIPE_OLDEST_VERSION to PIPE_VERSION.
const uint16_t PIPE_VERSION = 2;
const uint16_t PIPE_OLDEST_VERSION = 1;
const uint16_t PIPE_KIND_STATUS = 1;
const uint16_t PIPE_KIND_HISTORY = 2;
// Version 2 on.
const uint16_t PIPE_KIND_DAY = 3;

const size_t PIPE_HEADER_SIZE = 8;
// Every message fits: a full history is 12 + 1024 * 12 bytes.
const size_t PIPE_MAX_MESSAGE = 16384;
// Zone names as the controller reads them, terminating zero included.
const size_t PIPE_ZONE_SIZE = 64;
// Samples in a history message at most.
const int PIPE_HISTORY_CAPACITY = 1024;
// Minutes in a day message at most: a full day is 28 + 1440 * 8 bytes.
const int PIPE_DAY_CAPACITY = 1440;

// What is set by policy or for the machine (PipeStatus::setBy).
const uint8_t PIPE_SET_ZONE = 1;
const uint8_t PIPE_SET_THROTTLE_AT = 2;
const uint8_t PIPE_SET_ON_BATTERY = 4;
const uint8_t PIPE_SET_NOTIFY = 8;
// The controller is the machine's service: its settings are the machine's.
const uint8_t PIPE_SET_FOR_MACHINE = 16;

// The mode of a status or a sample while the controller is paused (version 2 on).
const int32_t PIPE_PAUSED_MODE = 3;
// What a status says of the cap's effect (PipeStatus::effect): the same numbers as the watcher's
// CAP_EFFECT_*; 0 also from a controller that does not check.
const uint8_t PIPE_EFFECT_OFF = 0;
const uint8_t PIPE_EFFECT_UNKNOWN = 1;
const uint8_t PIPE_EFFECT_WORKS = 2;
const uint8_t PIPE_EFFECT_NONE = 3;
const uint8_t PIPE_EFFECT_UNAVAILABLE = 4;
// The highest performance a status carries, in percent of the processor's base.
const uint16_t PIPE_MOST_PERFORMANCE = 1000;

// The longest pause that a status carries, in seconds: a day.
const uint32_t PIPE_LONGEST_PAUSE_SECONDS = 24 * 60 * 60;

struct PipeStatus {
    // The reading as shown: °C (TEMP_NO_READING before any), the throttle mode (0, 1, 2, or
    // PIPE_PAUSED_MODE) and how the reading went (READING_OK, READING_FAILED, READING_NO_ZONE).
    int32_t temperature;
    int32_t mode;
    int32_t status;
    // The AC maximum processor state in force, 0 while unknown, and whether the cap lowers some
    // value below the user's own setting.
    int32_t inForce;
    bool lowered;
    // The zone read (empty for the default zone, or "*" for the hottest), the threshold in °C,
    // whether the values used on battery are capped too, and PIPE_SET_* bits.
    char zone[PIPE_ZONE_SIZE];
    int32_t throttleAt;
    bool onBattery;
    uint8_t setBy;
    // Local time at which the readings began to fail (status READING_FAILED).
    uint8_t failedHour;
    uint8_t failedMinute;
    // Seconds the pause has left, at most a day; 0 when not paused (and from version 1).
    uint32_t pausedSeconds;
    // While the cap lowers a value, whether it takes effect (PIPE_EFFECT_*) and the processor's
    // performance seen (percent of its base, 0 while none).
    uint8_t effect;
    uint16_t performance;
};

struct PipeSample {
    // How long before the message the sample was taken, in milliseconds.
    uint32_t ageMs;
    int32_t value;
    int16_t mode;
    int16_t status;
};

struct PipeHistory {
    int count;
    PipeSample samples[PIPE_HISTORY_CAPACITY];
};

struct PipeDayMinute {
    // Whole minutes before the message's minute (0 for the minute under way), below
    // PIPE_DAY_CAPACITY; each minute older than the next.
    uint16_t ago;
    // The lowest and highest temperature of the minute (where flags say it had a reading).
    int16_t low;
    int16_t high;
    // The highest throttle mode of the minute (0, 1, 2).
    uint8_t mode;
    // 1: a good reading, 2: the cap lowered a value below the user's own setting.
    uint8_t flags;
};

// The day at a glance: the minutes of the last 24 hours, and today's totals since local midnight.
struct PipeDay {
    uint32_t episodes;
    uint32_t loweredSeconds;
    // °C, TEMP_NO_READING (-273) before any reading today.
    int32_t peak;
    // The cap lowers something now.
    bool loweredNow;
    int count;
    PipeDayMinute minutes[PIPE_DAY_CAPACITY];
};

enum class PipeFrame {
    Partial,   // fewer bytes than the header says: wait for more
    Complete,  // a whole message of a known kind and version, of the size its kind allows
    Oversized, // the header gives a size above PIPE_MAX_MESSAGE (or below the header's own)
    Unknown,   // a kind or version that this side does not take
};

// Checks what has arrived so far (size bytes from the start of a message). On Complete,
// messageSize is the size of the message at the start of bytes and kind its kind.
PipeFrame CheckPipeFrame(const uint8_t* bytes, size_t size, size_t& messageSize, uint16_t& kind);

// Each writes one whole message into out (room bytes) and returns its size, or 0 when it does
// not fit or the values cannot be sent (a count out of range). Every value goes out as one that
// the decoder takes: a number beyond its range as the nearest end of it, setBy without unknown
// bits, a zone name with '?' for each byte that is not printable ASCII, cut to its field.
size_t EncodePipeStatus(const PipeStatus& status, uint8_t* out, size_t room);
size_t EncodePipeHistory(const PipeHistory& history, uint8_t* out, size_t room);
size_t EncodePipeDay(const PipeDay& day, uint8_t* out, size_t room);

// Each reads one Complete message of its kind; false, with nothing promised about out, when a
// value is out of range (a mode other than 0 to 2, a zone without its terminating zero or with
// other bytes than printable ASCII, a count that does not match the size, ...).
bool DecodePipeStatus(const uint8_t* message, size_t size, PipeStatus& out);
bool DecodePipeHistory(const uint8_t* message, size_t size, PipeHistory& out);
bool DecodePipeDay(const uint8_t* message, size_t size, PipeDay& out);

// Where the process that serves a viewer's pipe runs, as the viewer finds it from the pipe. A
// session that cannot be found counts as the viewer's own: nothing is known against what the
// controller says of itself.
enum class PipeServerSession {
    Zero,  // session 0, where only services run
    Own,   // the viewer's own session
    Other, // another user's session
};

// Whether the controller that a view sees is the machine's service: it says so
// (PIPE_SET_FOR_MACHINE) and where it runs does not say otherwise. Only services run in session
// 0, and a controller in another user's session is a tray there whatever it says.
bool IsMachineService(uint8_t setBy, PipeServerSession session);
