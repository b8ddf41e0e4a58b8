#include "power/SchemeKeeper.h"

#include "base/Log.h"
#include "power/PowerSetting.h"

void SchemeKeeper::Start(uint32_t& saved)
{
    ledger.Open();
    RestoreLeftovers();
    SchemeId active;
    if (ReadActiveScheme(active) != 0)
        return;
    // A leftover that could not be restored keeps the value noted by the earlier run.
    const LedgerEntry* left = Find(active);
    if (left != nullptr) {
        saved = left->original;
        return;
    }
    uint32_t value = 0;
    if (ReadSchemeThrottleMax(active, value) != 0)
        return;
    saved = value;
    Record(active, value);
}

bool SchemeKeeper::ActiveSchemeSwitched() const
{
    return hasInForce && ActiveSchemeDiffers(inForce);
}

LedgerEntry* SchemeKeeper::Find(const SchemeId& scheme)
{
    for (int i = 0; i < entryCount; ++i) {
        if (SameScheme(entries[i].scheme, scheme))
            return &entries[i];
    }
    return nullptr;
}

bool SchemeKeeper::Record(const SchemeId& scheme, uint32_t original)
{
    if (entryCount >= RESTORE_LEDGER_MAX_ENTRIES)
        return false;
    LedgerEntry& entry = entries[entryCount++];
    entry.scheme = scheme;
    entry.original = original;
    entry.written = original;
    entry.previous = original;
    ledger.Put(entry); // kept in memory even when the registry fails
    return true;
}

bool SchemeKeeper::Write(uint32_t value)
{
    SchemeId scheme;
    uint32_t result = ReadActiveScheme(scheme);
    if (result != 0) {
        LogPrint("PowerGetActiveScheme() error=%lx", static_cast<unsigned long>(result));
        return false;
    }
    BeforeWrite(scheme, value);
    bool stored = WriteSchemeThrottleMax(scheme, value, false);
    AfterWrite(scheme, stored);
    return stored && ActivateScheme(scheme);
}

bool SchemeKeeper::Read(uint32_t& value)
{
    return ReadThrottleMax(value);
}

void SchemeKeeper::BeforeWrite(const SchemeId& scheme, uint32_t value)
{
    inForce = scheme;
    hasInForce = true;
    LedgerEntry* entry = Find(scheme);
    if (entry == nullptr) {
        // A scheme not written before (the user switched to it): its own value first.
        uint32_t original = 0;
        if (ReadSchemeThrottleMax(scheme, original) != 0 || !Record(scheme, original))
            return;
        entry = Find(scheme);
    }
    // Recorded before the write, with what the scheme holds now, so that a run ended before,
    // during or after the write still finds the scheme the program's.
    entry->previous = entry->written;
    entry->written = value;
    ledger.Put(*entry);
}

void SchemeKeeper::AfterWrite(const SchemeId& scheme, bool stored)
{
    LedgerEntry* entry = Find(scheme);
    if (entry == nullptr)
        return;
    if (stored)
        entry->previous = entry->written;
    else
        entry->written = entry->previous;
    ledger.Put(*entry);
}

void SchemeKeeper::RestoreLeftovers()
{
    LedgerEntry left[RESTORE_LEDGER_MAX_ENTRIES];
    int count = ledger.ReadEntries(left, RESTORE_LEDGER_MAX_ENTRIES);
    if (count == 0)
        return;
    SchemeId active;
    bool known = ReadActiveScheme(active) == 0;
    for (int i = 0; i < count; ++i) {
        if (Restore(left[i], known ? &active : nullptr, true))
            ledger.Remove(left[i].scheme);
        else if (entryCount < RESTORE_LEDGER_MAX_ENTRIES)
            entries[entryCount++] = left[i]; // still ours: tried again at the end of this run
    }
}

void SchemeKeeper::RestoreAll()
{
    hasInForce = false;
    if (entryCount > 0) {
        SchemeId active;
        bool known = ReadActiveScheme(active) == 0;
        for (int i = 0; i < entryCount; ++i) {
            if (Restore(entries[i], known ? &active : nullptr, false))
                ledger.Remove(entries[i].scheme);
        }
        entryCount = 0;
    }
    ledger.Close();
}

bool SchemeKeeper::Restore(const LedgerEntry& entry, const SchemeId* active, bool leftover)
{
    char name[SCHEME_ID_TEXT_SIZE];
    FormatSchemeId(entry.scheme, name);
    uint32_t current = 0;
    uint32_t result = ReadSchemeThrottleMax(entry.scheme, current);
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
    bool isActive = active != nullptr && SameScheme(*active, entry.scheme);
    if (!WriteSchemeThrottleMax(entry.scheme, entry.original, isActive))
        return false; // logged by the write; tried again at the next start
    if (leftover)
        LogPrint("SchemeKeeper: scheme %s set back to %lu, left at %lu by an earlier run\n", name,
                 static_cast<unsigned long>(entry.original),
                 static_cast<unsigned long>(entry.written));
    return true;
}
