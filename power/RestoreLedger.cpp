#include "power/RestoreLedger.h"

#include "base/Log.h"

#include <cstring>

namespace
{

// The three numbers of an entry, as stored.
const DWORD kEntrySize = 12;

// Long enough for any registry value name (16,383 characters), so that every foreign value can
// be named and removed.
const DWORD kValueNameSize = 16384;

void StoreUint32(uint8_t* bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t LoadUint32(const uint8_t* bytes)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

} // namespace

bool RestoreLedger::Open()
{
    if (key.Create(RESTORE_LEDGER_KEY_PATH))
        return true;
    LogFailureOnce("opened");
    return false;
}

void RestoreLedger::Close()
{
    key.Close();
}

void RestoreLedger::LogFailureOnce(const char* what)
{
    if (failureLogged)
        return;
    failureLogged = true;
    LogPrint("RestoreLedger: HKEY_CURRENT_USER\\%s cannot be %s; power settings are restored "
             "only on an orderly exit\n",
             RESTORE_LEDGER_KEY_PATH, what);
}

bool RestoreLedger::ReadEntry(const char* name, LedgerEntry& entry) const
{
    if (!ParseSchemeId(name, entry.scheme))
        return false;
    // One byte more than an entry, so that a longer value is seen as too long rather than cut.
    uint8_t data[kEntrySize + 1];
    DWORD type = 0;
    DWORD size = sizeof data;
    if (!key.ReadRaw(name, type, data, size) || type != REG_BINARY || size != kEntrySize)
        return false;
    entry.original = LoadUint32(data);
    entry.written = LoadUint32(data + 4);
    entry.previous = LoadUint32(data + 8);
    return entry.original <= RESTORE_LEDGER_MAX_PERCENT &&
           entry.written <= RESTORE_LEDGER_MAX_PERCENT &&
           entry.previous <= RESTORE_LEDGER_MAX_PERCENT;
}

int RestoreLedger::ReadEntries(LedgerEntry* entries, int max)
{
    static char name[kValueNameSize];
    int count = 0;
    DWORD index = 0;
    while (count < max && key.ValueName(index, name, sizeof name)) {
        if (ReadEntry(name, entries[count])) {
            ++count;
            ++index;
            continue;
        }
        LogPrint("RestoreLedger: malformed entry \"%.64s\" removed\n", name);
        if (!key.DeleteValue(name)) {
            LogFailureOnce("written");
            ++index; // skip it rather than read it again
        }
    }
    return count;
}

bool RestoreLedger::Put(const LedgerEntry& entry)
{
    // A ledger that was never opened (or failed to open, which is logged) lives in memory only.
    if (key.key == nullptr)
        return false;
    char name[SCHEME_ID_TEXT_SIZE];
    FormatSchemeId(entry.scheme, name);
    uint8_t data[kEntrySize];
    StoreUint32(data, entry.original);
    StoreUint32(data + 4, entry.written);
    StoreUint32(data + 8, entry.previous);
    if (key.WriteRaw(name, REG_BINARY, data, kEntrySize))
        return true;
    LogFailureOnce("written");
    return false;
}

void RestoreLedger::Remove(const SchemeId& scheme)
{
    char name[SCHEME_ID_TEXT_SIZE];
    FormatSchemeId(scheme, name);
    if (!key.DeleteValue(name))
        LogFailureOnce("written");
}
