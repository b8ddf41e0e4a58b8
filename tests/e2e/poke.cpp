// Drives a running Ambrel.exe from outside, the way the shell, the session manager or another
// program would: finds its hidden window (class "Ambrel") and sends it messages.
//
//   poke close               post WM_CLOSE
//   poke endsession [closeapp]  send WM_QUERYENDSESSION, then WM_ENDSESSION (TRUE): log-off,
//                            or the Restart Manager closing the program
//   poke taskbar             broadcast-style "TaskbarCreated" to the window
//   poke untray              make the shell forget the window's tray icon, as a restarting
//                            taskbar does
//   poke command N           post WM_COMMAND N
//   poke tray MSG            post WM_FROMTRAY with the mouse message MSG (e.g. 513 = left down)
//   poke ctrlc               deliver Ctrl+C to the console of the window's process
//   poke consolemode         print the input mode of the console of the window's process
//   poke exists              exit 0 when the window exists, 1 when not
//   poke squat               hold "Global\Ambrel Mutex" under an empty DACL (no one may open
//                            it) until stdin ends; prints "held" once it does
#include "ui/AppMessages.h"

#include <windows.h>
#include <sddl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

HWND FindAmbrel()
{
    return FindWindowA("Ambrel", nullptr);
}

int Usage()
{
    std::fprintf(stderr, "usage: poke close|endsession [closeapp]|taskbar|untray|command N|"
                         "tray MSG|ctrlc|consolemode|exists|squat\n");
    return 2;
}

int SendEndSession(HWND window, LPARAM reason)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, reason, SMTO_NORMAL, 10000, &result);
    SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, reason, SMTO_NORMAL, 10000, &result);
    return 0;
}

int HoldDeniedMutex()
{
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
            "D:", SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr) ||
        !CreateMutexA(&attributes, FALSE, "Global\\Ambrel Mutex"))
        return 1;
    std::puts("held");
    std::fflush(stdout);
    std::getchar(); // returns at the end of stdin
    return 0;
}

int ForgetTrayIcon(HWND window)
{
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 0;
    return Shell_NotifyIconA(NIM_DELETE, &data) ? 0 : 1;
}

bool AttachToConsoleOf(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    FreeConsole();
    if (AttachConsole(processId))
        return true;
    std::fprintf(stderr, "poke: AttachConsole failed (%lu)\n", GetLastError());
    return false;
}

int PrintConsoleMode(HWND window)
{
    DWORD mode = 0;
    if (!AttachToConsoleOf(window) ||
        !GetConsoleMode(CreateFileA("CONIN$", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    0, nullptr),
                        &mode))
        return 1;
    std::printf("%lu\n", mode);
    return 0;
}

int SendCtrlC(HWND window)
{
    if (!AttachToConsoleOf(window))
        return 1;
    SetConsoleCtrlHandler(nullptr, TRUE); // this process ignores the event itself
    BOOL sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    Sleep(200);
    FreeConsole();
    return sent ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    const char* verb = argv[1];
    HWND window = FindAmbrel();
    if (std::strcmp(verb, "exists") == 0)
        return window != nullptr ? 0 : 1;
    if (std::strcmp(verb, "squat") == 0)
        return HoldDeniedMutex();
    if (window == nullptr) {
        std::fprintf(stderr, "poke: no Ambrel window\n");
        return 1;
    }
    if (std::strcmp(verb, "ctrlc") == 0)
        return SendCtrlC(window);
    if (std::strcmp(verb, "close") == 0)
        return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
    if (std::strcmp(verb, "endsession") == 0)
        return SendEndSession(window, argc == 3 ? ENDSESSION_CLOSEAPP : ENDSESSION_LOGOFF);
    if (std::strcmp(verb, "consolemode") == 0)
        return PrintConsoleMode(window);
    if (std::strcmp(verb, "taskbar") == 0)
        return PostMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0) ? 0 : 1;
    if (std::strcmp(verb, "untray") == 0)
        return ForgetTrayIcon(window);
    if (std::strcmp(verb, "command") == 0 && argc == 3)
        return PostMessageA(window, WM_COMMAND, std::strtoul(argv[2], nullptr, 10), 0) ? 0 : 1;
    if (std::strcmp(verb, "tray") == 0 && argc == 3)
        return PostMessageA(window, WM_FROMTRAY, 0, std::strtol(argv[2], nullptr, 10)) ? 0 : 1;
    return Usage();
}
