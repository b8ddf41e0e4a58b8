// The hidden window's life under Wine: Run's failure exits, the orderly shutdown that the
// console handler and the end of the session trigger, and what later starts may ask of it.
#include "roles/ConsoleShutdown.h"
#include "app/commands/EndRunning.h"
#include "app/RunningInstance.h"
#include "roles/service/ServiceRecovery.h"
#include "base/ProtectedDirectory.h"
#include "base/LocalClock.h"
#include "base/TimeText.h"
#include "link/PipeSecurity.h"
#include "roles/service/ServiceStatus.h"
#include "roles/TrayRole.h"
#include "roles/WindowProcedure.h"
#include "fakes/FakeControl.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace
{

HINSTANCE ThisModule()
{
    return GetModuleHandleA(nullptr);
}

LRESULT CALLBACK RefuseWindowCreation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND)
        return 1;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        if (condition())
            return true;
        Sleep(20);
    }
    return condition();
}

// Runs an action on a second thread while the test thread sits in Run's message loop.
class Outsider
{
  public:
    explicit Outsider(std::function<void()> action) : action_(std::move(action))
    {
        thread_ = CreateThread(nullptr, 0, Body, this, 0, nullptr);
    }
    ~Outsider()
    {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }

  private:
    static DWORD WINAPI Body(void* self)
    {
        static_cast<Outsider*>(self)->action_();
        return 0;
    }
    std::function<void()> action_;
    HANDLE thread_;
};

class Lifetime : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(fakes.Begin(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fakes.WritePowerStore(std::string("active ") + kBalancedScheme + "\nscheme " +
                              kBalancedScheme + " 100 60\n");
        fakes.WritePdhScript("3632\n");
    }
    void TearDown() override { fakes.End(); }

    // 90 °C: the fourth reading caps the user's 100 % at 99 %, about six seconds in.
    bool Capped() { return fakes.AcValue(kBalancedScheme) == 99; }
    // The first reading is taken; the window exists before the watcher starts.
    bool Watching() { return !fakes.TraceOf("PdhCollectQueryData").empty(); }

    FakePlatform fakes;
};

} // namespace

TEST_F(Lifetime, RunFailsWithoutStartingAnythingWhenTheClassExists)
{
    WNDCLASSEXA taken = {};
    taken.cbSize = sizeof taken;
    taken.lpfnWndProc = DefWindowProcA;
    taken.hInstance = ThisModule();
    taken.lpszClassName = "Ambrel";
    ASSERT_NE(0, RegisterClassExA(&taken));

    TrayRole app{};
    EXPECT_EQ(-1, ::RunTray(app, ThisModule()));
    EXPECT_FALSE(app.controller.WatchRunning());
    EXPECT_EQ(nullptr, app.messageWindow.hwnd.load());
    EXPECT_TRUE(fakes.Trace().empty());
}

