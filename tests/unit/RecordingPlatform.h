// Stand-ins for the platform the core calls (LogPrint and the power setting), which record what
// the core did so that the tests can assert it.
#pragma once

#include "power/ThrottleSetting.h"

#include <cstdint>
#include <string>
#include <vector>

struct RecordingPlatform final : ThrottleSetting {
    // Every log entry, formatted, in order (without time stamp and thread id).
    std::vector<std::string> log;
    // Every power call in order: "write 99", "read 99", "read failed".
    std::vector<std::string> powerCalls;
    // The simulated AC value of the active scheme, and the user's own setting that a write
    // never raises it above.
    uint32_t throttleMax = 100;
    uint32_t own = 100;
    bool failReads = false;
    bool failWrites = false;

    // Clears the record and sets the simulated setting to the user's own value.
    void Reset(uint32_t initialThrottleMax = 100);
    bool Write(uint32_t value) override;
    bool Read(uint32_t& value) override;
    bool Lowered() const override;
};

extern RecordingPlatform g_platform;
