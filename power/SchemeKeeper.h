// Keeps every power scheme that the program writes into restorable. The controller's writes go
// through it: it puts the level of the mode into the active scheme's maximum processor state for
// both efficiency classes on AC power and, while the battery is included, caps the values used
// on battery at the level without ever raising them. Before the first write into each value it
// records the value's own setting in the restore ledger (memory and registry), keeps the value
// last written there, and at the end gives each value its own setting back, but only while it
// still holds what the program wrote (otherwise the user or another program has changed it
// since, and that choice stays). At start it first restores what a run that did not end in order
// left in the ledger.
//
// Runs on the watcher's thread; RestoreAll may run once more on the main thread after the
// worker has been joined. A zeroed keeper is idle and leaves the battery values alone;
// RestoreAll leaves it idle again.
#pragma once

#include "power/PowerSetting.h"
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
    // The values used on battery are capped too. Set by the owner before the worker starts,
    // changed later through SetOnBattery on the worker.
    bool onBattery;
    // One bit per ThrottleValue that some scheme could not read (the class-1 values share one):
    // each is logged once per run.
    uint32_t missingLogged;

    // Opens the ledger, restores what an earlier run left there (keeping what it could not
    // restore), then reads the active scheme's own AC value into saved (left as it was when it
    // cannot be read) and records it in the ledger.
    void Start(uint32_t& saved);
    // True when the user has switched to a scheme other than the one in force.
    bool ActiveSchemeSwitched() const;
    // Writes the level into the active scheme, each value's own setting noted first, and
    // activates it. A value the scheme does not have (class 1 before hybrid processors) is
    // skipped, and logged once per run.
    bool Write(uint32_t level) override;
    // Reads the active scheme's AC class-0 value.
    bool Read(uint32_t& value) override;
    // Includes the battery values from the next write on, or leaves them out and gives every
    // battery value written so far its own setting back at once.
    void SetOnBattery(bool on);
    // Gives every value in the ledger its own setting back where it still holds the program's,
    // activating the active scheme; closes the ledger.
    void RestoreAll();

  private:
    // The entry of one value, recorded with the value's own setting when there is none yet;
    // null when that setting cannot be read or the ledger is full.
    LedgerEntry* Note(const SchemeId& scheme, ThrottleValue which);
    LedgerEntry* Find(const SchemeId& scheme, ThrottleValue which);
    LedgerEntry* Record(const SchemeId& scheme, ThrottleValue which, uint32_t original);
    void LogMissingOnce(const SchemeId& scheme, ThrottleValue which, uint32_t error);
    void RestoreLeftovers();
    // Restores the listed entries (with batteryOnly, the battery ones), removes those done with
    // from the ledger and from the list, and activates the active scheme once when one of its
    // values was written. Returns how many entries the list keeps.
    int RestoreEntries(LedgerEntry* list, int count, bool batteryOnly, bool leftover);
    // True when the entry is done with (restored, given up to the user, or its scheme gone);
    // written tells whether the scheme was written.
    bool Restore(const LedgerEntry& entry, bool leftover, bool& written);
};
