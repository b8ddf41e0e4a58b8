#include "base/Log.h"

#include "base/LogFormat.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace
{

// Written only by OpenLogSinks, before the worker thread exists; read by both threads after.
int g_fileSwitch;
int g_consoleSwitch;
HANDLE g_console;
FILE* g_logStream;

// Opens %TEMP%\Ambrel.log for appending; null when the directory is unknown or its path leaves
// no room for the file name.
FILE* OpenLogFile()
{
    char path[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof path, path);
    if (length == 0 || length >= sizeof path)
        return nullptr;
    if (!AppendToPath(path, sizeof path, "Ambrel.log"))
        return nullptr;
    return std::fopen(path, "a+");
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
