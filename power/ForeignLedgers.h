// The restore ledgers of the machine's other controllers. A user's instance and the service
// never control at once, but either may end without giving back (a kill, a crash, a power cut)
// and the other run next: whichever runs gives back what the other left. A user's instance reads
// the service's ledger (HKEY_LOCAL_MACHINE, readable by every user, writable by administrators
// only); the service reads the ledger of every user whose profile is loaded (HKEY_USERS\<user>).
//
// What comes from here is untrusted: a user may write anything into their own key. Only
// well-formed entries are returned, each source is examined up to a fixed number of values, and
// the keeper applies an entry only under the ledger's own rule (the scheme still holds what the
// entry says was written, and the value given back is a percentage from 1 to 100). Nothing is
// ever created here, and nothing is logged about a key the reader may not change.
#pragma once

#include "power/RestoreLedger.h"

// The users whose ledgers the service reads at once (the loaded profiles of a busy terminal
// server beyond that wait for the next look), and the length of a source's path below its root.
const int FOREIGN_LEDGER_MAX_SOURCES = 16;
const size_t FOREIGN_LEDGER_PATH_SIZE = 256;
// Values examined per source: a key stuffed with values costs the reader little.
const int FOREIGN_LEDGER_MAX_VALUES = 256;

struct ForeignEntry {
    LedgerEntry entry;
    // Which source it was read from, for Remove.
    int source;
};

class ForeignLedgers
{
  public:
    // The reader is the service, which reads the users' ledgers; otherwise the service's ledger
    // is read. Set before Read.
    bool service;

    // The well-formed entries of every other ledger, at most max of them.
    int Read(ForeignEntry* entries, int max);
    // Removes an entry that has been given back or taken over, where the reader may; quietly
    // leaves it where it may not (the next look finds the value at its own setting).
    void Remove(const ForeignEntry& entry);

  private:
    int sourceCount;
    char sources[FOREIGN_LEDGER_MAX_SOURCES][FOREIGN_LEDGER_PATH_SIZE];

    HKEY Root() const;
    void FindSources();
    int ReadSource(int source, ForeignEntry* entries, int max);
};
