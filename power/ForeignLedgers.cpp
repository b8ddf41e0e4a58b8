#include "power/ForeignLedgers.h"

#include "base/Log.h"

#include <cstdio>
#include <cstring>

namespace
{

// The registry's own limit for a key name, and a value name of any length.
const DWORD kKeyNameSize = 256;
const DWORD kValueNameSize = 16384;

// The per-user classes hive sits beside each profile's own key and holds no program data.
bool IsClassesHive(const char* name)
{
    const size_t length = std::strlen(name);
    const char suffix[] = "_Classes";
    const size_t suffixLength = sizeof suffix - 1;
    return length >= suffixLength && std::strcmp(name + length - suffixLength, suffix) == 0;
}

} // namespace

HKEY ForeignLedgers::Root() const
{
    return service ? HKEY_USERS : HKEY_LOCAL_MACHINE;
}

// The service looks at every loaded profile afresh each time: users log on and off.
void ForeignLedgers::FindSources()
{
    sourceCount = 0;
    if (!service) {
        std::snprintf(sources[sourceCount++], FOREIGN_LEDGER_PATH_SIZE, "%s",
                      RESTORE_LEDGER_KEY_PATH);
        return;
    }
    char name[kKeyNameSize];
    for (DWORD index = 0; sourceCount < FOREIGN_LEDGER_MAX_SOURCES; ++index) {
        DWORD length = sizeof name;
        const LONG status =
            RegEnumKeyExA(HKEY_USERS, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || IsClassesHive(name))
            continue;
        const int written = std::snprintf(sources[sourceCount], FOREIGN_LEDGER_PATH_SIZE, "%s\\%s",
                                          name, RESTORE_LEDGER_KEY_PATH);
        if (written > 0 && static_cast<size_t>(written) < FOREIGN_LEDGER_PATH_SIZE)
            ++sourceCount;
    }
}

int ForeignLedgers::Read(ForeignEntry* entries, int max)
{
    FindSources();
    int count = 0;
    for (int source = 0; source < sourceCount && count < max; ++source)
        count += ReadSource(source, entries + count, max - count);
    return count;
}

int ForeignLedgers::ReadSource(int source, ForeignEntry* entries, int max)
{
    RestoreLedger ledger{};
    if (!ledger.key.OpenUnder(Root(), sources[source], KEY_READ))
        return 0;
    static char name[kValueNameSize];
    int count = 0;
    int ignored = 0;
    for (DWORD index = 0; count < max && index < FOREIGN_LEDGER_MAX_VALUES &&
                          ledger.key.ValueName(index, name, sizeof name);
         ++index) {
        ForeignEntry& found = entries[count];
        if (!ledger.ReadNamed(name, found.entry)) {
            ++ignored;
            continue;
        }
        found.source = source;
        ++count;
    }
    if (ignored > 0)
        LogPrint("ForeignLedgers: %d values of %s that are no entries ignored\n", ignored,
                 sources[source]);
    ledger.Close();
    return count;
}

void ForeignLedgers::Remove(const ForeignEntry& found)
{
    if (found.source < 0 || found.source >= sourceCount)
        return;
    RestoreLedger ledger{};
    // A user's instance may not change the service's ledger: the entry stays, harmlessly.
    if (!ledger.key.OpenUnder(Root(), sources[found.source], KEY_READ | KEY_SET_VALUE))
        return;
    // Removing is all it does; a failure would only be logged as this program's own ledger.
    ledger.failureLogged = true;
    ledger.Remove(found.entry);
    ledger.Close();
}
