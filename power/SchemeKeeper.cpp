#include "power/SchemeKeeper.h"

#include "base/Log.h"

namespace
{

// How a value is named in the log: the scheme alone for the AC class-0 value, which is the one
// every Windows has, otherwise the scheme and the value ("... DC1").
void EntryLabel(const LedgerEntry& entry, char label[LEDGER_NAME_SIZE])
{
    FormatLedgerName(entry, label);
    if (entry.which == THROTTLE_AC)
        label[SCHEME_ID_TEXT_SIZE - 1] = '\0';
}

// What the mode's level means for one value: on AC power the level itself; on battery the
// level only where it is lower than the value's own setting, which is never raised.
uint32_t TargetOf(const LedgerEntry& entry, uint32_t level)
{
    if (IsBattery(entry.which) && entry.original < level)
        return entry.original;
    return level;
}

// One value about to be written during a mode change.
struct PlannedWrite {
    ThrottleValue which;
    uint32_t value;
    // Null for the AC class-0 value when it cannot be noted: it is written all the same.
    LedgerEntry* entry;
};

} // namespace

void SchemeKeeper::Start(uint32_t& saved)
{
    ledger.Open();
    RestoreLeftovers();
    SchemeId active;
    if (ReadActiveScheme(active) != 0)
        return;
    // A leftover that could not be restored keeps the value noted by the earlier run.
    const LedgerEntry* left = Find(active, THROTTLE_AC);
    if (left != nullptr) {
        saved = left->original;
        return;
    }
    uint32_t value = 0;
    if (ReadSchemeThrottleMax(active, value) != 0)
        return;
    saved = value;
    Record(active, THROTTLE_AC, value);
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
    if (entryCount >= RESTORE_LEDGER_MAX_ENTRIES)
        return nullptr;
    LedgerEntry& entry = entries[entryCount++];
    entry = LedgerEntry{};
    entry.scheme = scheme;
    entry.which = which;
    entry.original = original;
    entry.written = original;
    entry.previous = original;
    ledger.Put(entry); // kept in memory even when the registry fails
    return &entry;
}

LedgerEntry* SchemeKeeper::Note(const SchemeId& scheme, ThrottleValue which)
{
    LedgerEntry* entry = Find(scheme, which);
    if (entry != nullptr)
        return entry;
    // A value not written before (the first write, or the user switched schemes): its own
    // setting first.
    uint32_t original = 0;
    uint32_t result = ReadSchemeThrottleMax(scheme, original, which);
    if (result != 0) {
        if (which != THROTTLE_AC)
            LogMissingOnce(scheme, which, result);
        return nullptr;
    }
    return Record(scheme, which, original);
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
    EntryLabel(entry, label);
    LogPrint("SchemeKeeper: %s cannot be read (error=%lx); this value is left alone\n", label,
             static_cast<unsigned long>(error));
}

bool SchemeKeeper::Write(uint32_t level)
{
    SchemeId scheme;
    uint32_t result = ReadActiveScheme(scheme);
    if (result != 0) {
        LogPrint("PowerGetActiveScheme() error=%lx", static_cast<unsigned long>(result));
        return false;
    }
    inForce = scheme;
    hasInForce = true;
    // Every entry is noted before any value is written, with what the value holds now, so that
    // a run ended before, during or after the writes still finds each value the program's.
    PlannedWrite planned[THROTTLE_VALUE_COUNT];
    int count = 0;
    for (int i = 0; i < THROTTLE_VALUE_COUNT; ++i) {
        ThrottleValue which = static_cast<ThrottleValue>(i);
        if (IsBattery(which) && !onBattery)
            continue;
        LedgerEntry* entry = Note(scheme, which);
        if (entry == nullptr && which != THROTTLE_AC)
            continue;
        PlannedWrite& write = planned[count++];
        write = PlannedWrite{which, entry != nullptr ? TargetOf(*entry, level) : level, entry};
        if (entry != nullptr) {
            entry->previous = entry->written;
            entry->written = write.value;
            ledger.Put(*entry);
        }
    }
    // On disk before the writes they guard: the registry would otherwise write them lazily,
    // after the power setting, and a power cut in between would lose them.
    ledger.Flush();
    bool stored = true;
    for (int i = 0; i < count; ++i) {
        const PlannedWrite& write = planned[i];
        bool done = WriteSchemeThrottleMax(scheme, write.value, write.which);
        stored = stored && done;
        if (write.entry == nullptr)
            continue;
        if (done)
            write.entry->previous = write.entry->written;
        else
            write.entry->written = write.entry->previous;
        ledger.Put(*write.entry);
    }
    return stored && ActivateScheme(scheme);
}

bool SchemeKeeper::Read(uint32_t& value)
{
    return ReadThrottleMax(value);
}

void SchemeKeeper::SetOnBattery(bool on)
{
    onBattery = on;
    if (!on)
        entryCount = RestoreEntries(entries, entryCount, true, false);
}

void SchemeKeeper::RestoreLeftovers()
{
    LedgerEntry left[RESTORE_LEDGER_MAX_ENTRIES];
    int count = ledger.ReadEntries(left, RESTORE_LEDGER_MAX_ENTRIES);
    count = RestoreEntries(left, count, false, true);
    // Still the program's: tried again at the end of this run.
    for (int i = 0; i < count && entryCount < RESTORE_LEDGER_MAX_ENTRIES; ++i)
        entries[entryCount++] = left[i];
}

void SchemeKeeper::RestoreAll()
{
    hasInForce = false;
    RestoreEntries(entries, entryCount, false, false);
    entryCount = 0; // what is left stays in the registry for the next start
    ledger.Close();
}

int SchemeKeeper::RestoreEntries(LedgerEntry* list, int count, bool batteryOnly, bool leftover)
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
        if ((!batteryOnly || IsBattery(entry.which)) && Restore(entry, leftover, written))
            ledger.Remove(entry);
        else
            list[kept++] = entry;
        if (written && known && SameScheme(active, entry.scheme))
            activeWritten = true;
    }
    // Once for all its values, so that what was written back takes effect.
    if (activeWritten)
        ActivateScheme(active);
    return kept;
}

bool SchemeKeeper::Restore(const LedgerEntry& entry, bool leftover, bool& written)
{
    char name[LEDGER_NAME_SIZE];
    EntryLabel(entry, name);
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
    if (current != entry.written && current != entry.previous) {
        LogPrint("SchemeKeeper: scheme %s holds %lu, not the %lu written by Ambrel; left as it "
                 "is\n",
                 name, static_cast<unsigned long>(current),
                 static_cast<unsigned long>(entry.written));
        return true;
    }
    if (!WriteSchemeThrottleMax(entry.scheme, entry.original, entry.which))
        return false; // logged by the write; tried again at the next start
    written = true;
    if (leftover)
        LogPrint("SchemeKeeper: scheme %s set back to %lu, left at %lu by an earlier run\n", name,
                 static_cast<unsigned long>(entry.original),
                 static_cast<unsigned long>(entry.written));
    return true;
}
