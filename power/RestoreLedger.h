// The restore ledger as kept in the registry, below the program's key: one value per power
// scheme value that the program has written into, named by the scheme's identifier (text form),
// a space and the value's name ("AC", "AC1", "DC", "DC1": on AC power or on battery, for
// efficiency class 0 or 1), a REG_BINARY of four 32-bit little-endian numbers: the scheme's own
// value before the program first wrote into it, the value the program last wrote (or is about to
// write) there, the value the scheme held before that write (the same as the second once the
// write is done), and the entry's stamp, which tells one episode of capping the value from
// another. A value named by the scheme's identifier alone, as an earlier version of the program
// wrote them, is the AC class-0 entry; an entry of three numbers, as earlier versions wrote
// them, has the stamp 0.
//
// The ledger survives the process, so that a run ended by a kill, a crash or a power loss can
// be undone at the next start. A key that cannot be opened or written leaves the ledger unusable
// and is reported once in the log; the program then restores only on an orderly exit.
#pragma once

#include "base/ProgramKey.h"
#include "power/PowerSetting.h"
#include "power/SchemeId.h"

#include <cstdint>

// Below HKEY_CURRENT_USER, or HKEY_LOCAL_MACHINE for the service (key.machine, set by the owner
// before Open): a key of its own, so that no setting of the program is ever taken for
// a malformed entry.
const char RESTORE_LEDGER_KEY_PATH[] = "Software\\Ambrel\\Restore";

// The four values of more schemes than any machine has; further ones are neither recorded nor
// restored.
const int RESTORE_LEDGER_MAX_ENTRIES = 64;

// The values a walk of the ledger looks at, at most: entries, and values it removes.
const int RESTORE_LEDGER_MAX_STEPS = 4096;

// A value name: the scheme's text form, a space, up to three characters, the terminating zero.
const size_t LEDGER_NAME_SIZE = SCHEME_ID_TEXT_SIZE + 4;

// The valid percentages in an entry. 0 % is never one: written back, it would leave the scheme's
// processor all but stopped.
const uint32_t RESTORE_LEDGER_MIN_PERCENT = 1;
const uint32_t RESTORE_LEDGER_MAX_PERCENT = 100;

struct LedgerEntry {
    SchemeId scheme;
    ThrottleValue which;
    // The scheme's own value, to be written back.
    uint32_t original;
    // The value the program last wrote there, or is about to write.
    uint32_t written;
    // What the scheme held before the write under way; equal to written once it is done. A run
    // ended during the write leaves the scheme holding either, and either means it is still the
    // program's.
    uint32_t previous;
    // Set when the value is first noted in a run (the time, in seconds): an entry that a reader
    // has dealt with is told from a later one of the same value with the same numbers.
    uint32_t stamp;
    // Read from a value named the earlier way; that name goes once the entry is rewritten or
    // removed.
    bool legacy;
};

// An entry's bytes as stored.
const size_t RESTORE_LEDGER_ENTRY_SIZE = 16;

// The entry's value name in the registry.
void FormatLedgerName(const LedgerEntry& entry, char name[LEDGER_NAME_SIZE]);
// How a value is named in the log: the scheme alone for the AC class-0 value, which is the one
// every Windows has, otherwise the scheme and the value ("... DC1").
void FormatEntryLabel(const LedgerEntry& entry, char label[LEDGER_NAME_SIZE]);
// The entry's numbers as stored.
void EncodeLedgerEntry(const LedgerEntry& entry, uint8_t bytes[RESTORE_LEDGER_ENTRY_SIZE]);
// A new stamp: the time, in seconds.
uint32_t NewLedgerStamp();

class RestoreLedger
{
  public:
    ProgramKey key;
    // The failure has been logged; it is logged only once per run.
    bool failureLogged;

    // Opens the ledger's key, creating it when missing.
    bool Open();
    void Close();

    // The entries left in the registry (by a run that did not restore), at most max of them.
    // Malformed values are logged and removed, never returned.
    int ReadEntries(LedgerEntry* entries, int max);
    // Records or updates one entry; false (logged once) when it cannot be written, and false
    // without a word for an entry outside the valid percentages, which is never stored.
    bool Put(const LedgerEntry& entry);
    // Removes an entry; a failure is logged once. True when it is gone.
    bool Remove(const LedgerEntry& entry);
    // Reads the value of that name as an entry; false for anything but a well-formed one.
    bool ReadNamed(const char* name, LedgerEntry& entry) const;
    // Puts what has been written to the key on disk, so that a power loss right after the power
    // write that an entry guards still finds the entry; a failure is logged once.
    void Flush();

  private:
    void DeleteLegacyName(const LedgerEntry& entry);
    void LogFailureOnce(const char* what);
};
