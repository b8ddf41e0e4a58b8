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
//   poke title [CLASS]       print the window's text (WM_GETTEXT: the tooltip) in UTF-8, or the
//                            title of the first window of CLASS (e.g. "Ambrel History")
//   poke setting N [AREA]    broadcast WM_SETTINGCHANGE with wParam N and the area name AREA
//                            (e.g. ImmersiveColorSet), as the system does after a change
//   poke store FILE LINE     in the fake power store FILE, replace the "active" line or the
//                            "scheme GUID" line that LINE names by LINE, under the fakes' lock
//   poke volatile-key PATH   create HKEY_CURRENT_USER\PATH as a volatile key
//   poke odd-names ROOT PATH [clear]  give the key ROOT\PATH (HKCU or HKLM) the values "x中文"
//                            and "x", NUL, "y" (an embedded zero), each 12 bytes of REG_BINARY;
//                            with clear, remove them (reg.exe cannot)
//   poke impostor            make a window of class "Ambrel" in this program and print "ready";
//                            print "closed" for each WM_CLOSE and "asked" for each request of a
//                            second start that it gets, until stdin ends
//   poke squat               hold "Global\Ambrel Mutex" under an empty DACL (no one may open
//                            it) until stdin ends; prints "held" once it does
//   poke desktop NAME VERB.. do VERB on the desktop NAME (made when missing) of this window
//                            station, where another Ambrel runs as it would in another session
//   poke ondesktop NAME EXE [ARGS]  run EXE on the desktop NAME and end with its exit code
//   poke pipe watch N        read the status pipe and print each message ("status T MODE
//                            STATUS INFORCE THROTTLEAT SETBY ZONE", "history COUNT", "day COUNT
//                            EPISODES SECONDS PEAK"), ending
//                            after N of them (exit 0) or when the pipe goes (exit 1)
//   poke pipe send WHAT      connect for writing and send garbage|oversized|status (a message
//                            that only the controller sends); print "dropped" when the server
//                            closes the connection within 10 s, else "open"
//   poke pipe half|noread    connect and write half a header (half) or nothing, never read;
//                            print "connected", hold until stdin ends, then print "dropped" when
//                            the server has closed the connection meanwhile, else "open"
//   poke pipe many N [S]     hold N read-only connections for S seconds (2), never reading;
//                            print "kept K", the number that the server has left open
//   poke pipe cycle N        connect and leave at once N times; print "cycled N longest MS",
//                            the longest that one of them waited for an instance to connect to
//   poke pipe squat S        for S seconds connect and leave at once, again and again, and make
//                            the pipe whenever its name is free (no instance to open), as any
//                            local user could then; print "squatted" when it did, else "nothing"
//   poke pipe refuse S       make the pipe (one instance at most, so that nobody else can make
//                            it), print "serving", close every connection at once for S seconds,
//                            then print "refused" and the time of each connection in seconds
//                            from the first
//   poke pipe flood S T [day]  make the pipe, print "serving", send the first viewer an empty
//                            history and then statuses (40 to 59 °C), or full days with
//                            day, as fast as it reads them for S seconds, then a status at T °C;
//                            print "flooded N" (the messages sent) and hold the connection until
//                            stdin ends
//   poke pipe answer WHAT    make the pipe, print "serving", and answer the first viewer with
//                            garbage|oversized|range (a status with a mode out of range)|
//                            twohistories|silent (nothing), holding the connection until stdin
//                            ends; or close it at once (close)
//   poke pipe day T          make the pipe, print "serving", send the first viewer an empty
//                            history, a day of 24 hours between 46 and 58 °C lowered three times
//                            for 14 minutes in all up to 94 °C, and a status at T °C; hold the
//                            connection until stdin ends
#include "base/HistoryCodec.h"
#include "link/PipeMessage.h"
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
                         "setting N [AREA]|store FILE LINE|volatile-key PATH|odd-names ROOT "
                         "PATH|desktop NAME VERB..|"
                         "ondesktop NAME EXE..|pipe ...\n");
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
    // Sent, not read with GetWindowText: Ambrel's hidden window answers WM_GETTEXT with its state
    // but sets no caption, and GetWindowText reads another process's caption without asking it.
    wchar_t title[256] = L"";
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(title),
                            SMTO_ABORTIFHUNG, 5000, &copied) == 0)
        return 1;
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
    FILE* file = FakeOpenReplacement(path);
    if (file == nullptr)
        return 1;
    const std::string text = out.str();
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return FakeCommitReplacement(file, path) && written ? 0 : 1;
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

