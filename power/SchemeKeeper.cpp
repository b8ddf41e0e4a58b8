#include "power/SchemeKeeper.h"

#include "base/Log.h"

#include <algorithm>

void SchemeKeeper::Start(uint32_t& valueInForce)
{
    ledger.Open();
    started = true;
    RestoreLeftovers();
    // Only read: the user's own values are in force until the first step.
    ReadThrottleMax(valueInForce);
}

bool SchemeKeeper::ActiveSchemeSwitched() const
{
    return hasInForce && ActiveSchemeDiffers(inForce);
}

LedgerEntry* SchemeKeeper::Find(const SchemeId& scheme, ThrottleValue which)
{
    for (int i = 0; i < entryCount; ++i) {
        if (entries[i].which == which && SameScheme(entries[i].scheme, scheme))
            return &entries[i];
    }
    return nullptr;
}

LedgerEntry* SchemeKeeper::Record(const SchemeId& scheme, ThrottleValue which, uint32_t original)
{
    LedgerEntry entry = {};
    entry.scheme = scheme;
    entry.which = which;
    if (entryCount >= KEEPER_MAX_ENTRIES) {
        // A value that could not be given back is never written.
        if (!noRoomLogged) {
            char label[LEDGER_NAME_SIZE];
            FormatEntryLabel(entry, label);
            LogPrint("SchemeKeeper: no room to note %s; it is left as it is\n", label);
            noRoomLogged = true;
        }
        return nullptr;
    }
    entry.original = original;
    entry.written = original;
    entry.previous = original;
    entry.stamp = NewLedgerStamp();
    entries[entryCount] = entry;
    Keep(entries[entryCount]); // kept in memory even when the registry fails
    return &entries[entryCount++];
}

void SchemeKeeper::Keep(const LedgerEntry& entry)
{
    if (&entry - entries < RESTORE_LEDGER_MAX_ENTRIES) {
        ledger.Put(entry);
        return;
    }
    if (fullLogged)
        return;
    fullLogged = true;
    char label[LEDGER_NAME_SIZE];
    FormatEntryLabel(entry, label);
    LogPrint("RestoreLedger: full (%d entries); %s and any value after it are given back only "
             "on an orderly exit\n",
             RESTORE_LEDGER_MAX_ENTRIES, label);
}

LedgerEntry* SchemeKeeper::NoteUnreadable(const SchemeId& scheme)
{
    if (LedgerEntry* entry = Find(scheme, THROTTLE_AC))
        return entry;
    LedgerEntry* entry = Record(scheme, THROTTLE_AC, RESTORE_LEDGER_MAX_PERCENT);
    if (entry != nullptr) {
        char label[LEDGER_NAME_SIZE];
        FormatEntryLabel(*entry, label);
        LogPrint("SchemeKeeper: scheme %s cannot be read; its own value is taken to be %lu\n",
                 label, static_cast<unsigned long>(RESTORE_LEDGER_MAX_PERCENT));
    }
    return entry;
}

LedgerEntry* SchemeKeeper::Note(const SchemeId& scheme, ThrottleValue which, uint32_t& current,
                                bool& readable)
{
    uint32_t result = ReadSchemeThrottleMax(scheme, current, which);
    readable = result == 0;
    if (result != 0) {
        if (which != THROTTLE_AC)
            LogMissingOnce(scheme, which, result);
        return nullptr;
    }
    LedgerEntry* entry = Find(scheme, which);
    // A value not written before (the first write, or the user switched schemes): what it
    // holds is its own setting.
    if (entry == nullptr)
        return Record(scheme, which, current);
    // Either of the last write's values means the value is still the program's (an earlier run
    // may have ended during that write).
    if (current != entry->written && current != entry->previous && current != entry->original)
        AdoptOwnValue(*entry, current);
    return entry;
}

// The user has set the value by hand since the program last wrote it: that is the value's own
// setting from now on, the one the cap stays below and the one given back at the end.
void SchemeKeeper::AdoptOwnValue(LedgerEntry& entry, uint32_t value)
{
    char label[LEDGER_NAME_SIZE];
    FormatEntryLabel(entry, label);
    LogPrint("SchemeKeeper: scheme %s set to %lu by hand; that is its own value now\n", label,
             static_cast<unsigned long>(value));
    entry.original = value;
    entry.written = value;
    entry.previous = value;
    Keep(entry);
}

