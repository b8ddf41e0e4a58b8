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

void SchemeKeeper::SetOnBattery(bool on)
{
    onBattery = on;
    if (!on)
        entryCount = RestoreEntries(entries, entryCount, true, nullptr);
}

void SchemeKeeper::RestoreLeftovers()
{
    LedgerEntry left[RESTORE_LEDGER_MAX_ENTRIES];
    int count = ledger.ReadEntries(left, RESTORE_LEDGER_MAX_ENTRIES);
    leftovers.count = 0;
    count = RestoreEntries(left, count, false, &leftovers);
    // Still the program's: tried again at the end of this run.
    for (int i = 0; i < count && entryCount < KEEPER_MAX_ENTRIES; ++i)
        entries[entryCount++] = left[i];
    TakeOverForeign(&leftovers);
}

void SchemeKeeper::GiveBackOwnLeftovers()
{
    foreign.off = true;
    if (!ledger.key.Open(RESTORE_LEDGER_KEY_PATH, true))
        return;
    started = true;
    RestoreLeftovers();
    // What could not be given back stays in the ledger, for the user's next Ambrel.
    entryCount = 0;
    started = false;
    ledger.Close();
}

void SchemeKeeper::TakeOverForeign(GivenBackList* record)
{
    if (!started)
        return;
    ForeignEntry found[RESTORE_LEDGER_MAX_ENTRIES];
    const int count = foreign.Read(found, RESTORE_LEDGER_MAX_ENTRIES);
    if (count == 0)
        return;
    SchemeId active;
    const bool known = ReadActiveScheme(active) == 0;
    bool activeWritten = false;
    for (int i = 0; i < count; ++i) {
        const LedgerEntry& noted = found[i].entry;
        bool done = true;
        bool written = false;
        uint32_t from = 0;
        if (LedgerEntry* entry = Find(noted.scheme, noted.which))
            done = MendOwnValue(*entry, noted);
        else
            done = Restore(noted, true, from, written);
        if (written && record != nullptr)
            record->Add(noted, from);
        if (written && known && SameScheme(active, noted.scheme))
            activeWritten = true;
        // One that cannot be read now stays where it is, for the next look.
        if (done)
            foreign.Remove(found[i]);
    }
    if (activeWritten)
        ActivateIfStillActive(active);
}

// This run noted, as the value's own setting, what the other controller had written there: the
// other's note of the value's own setting is the true one. A note of this run that is not the
// other's cap (the user has set the value since) stays.
bool SchemeKeeper::MendOwnValue(LedgerEntry& entry, const LedgerEntry& noted)
{
    if (entry.original == noted.original ||
        (entry.original != noted.written && entry.original != noted.previous))
        return true;
    char label[LEDGER_NAME_SIZE];
    FormatEntryLabel(entry, label);
    LogPrint("SchemeKeeper: scheme %s: its own value is %lu, not the %lu left by an earlier run\n",
             label, static_cast<unsigned long>(noted.original),
             static_cast<unsigned long>(entry.original));
    entry.original = noted.original;
    Keep(entry);
    // Written again under its own setting at the next reading: at the user's own values, given
    // back at once.
    retryDue = true;
    return true;
}

void SchemeKeeper::RestoreAll()
{
    hasInForce = false;
    lowered = false;
    retryDue = false;
    activationDue = false;
    givenBack.count = 0;
    RestoreEntries(entries, entryCount, false, &givenBack);
    entryCount = 0; // what is left stays in the registry for the next start
    ledger.Close();
}

int SchemeKeeper::RestoreEntries(LedgerEntry* list, int count, bool batteryOnly,
                                 GivenBackList* record)
{
    if (count == 0)
        return 0;
    SchemeId active;
    bool known = ReadActiveScheme(active) == 0;
    bool activeWritten = false;
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const LedgerEntry entry = list[i];
        bool written = false;
        uint32_t from = 0;
        if ((!batteryOnly || IsBattery(entry.which)) &&
            Restore(entry, record == &leftovers, from, written))
            ledger.Remove(entry);
        else
            list[kept++] = entry;
        if (written && record != nullptr)
            record->Add(entry, from);
        if (written && known && SameScheme(active, entry.scheme))
            activeWritten = true;
    }
    // Once for all its values, so that what was written back takes effect.
    if (activeWritten)
        ActivateIfStillActive(active);
    return kept;
}

bool SchemeKeeper::Restore(const LedgerEntry& entry, bool leftover, uint32_t& from, bool& written)
{
    char name[LEDGER_NAME_SIZE];
    FormatEntryLabel(entry, name);
    uint32_t current = 0;
    uint32_t result = ReadSchemeThrottleMax(entry.scheme, current, entry.which);
    if (result == POWER_SCHEME_NOT_FOUND) {
        LogPrint("SchemeKeeper: scheme %s no longer exists; its entry is dropped\n", name);
        return true;
    }
    if (result != 0) {
        LogPrint("SchemeKeeper: scheme %s cannot be read (error=%lx); kept for the next start\n",
                 name, static_cast<unsigned long>(result));
        return false;
    }
    if (current == entry.original)
        return true; // its own setting already: nothing to give back
    if (current != entry.written && current != entry.previous) {
        LogPrint("SchemeKeeper: scheme %s holds %lu, not the %lu written by Ambrel; left as it "
                 "is\n",
                 name, static_cast<unsigned long>(current),
                 static_cast<unsigned long>(entry.written));
        return true;
    }
    const uint32_t error = WriteSchemeThrottleMaxCode(entry.scheme, entry.original, entry.which);
    if (error != 0) {
        NoteFailure(entry.scheme, entry.which, error);
        return false; // logged by the write; tried again at the next start
    }
    written = true;
    from = current;
    if (leftover)
        LogPrint("SchemeKeeper: scheme %s set back to %lu, left at %lu by an earlier run\n", name,
                 static_cast<unsigned long>(entry.original),
                 static_cast<unsigned long>(entry.written));
    return true;
}

// The user may have switched schemes while the values were written back: activating the one
// read before would undo that switch. What was written into a scheme that is no longer active
// takes effect when it is activated again.
void SchemeKeeper::ActivateIfStillActive(const SchemeId& scheme)
{
    SchemeId now;
    if (ReadActiveScheme(now) == 0 && SameScheme(now, scheme))
        ActivateScheme(scheme);
}