// Value names that the ANSI functions cannot name: one outside the code page, and one with an
// embedded zero, which only the native calls can make or remove (with clear, they go).
int WriteOddNames(const char* root, const char* path, bool clear)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(std::strcmp(root, "HKLM") == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                        path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return 1;
    const BYTE data[12] = {50, 0, 0, 0, 80, 0, 0, 0, 80, 0, 0, 0};
    const wchar_t* outside = L"x\u4e2d\u6587";
    struct Counted {
        USHORT length;
        USHORT maximum;
        const wchar_t* buffer;
    } name = {3 * sizeof(wchar_t), 3 * sizeof(wchar_t), L"x\0y"};
    typedef LONG(WINAPI * SetValue)(HANDLE, Counted*, ULONG, ULONG, const void*, ULONG);
    typedef LONG(WINAPI * DeleteValue)(HANDLE, Counted*);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    SetValue set =
        reinterpret_cast<SetValue>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSetValueKey")));
    DeleteValue remove = reinterpret_cast<DeleteValue>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtDeleteValueKey")));
    bool done = false;
    if (clear) {
        RegDeleteValueW(key, outside);
        done = remove != nullptr && remove(key, &name) == 0;
    } else {
        done = RegSetValueExW(key, outside, 0, REG_BINARY, data, sizeof data) == ERROR_SUCCESS &&
               set != nullptr && set(key, &name, 0, REG_BINARY, data, sizeof data) == 0;
    }
    RegCloseKey(key);
    return done ? 0 : 1;
}

// The rest of the command line, each argument quoted.
std::string JoinArguments(int argc, char** argv, int first)
{
    std::string line;
    for (int i = first; i < argc; ++i)
        line += std::string(i > first ? " \"" : "\"") + argv[i] + "\"";
    return line;
}

HDESK OpenOrMakeDesktop(const char* name)
{
    return CreateDesktopA(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
}

int RunOnDesktop(const char* desktop, int argc, char** argv)
{
    if (OpenOrMakeDesktop(desktop) == nullptr)
        return 2;
    std::string line = JoinArguments(argc, argv, 3);
    std::string where = desktop;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = &where[0];
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return 2;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 2;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}

// The status pipe, or the kept history's ("pipe kept ...").
const wchar_t* pipeName = PIPE_NAME;

HANDLE OpenPipe(DWORD access)
{
    for (int i = 0; i < 50; ++i) {
        HANDLE pipe = CreateFileW(pipeName, access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE)
            return pipe;
        if (GetLastError() == ERROR_PIPE_BUSY)
            WaitNamedPipeW(pipeName, 1000);
        else
            Sleep(100);
    }
    std::fprintf(stderr, "poke: no pipe (%lu)\n", GetLastError());
    return nullptr;
}

bool ReadExactly(HANDLE pipe, uint8_t* into, size_t size)
{
    for (size_t done = 0; done < size;) {
        DWORD n = 0;
        if (!ReadFile(pipe, into + done, static_cast<DWORD>(size - done), &n, nullptr) || n == 0)
            return false;
        done += n;
    }
    return true;
}

void PrintMessage(uint16_t kind, const uint8_t* message, size_t size)
{
    PipeStatus status = {};
    static PipeHistory history;
    static PipeDay day;
    if (kind == PIPE_KIND_STATUS && DecodePipeStatus(message, size, status))
        std::printf("status %d %d %d %d %d %d %s\n", status.temperature, status.mode, status.status,
                    status.inForce, status.throttleAt, status.setBy, status.zone);
    else if (kind == PIPE_KIND_HISTORY && DecodePipeHistory(message, size, history))
        std::printf("history %d\n", history.count);
    else if (kind == PIPE_KIND_DAY && DecodePipeDay(message, size, day))
        std::printf("day %d %u %u %d\n", day.count, day.episodes, day.loweredSeconds, day.peak);
    else
        std::printf("bad\n");
    std::fflush(stdout);
}

int WatchPipe(int count)
{
    HANDLE pipe = OpenPipe(GENERIC_READ);
    if (pipe == nullptr)
        return 2;
    static uint8_t message[PIPE_MAX_MESSAGE];
    for (int i = 0; i < count; ++i) {
        if (!ReadExactly(pipe, message, PIPE_HEADER_SIZE))
            return 1;
        size_t size = message[0] | message[1] << 8 | message[2] << 16 | message[3] << 24;
        uint16_t kind = 0;
        if (size < PIPE_HEADER_SIZE || size > PIPE_MAX_MESSAGE ||
            !ReadExactly(pipe, message + PIPE_HEADER_SIZE, size - PIPE_HEADER_SIZE) ||
            CheckPipeFrame(message, size, size, kind) != PipeFrame::Complete) {
            std::puts("bad");
            return 1;
        }
        PrintMessage(kind, message, size);
    }
    CloseHandle(pipe);
    return 0;
}

// The server has closed the connection: nothing can be read or peeked any more.
bool Dropped(HANDLE pipe)
{
    DWORD available = 0;
    return !PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr);
}