void SchemeKeeper::LogMissingOnce(const SchemeId& scheme, ThrottleValue which, uint32_t error)
{
    // A scheme without the class-1 setting lacks both its values: one line says so.
    const uint32_t bit = 1u << (IsClass1(which) ? THROTTLE_AC_CLASS1 : which);
    if ((missingLogged & bit) != 0)
        return;
    missingLogged |= bit;
    LedgerEntry entry = {};
    entry.scheme = scheme;
    entry.which = which;
    char label[LEDGER_NAME_SIZE];
    FormatEntryLabel(entry, label);
    LogPrint("SchemeKeeper: %s cannot be read (error=%lx); this value is left alone\n", label,
             static_cast<unsigned long>(error));
}

bool SchemeKeeper::Write(uint32_t level)
{
    SchemeId scheme;
    uint32_t result = ReadActiveScheme(scheme);
    if (result != 0) {
        LogPrint("PowerGetActiveScheme() error=%lx", static_cast<unsigned long>(result));
        retryDue = true;
        return false;
    }
    if (hasInForce && !SameScheme(inForce, scheme))
        activationDue = false; // the user has activated another scheme since
    // A scheme not written before in this run may hold what the other controller left: that is
    // given back before its values are noted, so that the other's cap is never taken for them.
    if (Find(scheme, THROTTLE_AC) == nullptr)
        TakeOverForeign(nullptr);
    inForce = scheme;
    hasInForce = true;
    lowered = false;
    // Every entry is noted before any value is written, with what the value holds now, so that
    // a run ended before, during or after the writes still finds each value the program's.
    PlannedWrite planned[THROTTLE_VALUE_COUNT];
    int count = 0;
    for (int i = 0; i < THROTTLE_VALUE_COUNT; ++i) {
        ThrottleValue which = static_cast<ThrottleValue>(i);
        if (IsBattery(which) && !onBattery)
            continue;
        planned[count] = PlannedWrite{which, level, nullptr};
        if (Plan(scheme, level, planned[count]))
            ++count;
    }
    bool done = Carry(scheme, planned, count);
    retryDue = !done;
    return done;
}

bool SchemeKeeper::Plan(const SchemeId& scheme, uint32_t level, PlannedWrite& write)
{
    uint32_t current = 0;
    bool readable = false;
    LedgerEntry* entry = Note(scheme, write.which, current, readable);
    if (entry == nullptr && !readable && write.which == THROTTLE_AC)
        entry = NoteUnreadable(scheme);
    if (entry == nullptr)
        return false;
    write.entry = entry;
    write.value = std::min(entry->original, level);
    if (readable && write.value == current) {
        lowered = lowered || write.value < entry->original;
        return false;
    }
    // Unread, the value is taken to hold what was last written there.
    entry->previous = readable ? current : entry->written;
    entry->written = write.value;
    Keep(*entry);
    return true;
}

bool SchemeKeeper::Carry(const SchemeId& scheme, const PlannedWrite* planned, int count)
{
    // On disk before the writes they guard: the registry would otherwise write them lazily,
    // after the power setting, and a power cut in between would lose them.
    if (count > 0)
        ledger.Flush();
    bool failed = false;
    bool activate = activationDue;
    for (int i = 0; i < count; ++i) {
        const PlannedWrite& write = planned[i];
        const uint32_t error = WriteSchemeThrottleMaxCode(scheme, write.value, write.which);
        const bool done = error == 0;
        if (!done)
            NoteFailure(scheme, write.which, error);
        activate = activate || done;
        failed = failed || !done;
        lowered = lowered || (done && write.value < write.entry->original);
        if (done)
            write.entry->previous = write.entry->written;
        else
            write.entry->written = write.entry->previous;
        Keep(*write.entry);
    }
    // What was written takes effect even when another value failed.
    activationDue = activate && !ActivateScheme(scheme);
    return !failed && !activationDue;
}

bool SchemeKeeper::Read(uint32_t& value)
{
    return ReadThrottleMax(value);
}

bool SchemeKeeper::Lowered() const
{
    return lowered;
}

void SchemeKeeper::SetOnBattery(bool on)
{
    onBattery = on;
    if (!on)
        entryCount = RestoreEntries(entries, entryCount, true, nullptr);
}

void SchemeKeeper::NoteFailure(const SchemeId& scheme, ThrottleValue which, uint32_t error)
{
    failure = FailedWrite{scheme, which, error, true};
}