TEST_F(Lifetime, RunFailsWithoutStartingAnythingWhenTheWindowCannotBeMade)
{
    HHOOK hook = SetWindowsHookExA(WH_CBT, RefuseWindowCreation, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    TrayRole app{};
    EXPECT_EQ(-1, ::RunTray(app, ThisModule()));
    UnhookWindowsHookEx(hook);
    EXPECT_FALSE(app.controller.WatchRunning());
    EXPECT_EQ(nullptr, app.messageWindow.hwnd.load());
    EXPECT_TRUE(fakes.Trace().empty());
}

// Ctrl+C, Ctrl+Break or closing the console: the handler asks the main thread to shut down and
// holds the process until the user's value is back.
TEST_F(Lifetime, ConsoleControlRunsTheOrderlyShutdown)
{
    TrayRole app{};
    InstallConsoleShutdown();
    EXPECT_FALSE(ConsoleShutdownHandler(CTRL_LOGOFF_EVENT));

    BOOL handled = FALSE;
    int valueWhenHandled = -1;
    int result;
    {
        Outsider console([&] {
            ASSERT_TRUE(WaitUntil([&] { return Capped(); }, 30000));
            handled = ConsoleShutdownHandler(CTRL_C_EVENT);
            valueWhenHandled = fakes.AcValue(kBalancedScheme);
        });
        result = ::RunTray(app, ThisModule());
        app.controller.Release();
        app.presenter.Icon().ReleaseTrayIcon();
        ConsoleShutdownComplete();
    }
    EXPECT_EQ(0, result);
    EXPECT_TRUE(handled);
    EXPECT_EQ(100, valueWhenHandled);
    EXPECT_EQ((std::vector<int>{99, 100}), fakes.AcWrites());
}

// At log-off the process is ended right after WM_ENDSESSION: the value must be back before the
// message returns, and nothing may be written after it.
TEST_F(Lifetime, EndOfSessionWritesTheValueBackBeforeTheMessageReturns)
{
    TrayRole app{};
    int valueAfterCancelledEnd = -1;
    int valueAfterEnd = -1;
    int result;
    {
        Outsider session([&] {
            ASSERT_TRUE(WaitUntil([&] { return Capped(); }, 30000));
            HWND window = app.messageWindow.hwnd.load();
            SendMessageA(window, WM_ENDSESSION, FALSE, 0);
            valueAfterCancelledEnd = fakes.AcValue(kBalancedScheme);
            SendMessageA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
            valueAfterEnd = fakes.AcValue(kBalancedScheme);
            PostMessageA(window, WM_CLOSE, 0, 0);
        });
        result = ::RunTray(app, ThisModule());
        app.controller.Release();
        app.presenter.Icon().ReleaseTrayIcon();
    }
    EXPECT_EQ(0, result);
    EXPECT_EQ(99, valueAfterCancelledEnd);
    EXPECT_EQ(100, valueAfterEnd);
    EXPECT_EQ((std::vector<int>{99, 100}), fakes.AcWrites());
}

// The test program's own window of the class is another program's: neither found nor asked to
// end. The request of a second start, whatever it carries, only ever opens the history window.
TEST_F(Lifetime, OnlyAnAmbrelExeIsAskedAndASecondStartOnlyOpensTheHistory)
{
    TrayRole app{};
    HWND found = nullptr;
    DWORD processId = 0;
    InstanceSearch search = InstanceSearch::Found;
    int ended = -1;
    bool open[2] = {false, false};
    int result;
    {
        Outsider start([&] {
            ASSERT_TRUE(WaitUntil([&] { return Watching(); }));
            search = FindRunningInstance(found, processId);
            ended = EndRunningInstance(100);
            HWND window = app.messageWindow.hwnd.load();
            SendMessageA(window, ShowHistoryMessage(), 0, 0);
            open[0] = app.presenter.HistoryOpen();
            SendMessageA(window, ShowHistoryMessage(), static_cast<WPARAM>(-1), -1);
            SendMessageA(window, ShowHistoryMessage(), HISTORY_CLOSE_KEY, 0);
            open[1] = app.presenter.HistoryOpen();
            PostMessageA(window, WM_CLOSE, 0, 0);
        });
        result = ::RunTray(app, ThisModule());
        app.controller.Release();
        app.presenter.Icon().ReleaseTrayIcon();
    }
    EXPECT_EQ(0, result);
    EXPECT_EQ(InstanceSearch::None, search);
    EXPECT_EQ(nullptr, found);
    EXPECT_EQ(END_RUNNING_DONE, ended);
    EXPECT_TRUE(open[0]);
    EXPECT_TRUE(open[1]);
}

TEST(RunningInstance, OnlyAProgramNamedAmbrelExeCounts)
{
    const struct {
        const wchar_t* path;
        bool ambrel;
    } rows[] = {
        {L"C:\\Program Files\\Ambrel\\Ambrel.exe", true},
        {L"Z:\\work\\AMBREL.EXE", true},
        {L"C:/tools/aMbReL.ExE", true},
        {L"ambrel.exe", true},
        {L"C:\\Ambrel.exe\\poke.exe", false},
        {L"C:\\x\\Ambrel.exe.bak", false},
        {L"C:\\x\\NotAmbrel.exe", false},
        {L"C:\\x\\Ambrel.ex", false},
        {L"C:\\x\\Ambrel .exe", false},
        {L"C:\\x\\Ambr\u0117l.exe", false},
        {L"C:\\Ambrel.exe\\", false},
        {L"", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.ambrel, IsAmbrelImagePath(row.path)) << static_cast<int>(&row - rows);
}

// The service manager as the recovery code meets it: what a query answers, and what was set.
struct FakeServiceConfig {
    BOOL answered;
    DWORD error;
    DWORD configured;
    BOOL changeSucceeds;
    int changes;
    DWORD reset;
    std::vector<SC_ACTION> actions;
};
FakeServiceConfig g_config;

BOOL WINAPI FakeQuery(SC_HANDLE, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed)
{
    EXPECT_EQ(static_cast<DWORD>(SERVICE_CONFIG_FAILURE_ACTIONS), level);
    SetLastError(g_config.error);
    *needed = g_config.answered ? sizeof(SERVICE_FAILURE_ACTIONSW) : 4096;
    if (g_config.answered && size >= sizeof(SERVICE_FAILURE_ACTIONSW)) {
        SERVICE_FAILURE_ACTIONSW* found = reinterpret_cast<SERVICE_FAILURE_ACTIONSW*>(buffer);
        *found = SERVICE_FAILURE_ACTIONSW{};
        // 1: an action; 2: a reset period alone; 3: a command alone.
        found->cActions = g_config.configured == 1 ? 1 : 0;
        found->dwResetPeriod = g_config.configured == 2 ? 86400 : 0;
        found->lpCommand = const_cast<LPWSTR>(g_config.configured == 3 ? L"notify.cmd" : L"");
    }
    return g_config.answered;
}

BOOL WINAPI FakeChange(SC_HANDLE, DWORD level, LPVOID info)
{
    EXPECT_EQ(static_cast<DWORD>(SERVICE_CONFIG_FAILURE_ACTIONS), level);
    const SERVICE_FAILURE_ACTIONSW* failure = static_cast<SERVICE_FAILURE_ACTIONSW*>(info);
    ++g_config.changes;
    g_config.reset = failure->dwResetPeriod;
    g_config.actions.assign(failure->lpsaActions, failure->lpsaActions + failure->cActions);
    SetLastError(ERROR_ACCESS_DENIED);
    return g_config.changeSucceeds;
}

// Restarts only where the service has no failure actions: an administrator's own (or the
// installer's), and any that cannot be read, are left alone.
TEST(ServiceRecovery, RestartsTwiceThenNothingAndOnlyWhereNoneAreConfigured)
{
    const ServiceConfigCalls calls = {FakeQuery, FakeChange};
    struct Row {
        BOOL answered;
        DWORD error;
        DWORD configured;
        BOOL changeSucceeds;
        RecoveryOutcome outcome;
    } rows[] = {
        {TRUE, 0, 0, TRUE, RECOVERY_SET},
        {TRUE, 0, 0, FALSE, RECOVERY_FAILED},
        {TRUE, 0, 1, TRUE, RECOVERY_KEPT},
        {TRUE, 0, 2, TRUE, RECOVERY_KEPT},
        {TRUE, 0, 3, TRUE, RECOVERY_KEPT},
        {FALSE, ERROR_INSUFFICIENT_BUFFER, 0, TRUE, RECOVERY_KEPT},
        {FALSE, ERROR_INVALID_LEVEL, 0, TRUE, RECOVERY_UNREAD},
        {FALSE, ERROR_ACCESS_DENIED, 0, TRUE, RECOVERY_UNREAD},
    };
    for (const Row& row : rows) {
        g_config = FakeServiceConfig{
            row.answered, row.error, row.configured, row.changeSucceeds, 0, 0, {}};
        EXPECT_EQ(row.outcome, SetRecoveryWhereNone(nullptr, calls)) << row.error << row.configured;
        const bool changed = row.outcome == RECOVERY_SET || row.outcome == RECOVERY_FAILED;
        ASSERT_EQ(changed ? 1 : 0, g_config.changes) << row.error << row.configured;
        if (!changed)
            continue;
        // Beyond the list the manager repeats the last action: it must be none.
        ASSERT_EQ(3u, g_config.actions.size());
        EXPECT_EQ(SC_ACTION_RESTART, g_config.actions[0].Type);
        EXPECT_EQ(SC_ACTION_RESTART, g_config.actions[1].Type);
        EXPECT_EQ(SC_ACTION_NONE, g_config.actions[2].Type);
        EXPECT_EQ(5000u, g_config.actions[0].Delay);
        EXPECT_EQ(5000u, g_config.actions[1].Delay);
        EXPECT_EQ(86400u, g_config.reset);
    }
}

// What ProtectDirectory makes, and what it refuses to take as the service's own directory.
TEST(ProtectedDirectory, MadeOnceTakenAgainAndAnyoneElsesOrALinkRefused)
{
    char base[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(sizeof base, base));
    const std::string root =
        std::string(base) + "ambrel-protected-" + std::to_string(GetCurrentProcessId());
    const std::string made = root + "-made", open = root + "-open", link = root + "-link",
                      file = root + "-file";
    // Made, then found again as it was left.
    EXPECT_EQ(DIRECTORY_PROTECTED, ProtectDirectory(made.c_str()));
    EXPECT_EQ(DIRECTORY_PROTECTED, ProtectDirectory(made.c_str()));
    // Made by someone else, then opened for everyone to change.
    PSECURITY_DESCRIPTOR everyone = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:P(A;OICI;FA;;;WD)", SDDL_REVISION_1, &everyone, nullptr));
    ASSERT_TRUE(CreateDirectoryA(open.c_str(), nullptr));
    EXPECT_EQ(DIRECTORY_PROTECTED, ProtectDirectory(open.c_str()));
    ASSERT_TRUE(SetFileSecurityA(open.c_str(), DACL_SECURITY_INFORMATION, everyone));
    LocalFree(everyone);
    EXPECT_EQ(DIRECTORY_REFUSED, ProtectDirectory(open.c_str()));
    // A link to the directory made above is never followed (Wine 8 shows links to directories
    // as the directories themselves: there the case is left out).
    ASSERT_TRUE(CreateSymbolicLinkA(link.c_str(), made.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY));
    const DWORD linkAttributes = GetFileAttributesA(link.c_str());
    if (linkAttributes != INVALID_FILE_ATTRIBUTES &&
        (linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        EXPECT_EQ(DIRECTORY_REFUSED, ProtectDirectory(link.c_str()));
    }
    HANDLE plain = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, plain);
    CloseHandle(plain);
    EXPECT_EQ(DIRECTORY_REFUSED, ProtectDirectory(file.c_str()));
    // A parent that is not there.
    EXPECT_EQ(DIRECTORY_FAILED, ProtectDirectory((root + "-none\\below").c_str()));
    RemoveDirectoryA(link.c_str());
    DeleteFileA(link.c_str());
    DeleteFileA(file.c_str());
    RemoveDirectoryA(open.c_str());
    RemoveDirectoryA(made.c_str());
}

// A service manager whose dispatcher runs the handler under its own lock and takes that lock to
// take SERVICE_STOPPED, as Wine's does: a stop that comes while the last report goes out runs
// the handler there and then, which must answer at once and report nothing after it.
struct StoppingManager {
    ServiceStatus* status;
    std::vector<DWORD> reports;
    bool handlerReturned;
    HANDLE handler;
};
StoppingManager g_manager;

BOOL WINAPI StopDuringTheLastReport(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS status)
{
    g_manager.reports.push_back(status->dwCurrentState);
    if (status->dwCurrentState != SERVICE_STOPPED || g_manager.handler != nullptr)
        return TRUE;
    g_manager.handler = CreateThread(
        nullptr, 0, [](void*) -> DWORD { return g_manager.status->RequestStop(), 0; }, nullptr, 0,
        nullptr);
    g_manager.handlerReturned = WaitForSingleObject(g_manager.handler, 5000) == WAIT_OBJECT_0;
    return TRUE;
}

// Built from the SIDs, the pipe's access list says what its SDDL says.
TEST(PipeSecurity, FullForSystemAdministratorsAndTheAccountAndReadForInteractiveUsers)
{
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    alignas(TOKEN_USER) BYTE user[256];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &size));
    CloseHandle(token);
    wchar_t* account = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &account));
    const std::wstring expected =
        std::wstring(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;") + account + L")(A;;GR;;;IU)";
    LocalFree(account);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(MakePipeSecurity(descriptor));
    wchar_t* text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(
        descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
    EXPECT_EQ(expected, std::wstring(text));
    LocalFree(text);
    LocalFree(descriptor);
}

