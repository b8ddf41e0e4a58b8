// What the scheme keeper has given back and which write failed, kept as plain data for the program
// to report (the event log): the keeper knows nothing of how it is told.
#pragma once

#include "power/PowerSetting.h"
#include "power/RestoreLedger.h"
#include "power/SchemeId.h"

#include <cstdint>

// One value given back: its scheme and which value, its own setting, and what it held before.
struct GivenBackValue {
    SchemeId scheme;
    ThrottleValue which;
    uint32_t value;
    uint32_t from;
};

struct GivenBackList {
    GivenBackValue values[RESTORE_LEDGER_MAX_ENTRIES];
    int count;

    void Add(const LedgerEntry& entry, uint32_t from)
    {
        if (count < RESTORE_LEDGER_MAX_ENTRIES)
            values[count++] = GivenBackValue{entry.scheme, entry.which, entry.original, from};
    }
};

// The last write that failed; due until the owner has taken it.
struct FailedWrite {
    SchemeId scheme;
    ThrottleValue which;
    uint32_t error;
    bool due;
};
