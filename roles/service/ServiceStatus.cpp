#include "roles/service/ServiceStatus.h"

#include "base/Log.h"

namespace
{

// Time enough for the start (the guard, the hidden window, the worker) and for the stop (the
// worker's last reading and every value given back, each write flushed first).
const DWORD START_WAIT_HINT_MS = 10000;
const DWORD STOP_WAIT_HINT_MS = 20000;

const DWORD ACCEPTED_CONTROLS =
    SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN;

} // namespace

bool ServiceStatus::Open()
{
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stopEvent == nullptr)
        return false;
    InitializeCriticalSection(&lock);
    lockMade = true;
    return true;
}

bool ServiceStatus::Start(LPHANDLER_FUNCTION_EX handler)
{
    if (!Open())
        return false;
    handle = RegisterServiceCtrlHandlerExW(SERVICE_NAME, handler, this);
    if (handle == nullptr) {
        LogPrint("service: RegisterServiceCtrlHandlerExW = %lu\n", GetLastError());
        Release();
        return false;
    }
    return true;
}

void ServiceStatus::Release()
{
    if (lockMade) {
        DeleteCriticalSection(&lock);
        lockMade = false;
    }
    if (stopEvent != nullptr) {
        CloseHandle(stopEvent);
        stopEvent = nullptr;
    }
    handle = nullptr;
}

void ServiceStatus::Report(DWORD newState, DWORD waitHint, DWORD win32Code, DWORD serviceCode)
{
    EnterCriticalSection(&lock);
    if (!stopped)
        Send(newState, waitHint, win32Code, serviceCode);
    LeaveCriticalSection(&lock);
}

// Under the lock, or once stopped is set, when no other report can go out any more.
void ServiceStatus::Send(DWORD newState, DWORD waitHint, DWORD win32Code, DWORD serviceCode)
{
    const bool pending = newState == SERVICE_START_PENDING || newState == SERVICE_STOP_PENDING;
    checkPoint = !pending ? 0 : newState == state ? checkPoint + 1 : 1;
    state = newState;
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = newState;
    status.dwControlsAccepted = newState == SERVICE_RUNNING ? ACCEPTED_CONTROLS : 0;
    status.dwWin32ExitCode = win32Code;
    status.dwServiceSpecificExitCode = serviceCode;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = waitHint;
    if (!(send != nullptr ? send : SetServiceStatus)(handle, &status))
        LogPrint("service: SetServiceStatus(%lu) = %lu\n", newState, GetLastError());
}

void ServiceStatus::StartPending()
{
    Report(SERVICE_START_PENDING, START_WAIT_HINT_MS, NO_ERROR, 0);
}

void ServiceStatus::StopPending()
{
    Report(SERVICE_STOP_PENDING, STOP_WAIT_HINT_MS, NO_ERROR, 0);
}

void ServiceStatus::Running()
{
    // Checked and reported under the lock that RequestStop reports under: either the stop
    // comes after this report, or this reports the stop.
    EnterCriticalSection(&lock);
    if (stopping.load())
        StopPending();
    else
        Report(SERVICE_RUNNING, 0, NO_ERROR, 0);
    LeaveCriticalSection(&lock);
    if (stopping.load())
        CloseWindow();
}

void ServiceStatus::RequestStop()
{
    EnterCriticalSection(&lock);
    stopping.store(true);
    StopPending();
    LeaveCriticalSection(&lock);
    SetEvent(stopEvent);
    CloseWindow();
}

bool ServiceStatus::StopRequested() const
{
    return stopping.load();
}

bool ServiceStatus::WaitForStop(DWORD milliseconds) const
{
    return WaitForSingleObject(stopEvent, milliseconds) == WAIT_OBJECT_0;
}

void ServiceStatus::Stopped(DWORD win32Code, DWORD serviceCode)
{
    EnterCriticalSection(&lock);
    stopped = true;
    LeaveCriticalSection(&lock);
    Send(SERVICE_STOPPED, 0, win32Code, serviceCode);
}

void ServiceStatus::CloseWindow() const
{
    HWND hwnd = window != nullptr ? window->hwnd.load() : nullptr;
    if (hwnd != nullptr)
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
}

bool ServiceStatus::PostToWindow(UINT message, WPARAM wParam) const
{
    HWND hwnd = window != nullptr ? window->hwnd.load() : nullptr;
    if (hwnd != nullptr && PostMessageW(hwnd, message, wParam, 0))
        return true;
    LogPrint("service: no window for message %u\n", message);
    return false;
}
