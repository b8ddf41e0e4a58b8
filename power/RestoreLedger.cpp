#include "power/RestoreLedger.h"

#include "base/Log.h"

#include <cstring>

namespace
{

// The three numbers of an entry as earlier versions stored it, without the stamp.
const DWORD kEarlierEntrySize = 12;

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

// Indexed by ThrottleValue.
const char* const kValueNames[THROTTLE_VALUE_COUNT] = {"AC", "AC1", "DC", "DC1"};

// Splits "<scheme> <value>", or the earlier "<scheme>" alone, into the entry's identity.
bool ParseLedgerName(const char* name, LedgerEntry& entry)
{
    const size_t idLength = SCHEME_ID_TEXT_SIZE - 1;
    char id[SCHEME_ID_TEXT_SIZE];
    if (std::strlen(name) < idLength)
        return false;
    std::memcpy(id, name, idLength);
    id[idLength] = '\0';
    if (!ParseSchemeId(id, entry.scheme))
        return false;
    const char* rest = name + idLength;
    entry.legacy = *rest == '\0';
    if (entry.legacy) {
        entry.which = THROTTLE_AC;
        return true;
    }
    for (int i = 0; i < THROTTLE_VALUE_COUNT; ++i) {
        if (rest[0] == ' ' && std::strcmp(rest + 1, kValueNames[i]) == 0) {
            entry.which = static_cast<ThrottleValue>(i);
            return true;
        }
    }
    return false;
}

bool IsLedgerPercent(uint32_t value)
{
    return value >= RESTORE_LEDGER_MIN_PERCENT && value <= RESTORE_LEDGER_MAX_PERCENT;
}

// An entry that the next start may write back.
bool HoldsLedgerPercents(const LedgerEntry& entry)
{
    return IsLedgerPercent(entry.original) && IsLedgerPercent(entry.written) &&
           IsLedgerPercent(entry.previous);
}

} // namespace

void EncodeLedgerEntry(const LedgerEntry& entry, uint8_t bytes[RESTORE_LEDGER_ENTRY_SIZE])
{
    StoreUint32(bytes, entry.original);
    StoreUint32(bytes + 4, entry.written);
    StoreUint32(bytes + 8, entry.previous);
    StoreUint32(bytes + 12, entry.stamp);
}

uint32_t NewLedgerStamp()
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
    return static_cast<uint32_t>(ticks / 10000000u);
}

void FormatLedgerName(const LedgerEntry& entry, char name[LEDGER_NAME_SIZE])
{
    FormatSchemeId(entry.scheme, name);
    name[SCHEME_ID_TEXT_SIZE - 1] = ' ';
    std::strcpy(name + SCHEME_ID_TEXT_SIZE, kValueNames[entry.which & 3]);
}

void FormatEntryLabel(const LedgerEntry& entry, char label[LEDGER_NAME_SIZE])
{
    FormatLedgerName(entry, label);
    if (entry.which == THROTTLE_AC)
        label[SCHEME_ID_TEXT_SIZE - 1] = '\0';
}

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
    LogPrint("RestoreLedger: %s\\%s cannot be %s; power settings are restored "
             "only on an orderly exit\n",
             key.RootName(), RESTORE_LEDGER_KEY_PATH, what);
}

bool RestoreLedger::ReadNamed(const char* name, LedgerEntry& entry) const
{
    if (!ParseLedgerName(name, entry))
        return false;
    // One byte more than an entry, so that a longer value is seen as too long rather than cut.
    uint8_t data[RESTORE_LEDGER_ENTRY_SIZE + 1];
    DWORD type = 0;
    DWORD size = sizeof data;
    if (!key.ReadRaw(name, type, data, size) || type != REG_BINARY ||
        (size != RESTORE_LEDGER_ENTRY_SIZE && size != kEarlierEntrySize))
        return false;
    entry.original = LoadUint32(data);
    entry.written = LoadUint32(data + 4);
    entry.previous = LoadUint32(data + 8);
    entry.stamp = size == RESTORE_LEDGER_ENTRY_SIZE ? LoadUint32(data + 12) : 0;
    return HoldsLedgerPercents(entry);
}

int RestoreLedger::ReadEntries(LedgerEntry* entries, int max)
{
    // Room for a name somewhat longer than an entry's, so that the log shows what it was.
    char name[LEDGER_NAME_SIZE + 64];
    int count = 0;
    DWORD index = 0;
    bool keptLogged = false;
    // Each step takes an entry, removes a value or passes one by, so the walk ends; the bound
    // only keeps a registry that reports values without end from holding up the start.
    for (int step = 0; count < max && step < RESTORE_LEDGER_MAX_STEPS; ++step) {
        bool exact = false;
        if (!key.ValueName(index, name, sizeof name, &exact))
            break;
        if (exact && ReadNamed(name, entries[count])) {
            ++count;
            ++index;
            continue;
        }
        if (key.DeleteValueAt(index)) {
            LogPrint("RestoreLedger: malformed entry \"%.64s\" removed\n", name);
            continue;
        }
        // A value that stays (a name that cannot be named, a key the program may not change)
        // is passed by from now on.
        if (!keptLogged)
            LogPrint("RestoreLedger: malformed entry \"%.64s\" cannot be removed; passed by\n",
                     name);
        keptLogged = true;
        ++index;
    }
    return count;
}

bool RestoreLedger::Put(const LedgerEntry& entry)
{
    // A ledger that was never opened (or failed to open, which is logged) lives in memory only.
    if (key.key == nullptr || !HoldsLedgerPercents(entry))
        return false;
    char name[LEDGER_NAME_SIZE];
    FormatLedgerName(entry, name);
    uint8_t data[RESTORE_LEDGER_ENTRY_SIZE];
    EncodeLedgerEntry(entry, data);
    if (!key.WriteRaw(name, REG_BINARY, data, sizeof data)) {
        LogFailureOnce("written");
        return false;
    }
    // The entry now lives under its new name only.
    DeleteLegacyName(entry);
    return true;
}

bool RestoreLedger::Remove(const LedgerEntry& entry)
{
    char name[LEDGER_NAME_SIZE];
    FormatLedgerName(entry, name);
    const bool removed = key.DeleteValue(name);
    if (!removed)
        LogFailureOnce("written");
    DeleteLegacyName(entry);
    return removed;
}

void RestoreLedger::DeleteLegacyName(const LedgerEntry& entry)
{
    if (!entry.legacy)
        return;
    char name[SCHEME_ID_TEXT_SIZE];
    FormatSchemeId(entry.scheme, name);
    if (!key.DeleteValue(name))
        LogFailureOnce("written");
}

void RestoreLedger::Flush()
{
    if (key.key != nullptr && !key.Flush())
        LogFailureOnce("flushed");
}
