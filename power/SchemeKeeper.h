// Keeps every power scheme that the program writes into restorable, and the user's own values
// in charge. The controller's writes go through it: it caps the active scheme's maximum
// processor state for both efficiency classes on AC power and, while the battery is included,
// on battery, each value at the mode's level or at its own setting, whichever is lower, so that
// no value is ever raised above what the user chose; a value that already holds its target is
// not written, and the scheme is activated only when something was written. Before every write
// it reads each value: the first time it records the value's own setting in the restore ledger
// (memory and registry), and later a value that holds neither what the program wrote there nor
// the recorded setting has been changed by the user, whose value becomes its own setting. At the
// end it gives each value its own setting back, but only while it still holds what the program
// wrote (otherwise the user or another program has changed it since, and that choice stays). At
// start it first restores what a run that did not end in order left in the ledger, its own and
// the other controller's (ForeignLedgers): a value that the other controller wrote is never taken
// for the scheme's own.
//
// Runs on the watcher's thread; RestoreAll may run once more on the main thread after the
// worker has been joined. A zeroed keeper is idle and leaves the battery values alone;
// RestoreAll leaves it idle again.
#pragma once

#include "power/ForeignLedgers.h"
#include "power/KeeperFacts.h"
#include "power/PowerSetting.h"
#include "power/RestoreLedger.h"
#include "power/SchemeId.h"
#include "power/ThrottleSetting.h"

#include <cstdint>

// The values the keeper notes in memory: every value it writes is noted there first, so that an
// orderly end gives each one back even where the registry's ledger is full.
const int KEEPER_MAX_ENTRIES = 4 * RESTORE_LEDGER_MAX_ENTRIES;

// One value about to be written during a mode change.
struct PlannedWrite {
    ThrottleValue which;
    uint32_t value;
    LedgerEntry* entry;
};

class SchemeKeeper final : public ThrottleSetting
{
  public:
    RestoreLedger ledger;
    // The first RESTORE_LEDGER_MAX_ENTRIES are kept in the registry's ledger too.
    LedgerEntry entries[KEEPER_MAX_ENTRIES];
    int entryCount;
    // The other controller's ledgers, consulted once Start has run.
    ForeignLedgers foreign;
    bool started;
    // The registry's ledger was full, or memory too: each said once per run.
    bool fullLogged;
    bool noRoomLogged;
    // The scheme the current mode was last put in force in; valid when hasInForce.
    SchemeId inForce;
    bool hasInForce;
    // The values used on battery are capped too. Set by the owner before the worker starts,
    // changed later through SetOnBattery on the worker.
    bool onBattery;
    // One bit per ThrottleValue that some scheme could not read (the class-1 values share one):
    // each is logged once per run.
    uint32_t missingLogged;
    // The last Write left some value below its own setting.
    bool lowered;
    // A write or the activation failed: the next reading writes the mode again, which writes
    // only what does not hold its target yet.
    bool retryDue;
    // Values were written into the active scheme but its activation failed.
    bool activationDue;
    // What Start gave back that an earlier run had left, and what RestoreAll gave back: each
    // written only by the call that fills it, for the owner to read once it has returned.
    GivenBackList leftovers;
    GivenBackList givenBack;
    // The last failed write of a value, for the owner to take (and clear).
    FailedWrite failure;

    // Opens the ledger, restores what an earlier run left there (keeping what it could not
    // restore), then reads the active scheme's AC value in force into valueInForce (left as it was
    // when it cannot be read). Writes nothing else.
    void Start(uint32_t& valueInForce);
    // True when the user has switched to a scheme other than the one in force.
    bool ActiveSchemeSwitched() const;
    // Caps the active scheme's values at the level, each value's own setting noted first, and
    // activates the scheme when something was written. A value the scheme does not have (class
    // 1 before hybrid processors) is skipped, and logged once per run. A value that fails is
    // logged, and what was written takes effect all the same.
    bool Write(uint32_t level) override;
    // Reads the active scheme's AC class-0 value.
    bool Read(uint32_t& value) override { return ReadThrottleMax(value); }
    bool Lowered() const override { return lowered; }
    // Includes the battery values from the next write on, or leaves them out and gives every
    // battery value written so far its own setting back at once.
    void SetOnBattery(bool on);
    // Gives every value in the ledger its own setting back where it still holds the program's,
    // activating the active scheme; closes the ledger.
    void RestoreAll();
    // For a view, whose controller is the machine's service: gives back what this user's own
    // earlier run left in its ledger, under the ledger's rule, and reads no other ledger. Reads
    // nothing of the power settings while the ledger is empty. Leaves the keeper idle.
    void GiveBackOwnLeftovers();
    // Takes over what the other controller left: a value that it wrote gets its own setting
    // back, or, where this run already noted the other's cap as the value's own setting, that
    // note is mended (and the mode written again at the next reading). What it gives back goes
    // into record when there is one.
    void TakeOverForeign(GivenBackList* record);

  private:
    // Reads one value into current and returns its entry: recorded with the value as its own
    // setting when there is none yet, and taking the value as its own setting when the user has
    // changed it since. Null when the value cannot be read or the ledger is full.
    // readable tells whether the value could be read.
    LedgerEntry* Note(const SchemeId& scheme, ThrottleValue which, uint32_t& current,
                      bool& readable);
    // The entry of an AC value that cannot be read: it is capped all the same (a power service
    // that fails to read must not turn the cap off), so it is noted with Windows' default of
    // 100 % as its own setting, to be given back like any other.
    LedgerEntry* NoteUnreadable(const SchemeId& scheme);
    // Stores an entry in the registry's ledger where it has room.
    void Keep(const LedgerEntry& entry);
    // The other controller's note of a value that this run noted too; true when done with.
    bool MendOwnValue(LedgerEntry& entry, const LedgerEntry& noted);
    void AdoptOwnValue(LedgerEntry& entry, uint32_t value);
    // Decides what one value gets at the level; false when it is left as it is.
    bool Plan(const SchemeId& scheme, uint32_t level, PlannedWrite& write);
    // Writes the planned values and activates the scheme when one was written (or an earlier
    // activation failed); false when a call failed.
    bool Carry(const SchemeId& scheme, const PlannedWrite* planned, int count);
    LedgerEntry* Find(const SchemeId& scheme, ThrottleValue which);
    LedgerEntry* Record(const SchemeId& scheme, ThrottleValue which, uint32_t original);
    void LogMissingOnce(const SchemeId& scheme, ThrottleValue which, uint32_t error);
    void RestoreLeftovers();
    // Restores the listed entries (with batteryOnly, the battery ones), removes those done with
    // from the ledger and from the list, and activates the active scheme once when one of its
    // values was written; what it gives back goes into record when there is one (leftovers: from
    // an earlier run). Returns how many entries the list keeps.
    int RestoreEntries(LedgerEntry* list, int count, bool batteryOnly, GivenBackList* record);
    // True when the entry is done with (restored, already at its own setting, given up to the
    // user, or its scheme gone);
    // written tells whether the scheme was written.
    // from gets what the value held when it was given back.
    bool Restore(const LedgerEntry& entry, bool leftover, uint32_t& from, bool& written);
    void NoteFailure(const SchemeId& scheme, ThrottleValue which, uint32_t error)
    {
        failure = FailedWrite{scheme, which, error, true};
    }
    // Activates the scheme where it is still the active one, read again right before.
    void ActivateIfStillActive(const SchemeId& scheme);
};
