// The scheme keeper's giving back: what an earlier run left, what the other controller left, and
// every value this run lowered, each written back only where the value still holds what was
// written, and the scheme activated again only while it is still the active one.
#include "power/SchemeKeeper.h"

#include "base/Log.h"

#include <new>

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

void GiveBackOwnLeftoversOfView()
{
    SchemeKeeper* keeper = new (std::nothrow) SchemeKeeper();
    if (keeper == nullptr)
        return;
    keeper->GiveBackOwnLeftovers();
    delete keeper;
}
