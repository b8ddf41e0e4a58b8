// The restore ledger of the machine's service, as a user's tray reads it. The tray and the
// service never control at once, but either may end without giving back (a kill, a crash, a
// power cut) and the other run next. A tray gives back what the service left: the service's
// ledger is under HKEY_LOCAL_MACHINE, which every user may read and only administrators write.
// The service reads no other ledger: a user's own key is the user's to write, and the service
// never writes a value that it read from there. What a user's killed tray left is given back by
// that user's next Ambrel, tray or view, with the user's own rights (RestoreLedger).
//
// Each source is examined up to a fixed number of values, and the keeper applies an entry only
// under the ledger's own rule (the scheme still holds what the entry says was written, and the
// value given back is a percentage from 1 to 100). A tray that may not remove an entry it has
// dealt with notes it under its own key (Software\Ambrel\Handled: the entry's name, and its
// bytes as read), so that a stale entry is given back once and not at every start.
#pragma once

#include "power/RestoreLedger.h"

// Values examined in the service's ledger: a key stuffed with values costs the reader little.
const int FOREIGN_LEDGER_MAX_VALUES = 256;

// The notes of entries dealt with that could not be removed, below HKEY_CURRENT_USER.
const char HANDLED_LEDGER_KEY_PATH[] = "Software\\Ambrel\\Handled";

struct ForeignEntry {
    LedgerEntry entry;
};

class ForeignLedgers
{
  public:
    // The reader reads no other ledger: the service, and a view (whose controller runs).
    bool off;

    // The well-formed entries of the service's ledger that this user has not dealt with, at
    // most max of them.
    int Read(ForeignEntry* entries, int max);
    // Removes an entry that has been given back or taken over; where the reader may not, notes
    // that it has dealt with it.
    void Remove(const ForeignEntry& entry);

  private:
    // The entry has been dealt with, and noted so, as it reads now.
    bool Handled(const LedgerEntry& entry) const;
    // Notes, or forgets, that the entry as it reads now has been dealt with.
    void NoteHandled(const LedgerEntry& entry, bool handled) const;
};