// Another process reads the state by WM_GETTEXT into a buffer of the size it names; the window
// has no caption of its own.
TEST(WindowProcedure, TheStateIsAnsweredWithinTheCallersBufferAndIsNoCaption)
{
    WNDCLASSEXA type = {};
    type.cbSize = sizeof type;
    type.lpfnWndProc = WindowProcedure;
    type.hInstance = ThisModule();
    type.lpszClassName = "AmbrelTextTest";
    ASSERT_NE(0, RegisterClassExA(&type));
    MessageWindow record{};
    HWND window = CreateWindowExA(0, "AmbrelTextTest", nullptr, 0, 0, 0, 0, 0, nullptr, nullptr,
                                  ThisModule(), &record);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(0, SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));

    // The window is an ANSI one: its text comes in the ANSI code page, converted for a Unicode
    // caller, and is cut to the caller's buffer.
    record.text = L"Ambrel \u2014 50 \u00b0C";
    char whole[64] = "";
    ASSERT_NE(0, WideCharToMultiByte(CP_ACP, 0, record.text, -1, whole, 64, nullptr, nullptr));
    const LRESULT length = static_cast<LRESULT>(strlen(whole));
    struct {
        WPARAM size;
        LRESULT copied;
        const char* text;
    } const cases[] = {{64, length, whole},
                       {WPARAM(length) + 1, length, whole},
                       {5, 4, "Ambr"},
                       {1, 0, ""},
                       {0, 0, "untouched"}};
    for (const auto& c : cases) {
        char buffer[64] = "untouched";
        EXPECT_EQ(c.copied, SendMessageA(window, WM_GETTEXT, c.size, LPARAM(buffer))) << c.size;
        EXPECT_STREQ(c.text, buffer) << c.size;
    }
    EXPECT_EQ(0, SendMessageA(window, WM_GETTEXT, 64, 0));
    EXPECT_EQ(length, SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
    wchar_t wide[64] = L"";
    EXPECT_EQ(14, SendMessageW(window, WM_GETTEXT, 64, LPARAM(wide)));
    EXPECT_STREQ(record.text, wide);
    wchar_t caption[64] = L"untouched";
    EXPECT_EQ(0, InternalGetWindowText(window, caption, 64));
    EXPECT_STREQ(L"", caption);
    DestroyWindow(window);
    UnregisterClassA("AmbrelTextTest", ThisModule());
}

