#include "app/ConsoleShutdown.h"

#include "app/Log.h"
#include "app/MessageWindow.h"

#include <windows.h>

#include <atomic>

namespace
{

// The platform ends the process about five seconds after a console close; the shutdown must
// be done well within that.
const DWORD kShutdownWaitMs = 4500;

std::atomic<const MessageWindow*> g_record;
HANDLE g_shutdownComplete;

} // namespace

BOOL WINAPI ConsoleShutdownHandler(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    LogPrint("console control %lu: shutting down\n", event);
    const MessageWindow* record = g_record.load();
    HWND window = record != nullptr ? record->hwnd.load() : nullptr;
    if (window != nullptr)
        PostMessageA(window, WM_CLOSE, 0, 0);
    WaitForSingleObject(g_shutdownComplete, kShutdownWaitMs);
    return TRUE;
}

void InstallConsoleShutdown(const MessageWindow& record)
{
    g_record.store(&record);
    if (g_shutdownComplete == nullptr)
        g_shutdownComplete = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(ConsoleShutdownHandler, TRUE);
}

void ConsoleShutdownComplete()
{
    g_record.store(nullptr);
    if (g_shutdownComplete != nullptr)
        SetEvent(g_shutdownComplete);
}
