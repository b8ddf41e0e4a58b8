#include "base/ProgramKey.h"

#include <cstring>
#include <cwchar>
#include <new>

bool ProgramKey::Create(const char* path)
{
    Close();
    HKEY opened = nullptr;
    LONG status =
        RegCreateKeyExA(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, path, 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &opened, nullptr);
    if (status != ERROR_SUCCESS)
        return false;
    key = opened;
    return true;
}

bool ProgramKey::Open(const char* path, bool write)
{
    return OpenUnder(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, path,
                     write ? KEY_READ | KEY_WRITE : KEY_READ);
}

const char* ProgramKey::RootName() const
{
    return machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

bool ProgramKey::OpenMachine(const char* path)
{
    return OpenUnder(HKEY_LOCAL_MACHINE, path, KEY_READ);
}

bool ProgramKey::OpenUnder(HKEY root, const char* path, REGSAM access)
{
    Close();
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, path, 0, access, &opened) != ERROR_SUCCESS)
        return false;
    key = opened;
    return true;
}

void ProgramKey::Close()
{
    if (key != nullptr) {
        RegCloseKey(key);
        key = nullptr;
    }
}

bool ProgramKey::ReadDword(const char* name, DWORD& value) const
{
    DWORD type = 0;
    DWORD found = 0;
    DWORD size = sizeof found;
    if (!ReadRaw(name, type, &found, size) || type != REG_DWORD || size != sizeof found)
        return false;
    value = found;
    return true;
}

bool ProgramKey::WriteDword(const char* name, DWORD value) const
{
    return WriteRaw(name, REG_DWORD, &value, sizeof value);
}

bool ProgramKey::ReadRaw(const char* name, DWORD& type, void* data, DWORD& size) const
{
    if (key == nullptr)
        return false;
    return RegQueryValueExA(key, name, nullptr, &type, static_cast<BYTE*>(data), &size) ==
           ERROR_SUCCESS;
}

bool ProgramKey::WriteRaw(const char* name, DWORD type, const void* data, DWORD size) const
{
    if (key == nullptr)
        return false;
    return RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

bool ProgramKey::ReadString(const char* name, char* text, DWORD size) const
{
    if (size == 0)
        return false;
    DWORD type = 0;
    // One byte is kept back: a stored string need not end with its terminating zero.
    DWORD stored = size - 1;
    if (!ReadRaw(name, type, text, stored) || type != REG_SZ)
        return false;
    text[stored] = '\0';
    return std::strlen(text) < size;
}

bool ProgramKey::WriteString(const char* name, const char* text) const
{
    return WriteRaw(name, REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1));
}

bool ProgramKey::DeleteValue(const char* name) const
{
    if (key == nullptr)
        return false;
    LONG status = RegDeleteValueA(key, name);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool ProgramKey::Flush() const
{
    return key != nullptr && RegFlushKey(key) == ERROR_SUCCESS;
}

bool ProgramKey::ValueName(DWORD index, char* name, DWORD size, bool* exact) const
{
    if (key == nullptr || size == 0)
        return false;
    // Longer than any name the program writes; a longer one is only ever passed by or removed.
    wchar_t wide[256];
    DWORD length = sizeof wide / sizeof wide[0];
    const LONG status =
        RegEnumValueW(key, index, wide, &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
        return false;
    bool whole = status == ERROR_SUCCESS;
    if (!whole)
        length = 0; // the buffer's content is undefined
    DWORD out = 0;
    for (DWORD i = 0; i < length && out + 1 < size; ++i) {
        const wchar_t c = wide[i];
        const bool printable = c >= 0x20 && c < 0x7f;
        whole = whole && printable;
        name[out++] = printable ? static_cast<char>(c) : '?';
    }
    name[out] = '\0';
    if (exact != nullptr)
        *exact = whole && out == length;
    return true;
}

bool ProgramKey::DeleteValueAt(DWORD index) const
{
    if (key == nullptr)
        return false;
    // The registry's limit for a value name, and its terminating zero.
    const DWORD capacity = 16384;
    wchar_t* wide = new (std::nothrow) wchar_t[capacity];
    if (wide == nullptr)
        return false;
    DWORD length = capacity;
    const bool deleted = RegEnumValueW(key, index, wide, &length, nullptr, nullptr, nullptr,
                                       nullptr) == ERROR_SUCCESS &&
                         std::wcslen(wide) == length && RegDeleteValueW(key, wide) == ERROR_SUCCESS;
    delete[] wide;
    return deleted;
}
