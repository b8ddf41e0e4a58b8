#include "base/Log.h"

#include "base/LogFormat.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace
{

// Written only by OpenLogSinks, before the worker thread exists; read by both threads after.
int g_fileSwitch;
int g_consoleSwitch;
HANDLE g_console;
FILE* g_logStream;

// Opens directory\Ambrel.log (made when missing) for appending in text mode. What is there
// already is taken only when it is a plain file of one name: never a link (not followed), a
// junction or a hard link to a file elsewhere. Null when it cannot be opened or is refused.
FILE* OpenLogIn(const char* directory)
{
    char path[MAX_PATH + 1] = "";
    if (!AppendToPath(path, sizeof path, directory) || !AppendToPath(path, sizeof path, "\\") ||
        !AppendToPath(path, sizeof path, "Ambrel.log"))
        return nullptr;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information) || information.nNumberOfLinks != 1 ||
        (information.dwFileAttributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        CloseHandle(file);
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_APPEND | _O_TEXT);
    if (descriptor == -1) {
        CloseHandle(file);
        return nullptr;
    }
    FILE* stream = _fdopen(descriptor, "a");
    if (stream == nullptr)
        _close(descriptor);
    return stream;
}

// Opens %TEMP%\Ambrel.log; null when the directory is unknown or its path leaves no room for the
// file name.
FILE* OpenLogFile()
{
    char path[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof path, path);
    if (length == 0 || length >= sizeof path)
        return nullptr;
    // GetTempPath ends the directory with a separator; OpenLogIn adds its own.
    path[length - 1] = '\0';
    return OpenLogIn(path);
}

// In QuickEdit mode a click in the console window starts a selection, and every write to the
// console waits until it ends: a log line would stall the worker and with it the throttle.
// The other input modes (Ctrl+C processing among them) are kept.
void TurnQuickEditOff()
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode;
    if (input == nullptr || input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode))
        return;
    SetConsoleMode(input,
                   (mode | ENABLE_EXTENDED_FLAGS) & ~static_cast<DWORD>(ENABLE_QUICK_EDIT_MODE));
}

HANDLE OpenConsole()
{
    if (!AllocConsole())
        return nullptr;
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == INVALID_HANDLE_VALUE) {
        FreeConsole();
        return nullptr;
    }
    TurnQuickEditOff();
    return output;
}

LogStamp CurrentStamp()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    LogStamp stamp = {now.wYear,   now.wMonth,  now.wDay,          now.wHour,
                      now.wMinute, now.wSecond, now.wMilliseconds, GetCurrentThreadId()};
    return stamp;
}

} // namespace

void OpenLogSinks(int fileSwitch, int consoleSwitch)
{
    g_fileSwitch = fileSwitch;
    g_consoleSwitch = consoleSwitch;
    if (g_fileSwitch)
        g_logStream = OpenLogFile();
    if (g_consoleSwitch)
        g_console = OpenConsole();
}

bool OpenLogSinksIn(const char* directory)
{
    g_fileSwitch = 1;
    g_consoleSwitch = 0;
    g_logStream = OpenLogIn(directory);
    return g_logStream != nullptr;
}

void LogPrint(const char* format, ...)
{
    if (!g_fileSwitch && !g_consoleSwitch)
        return;
    if (format == nullptr)
        return;

    char composed[LOG_BUFFER_SIZE];
    char entry[LOG_BUFFER_SIZE];
    ComposeLogFormat(composed, sizeof composed, CurrentStamp(), format);
    va_list args;
    va_start(args, format);
    FormatLogEntry(entry, sizeof entry, composed, args);
    va_end(args);

    if (g_consoleSwitch && g_console != nullptr) {
        DWORD written;
        WriteConsoleA(g_console, entry, static_cast<DWORD>(std::strlen(entry)), &written, nullptr);
    }
    if (g_fileSwitch && g_logStream != nullptr) {
        // Flushed at once: the log matters most when the process is ended from outside.
        std::fputs(entry, g_logStream);
        std::fflush(g_logStream);
    }
}
