// The service's state as the Service Control Manager sees it, and the stop that it asks for.
// The control handler runs on the dispatcher's thread, the service itself on the thread of its
// ServiceMain: a stop is one event, the window to close one atomic word (MessageWindow::hwnd), and
// every report but the last goes out under one lock, so that the manager never sees the service
// running again once it has been told that it stops. The last report, SERVICE_STOPPED, goes out
// after the lock: the dispatcher may run the handler under a lock of its own that this report
// takes (Wine's does), and a handler waiting here for a report waiting there would wait for good.
//
// Plain holder: zero-initialised it is idle; Start makes the event and the lock (Open) and
// registers the handler, Release undoes what Start made (the status handle is the manager's and is
// never closed).
#pragma once

#include "base/MessageWindow.h"

#include <windows.h>

#include <atomic>

// Posted by the control handler to the service's window for a pause control: wParam the minutes,
// 0 to end the pause.
const UINT WM_SERVICEPAUSE = WM_USER + 40;

// The service's name in the Service Control Manager (sc, net start, the installer).
const wchar_t SERVICE_NAME[] = L"Ambrel";

typedef BOOL(WINAPI* ServiceStatusSender)(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS);

class ServiceStatus
{
  public:
    // Zero when not registered.
    SERVICE_STATUS_HANDLE handle;
    // Null when not made; signalled once a stop, shutdown or pre-shutdown has come.
    HANDLE stopEvent;
    // The controller's hidden window, closed when the stop comes; set by the owner.
    MessageWindow* window;
    // What hands a report to the manager; SetServiceStatus when null.
    ServiceStatusSender send;

    // Opens, then registers handler (whose context is this object); false, with nothing left to
    // release, when the event or the registration fails.
    bool Start(LPHANDLER_FUNCTION_EX handler);
    // The stop event and the lock, without a handler: what Start makes before it registers.
    bool Open();
    void Release();

    // SERVICE_START_PENDING, then SERVICE_STOP_PENDING: each report of the same state carries a
    // higher checkpoint and the wait hint of that state.
    void StartPending();
    void StopPending();
    // SERVICE_RUNNING, accepting stop, shutdown and pre-shutdown; once a stop has been asked for
    // it reports stop pending instead and closes the window (which may have been made after the
    // stop came).
    void Running();
    // Control handler: a stop, shutdown or pre-shutdown. Reports stop pending, signals the event
    // and closes the window, whose orderly end gives every value back.
    void RequestStop();
    bool StopRequested() const;
    // Control handler: hands a message to the service's window; false, with a log line, where
    // there is none (not made yet, or the service waits while a tray controls the machine).
    bool PostToWindow(UINT message, WPARAM wParam) const;
    // Waits up to milliseconds for a stop; true when one has come.
    bool WaitForStop(DWORD milliseconds) const;
    // SERVICE_STOPPED with the exit code (NO_ERROR, or ERROR_SERVICE_SPECIFIC_ERROR and the
    // service's own code); no report goes out after it, a stop that comes meanwhile included.
    void Stopped(DWORD win32Code, DWORD serviceCode);

  private:
    CRITICAL_SECTION lock;
    bool lockMade;
    DWORD state;
    DWORD checkPoint;
    std::atomic<bool> stopping;
    // SERVICE_STOPPED is being or has been reported; set under the lock.
    bool stopped;

    void Report(DWORD newState, DWORD waitHint, DWORD win32Code, DWORD serviceCode);
    void Send(DWORD newState, DWORD waitHint, DWORD win32Code, DWORD serviceCode);
    void CloseWindow() const;
};
