#include "settings/StartWithWindows.h"

#include "base/Log.h"

#include <windows.h>

#include <cwchar>

namespace
{

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kApprovedKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
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

// True when the value is gone (or was never there).
bool DeleteValue(const wchar_t* keyPath)
{
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_SET_VALUE, &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return true;
    if (status != ERROR_SUCCESS)
        return false;
    status = RegDeleteValueW(key, kValueName);
    RegCloseKey(key);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool RunValueExists(HKEY root)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    LONG status = RegQueryValueExW(key, kValueName, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

// Windows writes 12 bytes (the state, then the time it was disabled); a value that cannot be
// read, or holds nothing, disables nothing, as a missing one.
bool DisabledInTaskManager()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kApprovedKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    BYTE data[64] = {};
    DWORD size = sizeof data;
    LONG status = RegQueryValueExW(key, kValueName, nullptr, nullptr, data, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && size > 0 && (data[0] & 1) != 0;
}

} // namespace

bool IsStartWithWindows()
{
    return RunValueExists(HKEY_CURRENT_USER) && !DisabledInTaskManager();
}

bool IsStartWithWindowsForAllUsers()
{
    return RunValueExists(HKEY_LOCAL_MACHINE);
}

void DropUserStartBesideMachineStart()
{
    if (!RunValueExists(HKEY_LOCAL_MACHINE) || !RunValueExists(HKEY_CURRENT_USER))
        return;
    if (DeleteValue(kRunKey))
        LogPrint("Start with Windows: the user's Run value removed; the machine starts Ambrel for "
                 "every user\n");
    else
        LogPrint("Start with Windows: cannot remove the Run value\n");
}

bool SetStartWithWindows(bool start)
{
    bool done = start ? WriteRunValue() : DeleteValue(kRunKey);
    if (!done)
        LogPrint("Start with Windows: cannot %s the Run value\n", start ? "write" : "remove");
    if (done && start && !DeleteValue(kApprovedKey)) {
        LogPrint("Start with Windows: cannot remove the StartupApproved mark\n");
        done = false;
    }
    return done;
}
