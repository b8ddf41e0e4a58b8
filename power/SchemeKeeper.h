// Keeps every power scheme that the program writes into restorable. The controller's writes go
// through it: before the first write into a scheme it records the scheme's own value in the restore
// ledger (memory and registry), keeps the value last written there, and at the end gives each
// scheme its own value back, but only while the scheme still holds what the program wrote
// (otherwise the user or another program has changed it since, and that choice stays). At start it
// first restores what a run that did not end in order left in the ledger.
//
// Runs on the watcher's thread; RestoreAll may run once more on the main thread after the
// worker has been joined. A zeroed keeper is idle; RestoreAll leaves it idle again.
#pragma once

#include "power/RestoreLedger.h"
#include "power/SchemeId.h"
#include "power/ThrottleSetting.h"

#include <cstdint>

class SchemeKeeper final : public ThrottleSetting
{
  public:
    RestoreLedger ledger;
    LedgerEntry entries[RESTORE_LEDGER_MAX_ENTRIES];
    int entryCount;
    // The scheme the current mode was last put in force in; valid when hasInForce.
    SchemeId inForce;
    bool hasInForce;

    // Opens the ledger, restores what an earlier run left there (keeping what it could not
    // restore), then reads the active scheme's own value into saved (left as it was when it
    // cannot be read) and records it in the ledger.
    void Start(uint32_t& saved);
    // True when the user has switched to a scheme other than the one in force; read per reading.
    bool ActiveSchemeSwitched() const;
    // Writes the value into the active scheme, its own value noted first, and activates it.
    bool Write(uint32_t value) override;
    bool Read(uint32_t& value) override;
    // Gives every scheme in the ledger its own value back where it still holds the program's,
    // activating the one that is active; closes the ledger.
    void RestoreAll();

  private:
    // Around each write: the entry is noted before the write and settled after it.
    void BeforeWrite(const SchemeId& scheme, uint32_t value);
    void AfterWrite(const SchemeId& scheme, bool stored);
    LedgerEntry* Find(const SchemeId& scheme);
    bool Record(const SchemeId& scheme, uint32_t original);
    void RestoreLeftovers();
    // True when the entry is done with (restored, given up to the user, or its scheme gone).
    bool Restore(const LedgerEntry& entry, const SchemeId* active, bool leftover);
};