// The tooltip's and the status's times: the locale's, without seconds; a buffer too small for it
// gets as much of HH:MM as fits.
TEST(ShortTimeText, TheLocalesTimeWithoutSecondsOrHoursAndMinutesCut)
{
    const SYSTEMTIME at = {2026, 12, 2, 8, 9, 5, 37, 0};
    wchar_t text[64] = L"";
    ShortTimeText(at, text, 64);
    EXPECT_NE(nullptr, wcsstr(text, L"05")) << text;
    EXPECT_EQ(nullptr, wcsstr(text, L"37")) << text;
    ShortTimeText(at, text, 3);
    EXPECT_STREQ(L"09", text);
    ShortTimeText(at, text, 0);
    EXPECT_STREQ(L"09", text);
}

// The end of a pause, named in local time: under the rules of the moment it ends, so that a pause
// across a change to or from summer time names the clock the user will see then.
TEST(LocalTimeAfter, TheClockOfTheEndAcrossADaylightSavingChange)
{
    // Central European time: UTC+1, UTC+2 from the last Sunday of March, 2:00, to the last
    // Sunday of October, 3:00.
    TIME_ZONE_INFORMATION zone = {};
    zone.Bias = -60;
    zone.StandardDate = {0, 10, 0, 5, 3, 0, 0, 0};
    zone.DaylightDate = {0, 3, 0, 5, 2, 0, 0, 0};
    zone.DaylightBias = -60;
    const struct Row {
        SYSTEMTIME utcNow;
        uint32_t seconds;
        WORD day, hour, minute;
    } rows[] = {
        {{2026, 3, 0, 29, 0, 30, 0, 0}, 3600, 29, 3, 30},     // 01:30 + 1 h: 03:30 summer time
        {{2026, 10, 0, 25, 0, 30, 0, 0}, 3600, 25, 2, 30},    // 02:30 + 1 h: 02:30 winter time
        {{2026, 7, 3, 1, 10, 0, 0, 0}, 7200, 1, 14, 0},       // within summer time
        {{2026, 1, 4, 15, 23, 30, 0, 0}, 1800, 16, 1, 0},     // past midnight
        {{2026, 3, 0, 28, 23, 0, 0, 0}, 120 * 3600, 3, 1, 0}, // 120 h, to April 3rd
    };
    for (const Row& row : rows) {
        FILETIME now = {};
        ASSERT_TRUE(SystemTimeToFileTime(&row.utcNow, &now));
        SYSTEMTIME local = {};
        ASSERT_TRUE(LocalTimeAfter(now, row.seconds, &zone, local));
        EXPECT_EQ((std::vector<WORD>{row.day, row.hour, row.minute}),
                  (std::vector<WORD>{local.wDay, local.wHour, local.wMinute}))
            << row.utcNow.wMonth << "/" << row.utcNow.wDay << " +" << row.seconds;
    }
}

TEST(ServiceStatus, AStopDuringTheLastReportIsAnsweredAndReportsNothingAfterIt)
{
    ServiceStatus status = {};
    status.send = StopDuringTheLastReport;
    g_manager = {&status, {}, false, nullptr};
    ASSERT_TRUE(status.Open());
    status.Running();
    status.Stopped(NO_ERROR, 0);
    ASSERT_NE(nullptr, g_manager.handler);
    WaitForSingleObject(g_manager.handler, INFINITE);
    CloseHandle(g_manager.handler);
    status.Release();
    EXPECT_TRUE(g_manager.handlerReturned);
    EXPECT_EQ((std::vector<DWORD>{SERVICE_RUNNING, SERVICE_STOPPED}), g_manager.reports);
    EXPECT_TRUE(status.StopRequested());
}
