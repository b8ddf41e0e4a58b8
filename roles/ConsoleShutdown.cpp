#include "roles/ConsoleShutdown.h"

#include "base/Log.h"

#include <atomic>

namespace
{

// The platform ends the process about five seconds after a console close; the shutdown must
// be done well within that.
const DWORD kShutdownWaitMs = 4500;

// Static storage: valid for as long as the process runs, entry function or not.
std::atomic<HWND> g_window;
HANDLE g_shutdownComplete;

} // namespace

BOOL WINAPI ConsoleShutdownHandler(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    HWND window = g_window.load();
    if (window != nullptr) {
        LogPrint("console control %lu: shutting down\n", event);
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    // A shutdown already under way is waited for; after it the event is set and this returns
    // at once.
    WaitForSingleObject(g_shutdownComplete, kShutdownWaitMs);
    return TRUE;
}

void InstallConsoleShutdown()
{
    if (g_shutdownComplete == nullptr)
        g_shutdownComplete = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(ConsoleShutdownHandler, TRUE);
}

void SetConsoleShutdownWindow(HWND window)
{
    g_window.store(window);
}

void ConsoleShutdownComplete()
{
    g_window.store(nullptr);
    if (g_shutdownComplete != nullptr)
        SetEvent(g_shutdownComplete);
}
