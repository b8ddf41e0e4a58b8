// The hidden window's life under Wine: Run's failure exits, the orderly shutdown that the
// console handler and the end of the session trigger, and what later starts may ask of it.
#include "app/ConsoleShutdown.h"
#include "app/EndRunning.h"
#include "app/Run.h"
#include "app/RunningInstance.h"
#include "app/ServiceStatus.h"
#include "app/TrayApp.h"
#include "fakes/FakeControl.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
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

    TrayApp app{};
    EXPECT_EQ(-1, ::Run(app, ThisModule()));
    EXPECT_EQ(nullptr, app.tempWatch.thread);
    EXPECT_EQ(nullptr, app.messageWindow.hwnd.load());
    EXPECT_TRUE(fakes.Trace().empty());
}

TEST_F(Lifetime, RunFailsWithoutStartingAnythingWhenTheWindowCannotBeMade)
{
    HHOOK hook = SetWindowsHookExA(WH_CBT, RefuseWindowCreation, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    TrayApp app{};
    EXPECT_EQ(-1, ::Run(app, ThisModule()));
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(nullptr, app.tempWatch.thread);
    EXPECT_EQ(nullptr, app.messageWindow.hwnd.load());
    EXPECT_TRUE(fakes.Trace().empty());
}

// Ctrl+C, Ctrl+Break or closing the console: the handler asks the main thread to shut down and
// holds the process until the user's value is back.
TEST_F(Lifetime, ConsoleControlRunsTheOrderlyShutdown)
{
    TrayApp app{};
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
        result = ::Run(app, ThisModule());
        app.tempWatch.Close();
        app.trayIcon.ReleaseTrayIcon();
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
    TrayApp app{};
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
        result = ::Run(app, ThisModule());
        app.tempWatch.Close();
        app.trayIcon.ReleaseTrayIcon();
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
    TrayApp app{};
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
            open[0] = app.history.open != nullptr;
            SendMessageA(window, ShowHistoryMessage(), static_cast<WPARAM>(-1), -1);
            SendMessageA(window, ShowHistoryMessage(), HISTORY_CLOSE_KEY, 0);
            open[1] = app.history.open != nullptr;
            PostMessageA(window, WM_CLOSE, 0, 0);
        });
        result = ::Run(app, ThisModule());
        app.tempWatch.Close();
        app.trayIcon.ReleaseTrayIcon();
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
