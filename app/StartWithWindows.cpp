#include "app/StartWithWindows.h"

#include "base/Log.h"

#include <windows.h>

#include <cwchar>

namespace
{

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kValueName[] = L"Ambrel";
// Room for the path, its quotes and the terminating zero.
const DWORD kCommandSize = 1024;

// "<full path of this executable>" in quotes, so that a path with spaces starts as one
// argument. False when the path does not fit.
bool QuotedExecutablePath(wchar_t* command, DWORD size)
{
    DWORD length = GetModuleFileNameW(nullptr, command + 1, size - 3);
    if (length == 0 || length >= size - 3)
        return false;
    command[0] = L'"';
    command[length + 1] = L'"';
    command[length + 2] = L'\0';
    return true;
}

bool WriteRunValue()
{
    wchar_t command[kCommandSize];
    if (!QuotedExecutablePath(command, kCommandSize))
        return false;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    DWORD bytes = static_cast<DWORD>((std::wcslen(command) + 1) * sizeof(wchar_t));
    LONG status =
        RegSetValueExW(key, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command), bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool DeleteRunValue()
{
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return true;
    if (status != ERROR_SUCCESS)
        return false;
    status = RegDeleteValueW(key, kValueName);
    RegCloseKey(key);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

} // namespace

bool IsStartWithWindows()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    LONG status = RegQueryValueExW(key, kValueName, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool SetStartWithWindows(bool start)
{
    bool done = start ? WriteRunValue() : DeleteRunValue();
    if (!done)
        LogPrint("Start with Windows: cannot %s the Run value\n", start ? "write" : "remove");
    return done;
}
