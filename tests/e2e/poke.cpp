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
//   poke tray MSG [X Y]      post WM_FROMTRAY with the event MSG (e.g. 513 = left down, 123 =
//                            WM_CONTEXTMENU, 1025 = NIN_KEYSELECT) in lParam and, in the form of
//                            notification-icon version 4, the anchor point X, Y in wParam
//   poke ctrlc               deliver Ctrl+C to the console of the window's process
//   poke consolemode         print the input mode of the console of the window's process
//   poke exists              exit 0 when the window exists, 1 when not
//   poke title [CLASS]       print the window's title (the tooltip text) in UTF-8, or the
//                            title of the first window of CLASS (e.g. "Ambrel History")
//   poke setting N [AREA]    broadcast WM_SETTINGCHANGE with wParam N and the area name AREA
//                            (e.g. ImmersiveColorSet), as the system does after a change
//   poke store FILE LINE     in the fake power store FILE, replace the "active" line or the
//                            "scheme GUID" line that LINE names by LINE, under the fakes' lock
//   poke volatile-key PATH   create HKEY_CURRENT_USER\PATH as a volatile key
//   poke impostor            make a window of class "Ambrel" in this program and print "ready";
//                            print "closed" for each WM_CLOSE and "asked" for each request of a
//                            second start that it gets, until stdin ends
//   poke squat               hold "Global\Ambrel Mutex" under an empty DACL (no one may open
//                            it) until stdin ends; prints "held" once it does
#include "tests/fakes/FakeShared.h"
#include "ui/TrayIcon.h"

#include <windows.h>
#include <sddl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace
{

HWND FindAmbrel()
{
    return FindWindowA("Ambrel", nullptr);
}

int Usage()
{
    std::fprintf(stderr, "usage: poke close|endsession [closeapp]|taskbar|untray|command N|"
                         "tray MSG [X Y]|ctrlc|consolemode|exists|squat|impostor|title [CLASS]|"
                         "setting N [AREA]|store FILE LINE|volatile-key PATH\n");
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

LRESULT CALLBACK ImpostorProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    static const UINT asked =
        RegisterWindowMessageA("Ambrel.ShowHistory.289dce63-0063-46ae-8c2d-8b4092f97230");
    if (message == WM_CLOSE || message == asked) {
        std::puts(message == WM_CLOSE ? "closed" : "asked");
        std::fflush(stdout);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI QuitAtEndOfInput(void* mainThread)
{
    while (std::getchar() != EOF) {
    }
    PostThreadMessageA(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(mainThread)), WM_QUIT, 0, 0);
    return 0;
}

int RunImpostor()
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = ImpostorProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "Ambrel";
    if (!RegisterClassExA(&windowClass) ||
        !CreateWindowExA(0, "Ambrel", nullptr, 0, 0, 0, 0, 0, nullptr, nullptr,
                         windowClass.hInstance, nullptr))
        return 1;
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE); // the thread's queue, before the quit
    void* self = reinterpret_cast<void*>(static_cast<UINT_PTR>(GetCurrentThreadId()));
    CloseHandle(CreateThread(nullptr, 0, QuitAtEndOfInput, self, 0, nullptr));
    std::puts("ready");
    std::fflush(stdout);
    while (GetMessageA(&message, nullptr, 0, 0))
        DispatchMessageA(&message);
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

int PrintTitle(HWND window)
{
    wchar_t title[256];
    GetWindowTextW(window, title, 256);
    char utf8[1024];
    if (WideCharToMultiByte(CP_UTF8, 0, title, -1, utf8, sizeof utf8, nullptr, nullptr) == 0)
        return 1;
    std::fputs(utf8, stdout);
    return 0;
}

int BroadcastSetting(WPARAM what, const char* area)
{
    wchar_t name[64] = L"";
    if (area != nullptr && MultiByteToWideChar(CP_UTF8, 0, area, -1, name, 64) == 0)
        return 1;
    DWORD_PTR result = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, what,
                        area != nullptr ? reinterpret_cast<LPARAM>(name) : 0, SMTO_ABORTIFHUNG,
                        5000, &result);
    return 0;
}

// Rewrites one line of a running program's store, as a user switching schemes or changing a
// value would; the lock keeps the fake from saving its own copy over it.
int ReplaceStoreLine(const char* path, const std::string& line)
{
    FakeFileLock lock;
    std::ifstream in(path);
    size_t words = line.compare(0, 7, "active ") == 0 ? 1 : 2;
    std::string key = line.substr(0, words == 1 ? 7 : line.find(' ', 7) + 1);
    std::ostringstream out;
    for (std::string old; std::getline(in, old);)
        out << (old.compare(0, key.size(), key) == 0 ? line : old) << "\n";
    in.close();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << out.str();
    return 0;
}

// Windows does not let a lasting key be created below a volatile one.
int CreateVolatileKey(const char* path)
{
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (key != nullptr)
        RegCloseKey(key);
    return status == ERROR_SUCCESS ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    const char* verb = argv[1];
    if (std::strcmp(verb, "store") == 0 && argc == 4)
        return ReplaceStoreLine(argv[2], argv[3]);
    if (std::strcmp(verb, "volatile-key") == 0 && argc == 3)
        return CreateVolatileKey(argv[2]);
    if (std::strcmp(verb, "setting") == 0 && (argc == 3 || argc == 4))
        return BroadcastSetting(std::strtoul(argv[2], nullptr, 10), argc == 4 ? argv[3] : nullptr);
    if (std::strcmp(verb, "title") == 0 && argc == 3) {
        HWND named = FindWindowA(argv[2], nullptr);
        return named != nullptr ? PrintTitle(named) : 1;
    }
    HWND window = FindAmbrel();
    if (std::strcmp(verb, "exists") == 0)
        return window != nullptr ? 0 : 1;
    if (std::strcmp(verb, "squat") == 0)
        return HoldDeniedMutex();
    if (std::strcmp(verb, "impostor") == 0)
        return RunImpostor();
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
    if (std::strcmp(verb, "title") == 0)
        return PrintTitle(window);
    if (std::strcmp(verb, "untray") == 0)
        return ForgetTrayIcon(window);
    if (std::strcmp(verb, "command") == 0 && argc == 3)
        return PostMessageA(window, WM_COMMAND, std::strtoul(argv[2], nullptr, 10), 0) ? 0 : 1;
    if (std::strcmp(verb, "tray") == 0 && (argc == 3 || argc == 5)) {
        const int x = argc == 5 ? std::atoi(argv[3]) : 0;
        const int y = argc == 5 ? std::atoi(argv[4]) : 0;
        const WPARAM anchor = MAKEWPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
        return PostMessageA(window, WM_FROMTRAY, anchor, std::strtol(argv[2], nullptr, 10)) ? 0 : 1;
    }
    return Usage();
}
