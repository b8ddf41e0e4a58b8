#include "power/ForeignLedgers.h"

#include "base/Log.h"

#include <cstring>

int ForeignLedgers::Read(ForeignEntry* entries, int max)
{
    if (off)
        return 0;
    RestoreLedger ledger{};
    if (!ledger.key.OpenUnder(HKEY_LOCAL_MACHINE, RESTORE_LEDGER_KEY_PATH, KEY_READ))
        return 0;
    char name[LEDGER_NAME_SIZE + 1];
    int count = 0;
    int ignored = 0;
    bool exact = false;
    for (DWORD index = 0; count < max && index < FOREIGN_LEDGER_MAX_VALUES &&
                          ledger.key.ValueName(index, name, sizeof name, &exact);
         ++index) {
        LedgerEntry& found = entries[count].entry;
        if (!exact || !ledger.ReadNamed(name, found)) {
            ++ignored;
            continue;
        }
        if (!Handled(found))
            ++count;
    }
    if (ignored > 0)
        LogPrint("ForeignLedgers: %d values of HKEY_LOCAL_MACHINE\\%s that are no entries "
                 "ignored\n",
                 ignored, RESTORE_LEDGER_KEY_PATH);
    ledger.Close();
    return count;
}

void ForeignLedgers::Remove(const ForeignEntry& found)
{
    RestoreLedger ledger{};
    // Removing is all it does; a failure would only be logged as this program's own ledger.
    ledger.failureLogged = true;
    // A user's instance may not change the service's ledger: it notes instead that it has dealt
    // with the entry.
    const bool removed = ledger.key.OpenUnder(HKEY_LOCAL_MACHINE, RESTORE_LEDGER_KEY_PATH,
                                              KEY_READ | KEY_SET_VALUE) &&
                         ledger.Remove(found.entry);
    ledger.Close();
    NoteHandled(found.entry, !removed);
}

bool ForeignLedgers::Handled(const LedgerEntry& entry) const
{
    ProgramKey notes{};
    if (!notes.Open(HANDLED_LEDGER_KEY_PATH, false))
        return false;
    char name[LEDGER_NAME_SIZE];
    FormatLedgerName(entry, name);
    uint8_t noted[RESTORE_LEDGER_ENTRY_SIZE + 1];
    uint8_t now[RESTORE_LEDGER_ENTRY_SIZE];
    EncodeLedgerEntry(entry, now);
    DWORD type = 0;
    DWORD size = sizeof noted;
    const bool handled = notes.ReadRaw(name, type, noted, size) && type == REG_BINARY &&
                         size == sizeof now && std::memcmp(noted, now, sizeof now) == 0;
    notes.Close();
    return handled;
}

void ForeignLedgers::NoteHandled(const LedgerEntry& entry, bool handled) const
{
    ProgramKey notes{};
    if (handled ? !notes.Create(HANDLED_LEDGER_KEY_PATH)
                : !notes.Open(HANDLED_LEDGER_KEY_PATH, true))
        return;
    char name[LEDGER_NAME_SIZE];
    FormatLedgerName(entry, name);
    if (handled) {
        uint8_t bytes[RESTORE_LEDGER_ENTRY_SIZE];
        EncodeLedgerEntry(entry, bytes);
        if (!notes.WriteRaw(name, REG_BINARY, bytes, sizeof bytes))
            LogPrint("ForeignLedgers: %s dealt with, but it can be noted nowhere\n", name);
    } else {
        notes.DeleteValue(name);
    }
    notes.Close();
}
