// Software\Ambrel: the one registry key that holds the program's own data (its settings and its
// restore ledger), below HKEY_CURRENT_USER for a user's instance and below HKEY_LOCAL_MACHINE for
// the service; the Run key value that starts it with Windows; and, read only, the machine's
// policy key.
//
// A ProgramKey is a plain handle holder: zero when nothing is open, Close() may run any number of
// times. Every operation reports failure by its result; a key that cannot be opened or written
// never stops the program.
#pragma once

#include <windows.h>

// The program's key, below HKEY_CURRENT_USER or, for the service, HKEY_LOCAL_MACHINE.
const char PROGRAM_KEY_PATH[] = "Software\\Ambrel";

class ProgramKey
{
  public:
    // Null when no key is open.
    HKEY key = nullptr;
    // Create and Open work below HKEY_LOCAL_MACHINE rather than HKEY_CURRENT_USER: the machine's
    // own data, which the service keeps. Set before opening; Close leaves it as it is.
    bool machine = false;

    // Opens path below the chosen root for reading and writing, creating it when missing.
    bool Create(const char* path);
    // Opens an existing key below the chosen root; with write false for reading only.
    bool Open(const char* path, bool write);
    // Opens an existing key below HKEY_LOCAL_MACHINE for reading only (what every user may do).
    bool OpenMachine(const char* path);
    // Opens an existing key below any root with the access asked for: another controller's data
    // (HKEY_USERS for the service, HKEY_LOCAL_MACHINE for a user's instance).
    bool OpenUnder(HKEY root, const char* path, REGSAM access);
    void Close();
    // "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE", as Create and Open choose, for the log.
    const char* RootName() const;

    // A REG_DWORD of exactly four bytes; false for a missing value or any other type or size.
    bool ReadDword(const char* name, DWORD& value) const;
    bool WriteDword(const char* name, DWORD value) const;
    // Any value as stored: type and size are reported as found. size is the buffer size on
    // entry. False when the value is missing or larger than the buffer.
    bool ReadRaw(const char* name, DWORD& type, void* data, DWORD& size) const;
    bool WriteRaw(const char* name, DWORD type, const void* data, DWORD size) const;
    // A REG_SZ that fits the buffer with its terminating zero; false otherwise.
    bool ReadString(const char* name, char* text, DWORD size) const;
    bool WriteString(const char* name, const char* text) const;
    // True when the value is gone afterwards (also when it was never there).
    bool DeleteValue(const char* name) const;
    // Writes the key's changes to disk now rather than when the registry gets round to it;
    // false when that fails or no key is open.
    bool Flush() const;
    // The name of the value at index (0, 1, ...), for walking all values; false past the last
    // one. Names are read in UTF-16 and given as printable ASCII: a character outside it (an
    // embedded zero too) comes out as '?' and a long name is cut, and exact, where asked for,
    // says whether the text is the whole name as it is. Deleting values while walking shifts
    // the indices.
    bool ValueName(DWORD index, char* name, DWORD size, bool* exact = nullptr) const;
    // Deletes the value at index by its whole UTF-16 name; true only when a value was deleted.
    // A name with an embedded zero cannot be named to the registry's functions and stays.
    bool DeleteValueAt(DWORD index) const;
};