int PrintDropped(HANDLE pipe)
{
    std::puts(Dropped(pipe) ? "dropped" : "open");
    return 0;
}

void WaitForEndOfInput()
{
    while (std::getchar() != EOF) {
    }
}

// Read until the server closes: what it sent first (history, status) is taken and thrown away.
int SendToPipe(const char* what)
{
    HANDLE pipe = OpenPipe(GENERIC_READ | GENERIC_WRITE);
    if (pipe == nullptr)
        return 2;
    uint8_t message[PIPE_MAX_MESSAGE / 128] = {};
    size_t size = 8;
    if (std::strcmp(what, "garbage") == 0) {
        std::memcpy(message, "\x10\0\0\0\x77\x77\x01\0garbage!", 16);
        size = 16;
    } else if (std::strcmp(what, "oversized") == 0) {
        std::memcpy(message, "\0\0\x10\0\x01\0\x01\0", 8);
    } else {
        PipeStatus status = {};
        status.throttleAt = 85;
        size = EncodePipeStatus(status, message, sizeof message);
    }
    DWORD written = 0;
    WriteFile(pipe, message, static_cast<DWORD>(size), &written, nullptr);
    for (int i = 0; i < 100 && !Dropped(pipe); ++i) {
        DWORD available = 0;
        PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr);
        DWORD n = 0;
        if (available > 0)
            ReadFile(pipe, message, sizeof message, &n, nullptr);
        else
            Sleep(100);
    }
    return PrintDropped(pipe);
}

int HoldPipe(bool half)
{
    HANDLE pipe = OpenPipe(half ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ);
    if (pipe == nullptr)
        return 2;
    DWORD written = 0;
    if (half)
        WriteFile(pipe, "\x10\0\0\0\x01", 5, &written, nullptr);
    std::puts("connected");
    std::fflush(stdout);
    WaitForEndOfInput();
    return PrintDropped(pipe);
}

int HoldMany(int count, int seconds)
{
    HANDLE pipes[64] = {};
    count = count < 64 ? count : 64;
    for (int i = 0; i < count; ++i)
        pipes[i] = OpenPipe(GENERIC_READ);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    int kept = 0;
    for (int i = 0; i < count; ++i)
        kept += pipes[i] != nullptr && !Dropped(pipes[i]) ? 1 : 0;
    std::printf("kept %d\n", kept);
    return 0;
}

