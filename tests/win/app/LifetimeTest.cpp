// The hidden window's life under Wine: Run's failure exits, and the orderly shutdown that the
// console handler and the end of the session trigger.
#include "app/ConsoleShutdown.h"
#include "app/Run.h"
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