int ComeAndGoMany(int count)
{
    ULONGLONG longest = 0;
    for (int i = 0; i < count; ++i) {
        const ULONGLONG start = GetTickCount64();
        while (GetTickCount64() - start < 10000) {
            HANDLE pipe =
                CreateFileW(PIPE_NAME, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (pipe != INVALID_HANDLE_VALUE) {
                CloseHandle(pipe);
                break;
            }
            if (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeW(PIPE_NAME, 100))
                Sleep(10);
        }
        const ULONGLONG waited = GetTickCount64() - start;
        longest = waited > longest ? waited : longest;
    }
    std::printf("cycled %d longest %llu\n", count, longest);
    return 0;
}

DWORD WINAPI ComeAndGo(void* stop)
{
    while (WaitForSingleObject(stop, 0) == WAIT_TIMEOUT) {
        HANDLE pipe = CreateFileW(PIPE_NAME, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE)
            CloseHandle(pipe);
    }
    return 0;
}

// Wine lets any process of the prefix add an instance beside the controller's: what a user of
// another account can do on Windows is to make the name while no instance of it exists.
int SquatPipe(int seconds)
{
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE churn = CreateThread(nullptr, 0, ComeAndGo, stop, 0, nullptr);
    bool squatted = false;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    while (!squatted && GetTickCount64() < end) {
        HANDLE pipe = CreateFileW(PIPE_NAME, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) {
            CloseHandle(pipe);
            continue;
        }
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
            continue;
        HANDLE made =
            CreateNamedPipeW(PIPE_NAME, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
        squatted = made != INVALID_HANDLE_VALUE;
        if (squatted)
            CloseHandle(made);
    }
    SetEvent(stop);
    WaitForSingleObject(churn, INFINITE);
    std::puts(squatted ? "squatted" : "nothing");
    return 0;
}

int RefusePipe(int seconds)
{
    HANDLE pipe = CreateNamedPipeW(PIPE_NAME, PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (pipe == INVALID_HANDLE_VALUE || ov.hEvent == nullptr)
        return 2;
    std::puts("serving");
    std::fflush(stdout);
    std::string times = "refused";
    ULONGLONG first = 0;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        const BOOL atOnce = ConnectNamedPipe(pipe, &ov);
        const DWORD error = atOnce ? ERROR_PIPE_CONNECTED : GetLastError();
        if (error == ERROR_IO_PENDING &&
            WaitForSingleObject(ov.hEvent, static_cast<DWORD>(end - now)) != WAIT_OBJECT_0) {
            CancelIo(pipe);
            break;
        }
        first = first != 0 ? first : GetTickCount64();
        char at[32];
        std::snprintf(at, sizeof at, " %.1f", (GetTickCount64() - first) / 1000.0);
        times += at;
        DisconnectNamedPipe(pipe);
    }
    std::puts(times.c_str());
    return 0;
}

bool SendStatus(HANDLE pipe, int32_t temperature)
{
    PipeStatus status = {temperature, 0, 0, 100, false, "", 85, false, 0, 0, 0, 0, 0, 0};
    uint8_t message[PIPE_MAX_MESSAGE / 128];
    DWORD size = static_cast<DWORD>(EncodePipeStatus(status, message, sizeof message)), written = 0;
    return WriteFile(pipe, message, size, &written, nullptr) && written == size;
}

// Makes the pipe, says "serving", and waits for the first viewer; null when either fails.
HANDLE ServeFirstViewer()
{
    HANDLE pipe =
        CreateNamedPipeW(pipeName, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return nullptr;
    std::puts("serving");
    std::fflush(stdout);
    if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
        CloseHandle(pipe);
        return nullptr;
    }
    return pipe;
}

// Defined with the day that ServeDay sends.
void FillDay(PipeDay& day);

int FloodPipe(int seconds, int32_t last, bool days)
{
    HANDLE pipe = ServeFirstViewer();
    if (pipe == nullptr)
        return 2;
    static PipeHistory history;
    static uint8_t message[PIPE_MAX_MESSAGE];
    DWORD written = 0;
    WriteFile(pipe, message,
              static_cast<DWORD>(EncodePipeHistory(history, message, sizeof message)), &written,
              nullptr);
    static PipeDay day;
    FillDay(day);
    const DWORD daySize = static_cast<DWORD>(EncodePipeDay(day, message, sizeof message));
    int sent = 0;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    while (GetTickCount64() < end &&
           (days ? WriteFile(pipe, message, daySize, &written, nullptr) != FALSE
                 : SendStatus(pipe, 40 + sent % 20)))
        ++sent;
    SendStatus(pipe, last);
    std::printf("flooded %d\n", sent);
    std::fflush(stdout);
    WaitForEndOfInput();
    return 0;
}

// Three hot stretches, 10 and 5 hours and an hour ago, of 5, 6 and 3 minutes.
void FillDay(PipeDay& day)
{
    day = {3, 14 * 60, 94, false, 0, {}};
    for (int ago = PIPE_DAY_CAPACITY - 1; ago >= 0; --ago) {
        const int hot =
            (ago >= 600 && ago < 605) || (ago >= 300 && ago < 306) || (ago >= 60 && ago < 63);
        const int wave = (ago % 360 < 180 ? ago % 360 : 360 - ago % 360) / 20;
        const int16_t low = static_cast<int16_t>(hot ? 86 : 46 + wave);
        const int16_t high = static_cast<int16_t>(hot ? 94 : low + 3);
        day.minutes[day.count++] = {
            static_cast<uint16_t>(ago), low, high,
            static_cast<uint8_t>(hot ? (ago >= 300 && ago < 306 ? 2 : 1) : 0),
            static_cast<uint8_t>(hot ? 3 : 1)};
    }
}

int ServeDay(int32_t temperature)
{
    HANDLE pipe = ServeFirstViewer();
    if (pipe == nullptr)
        return 2;
    static PipeHistory history;
    static PipeDay day;
    static uint8_t message[PIPE_MAX_MESSAGE];
    FillDay(day);
    DWORD written = 0;
    WriteFile(pipe, message,
              static_cast<DWORD>(EncodePipeHistory(history, message, sizeof message)), &written,
              nullptr);
    WriteFile(pipe, message, static_cast<DWORD>(EncodePipeDay(day, message, sizeof message)),
              &written, nullptr);
    SendStatus(pipe, temperature);
    WaitForEndOfInput();
    return 0;
}

// One hostile answer of a server that holds the name.
size_t HostileAnswer(const char* what, uint8_t* message, size_t room)
{
    static PipeHistory history;
    PipeStatus status = {47, 0, 0, 100, false, "", 85, false, 0, 0, 0, 0, 0, 0};
    if (std::strcmp(what, "garbage") == 0) {
        std::memset(message, 'A', 64);
        return 64;
    }
    if (std::strcmp(what, "oversized") == 0) {
        const uint8_t header[] = {0, 0, 0x10, 0, 1, 0, 1, 0};
        std::memcpy(message, header, sizeof header);
        return sizeof header;
    }
    if (std::strcmp(what, "range") == 0) {
        const size_t size = EncodePipeStatus(status, message, room);
        message[PIPE_HEADER_SIZE + 4] = 7; // the mode
        return size;
    }
    if (std::strcmp(what, "twohistories") == 0) {
        const size_t size = EncodePipeHistory(history, message, room);
        return size + EncodePipeHistory(history, message + size, room - size);
    }
    return 0;
}

// A history spoiled as what says ("version": of a later version, "checksum": one changed byte,
// "long": a byte more), served to the first reader of the kept history's pipe.
int AnswerKept(const char* what)
{
    static HistoryStore store;
    static uint8_t bytes[HISTORY_ENCODED_SIZE + 1];
    store.Clear();
    size_t size = EncodeHistory(store, bytes, sizeof bytes);
    if (std::strcmp(what, "version") == 0)
        bytes[4] = 2;
    else if (std::strcmp(what, "checksum") == 0)
        bytes[HISTORY_ENCODED_SIZE - 1] ^= 0x5A;
    else
        ++size;
    HANDLE pipe = ServeFirstViewer();
    if (pipe == nullptr)
        return 2;
    // Closed once read, as the controller closes it: the reader takes what came.
    DWORD written = 0;
    WriteFile(pipe, bytes, static_cast<DWORD>(size), &written, nullptr);
    FlushFileBuffers(pipe);
    CloseHandle(pipe);
    WaitForEndOfInput();
    return 0;
}

int AnswerPipe(const char* what)
{
    if (pipeName == PIPE_KEPT_NAME)
        return AnswerKept(what);
    HANDLE pipe = ServeFirstViewer();
    if (pipe == nullptr)
        return 2;
    if (std::strcmp(what, "close") != 0) {
        static uint8_t message[PIPE_MAX_MESSAGE];
        DWORD written = 0;
        const size_t size = HostileAnswer(what, message, sizeof message);
        if (size != 0)
            WriteFile(pipe, message, static_cast<DWORD>(size), &written, nullptr);
        WaitForEndOfInput();
    }
    CloseHandle(pipe);
    return 0;
}

int PokePipe(int argc, char** argv)
{
    if (argc > 3 && std::strcmp(argv[2], "kept") == 0) {
        pipeName = PIPE_KEPT_NAME;
        ++argv;
        --argc;
    }
    const char* verb = argv[2];
    if (std::strcmp(verb, "watch") == 0 && argc == 4)
        return WatchPipe(std::atoi(argv[3]));
    if (std::strcmp(verb, "send") == 0 && argc == 4)
        return SendToPipe(argv[3]);
    if (std::strcmp(verb, "half") == 0 || std::strcmp(verb, "noread") == 0)
        return HoldPipe(verb[0] == 'h');
    if (std::strcmp(verb, "many") == 0 && (argc == 4 || argc == 5))
        return HoldMany(std::atoi(argv[3]), argc == 5 ? std::atoi(argv[4]) : 2);
    if (std::strcmp(verb, "cycle") == 0 && argc == 4)
        return ComeAndGoMany(std::atoi(argv[3]));
    if (std::strcmp(verb, "squat") == 0 && argc == 4)
        return SquatPipe(std::atoi(argv[3]));
    if (std::strcmp(verb, "refuse") == 0 && argc == 4)
        return RefusePipe(std::atoi(argv[3]));
    if (std::strcmp(verb, "answer") == 0 && argc == 4)
        return AnswerPipe(argv[3]);
    if (std::strcmp(verb, "day") == 0 && argc == 4)
        return ServeDay(std::atoi(argv[3]));
    if (std::strcmp(verb, "flood") == 0 && (argc == 5 || argc == 6))
        return FloodPipe(std::atoi(argv[3]), std::atoi(argv[4]), argc == 6);
    return Usage();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    if (std::strcmp(argv[1], "ondesktop") == 0 && argc >= 4)
        return RunOnDesktop(argv[2], argc, argv);
    if (std::strcmp(argv[1], "desktop") == 0 && argc >= 4) {
        HDESK desktop = OpenOrMakeDesktop(argv[2]);
        if (desktop == nullptr || !SetThreadDesktop(desktop))
            return 2;
        argc -= 2;
        argv += 2;
    }
    if (std::strcmp(argv[1], "pipe") == 0 && argc >= 3)
        return PokePipe(argc, argv);
    const char* verb = argv[1];
    if (std::strcmp(verb, "store") == 0 && argc == 4)
        return ReplaceStoreLine(argv[2], argv[3]);
    if (std::strcmp(verb, "volatile-key") == 0 && argc == 3)
        return CreateVolatileKey(argv[2]);
    if (std::strcmp(verb, "odd-names") == 0 && (argc == 4 || argc == 5))
        return WriteOddNames(argv[2], argv[3], argc == 5 && std::strcmp(argv[4], "clear") == 0);
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
