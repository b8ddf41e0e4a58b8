// A viewer's end of the status pipe: on a thread of its own it connects to \\.\pipe\Ambrel
// (read only), believes it only where the Ambrel service or an Ambrel of this session serves it
// (PipeServerCheck), checks every message that arrives
// (a history only as the first of a connection, a day at any time), and hands each good one to the
// window of a MessageWindow record as a posted message whose lParam owns a copy of it (the window's
// handler deletes it); of statuses that come faster than one each PIPE_STATUS_INTERVAL_MS only the
// newest is handed over, so that a flood costs the window nothing. When the pipe is missing,
// goes away or sends garbage, the window gets WM_PIPELOST, and the thread tries again after
// PIPE_RETRY_MS; after a connection that brought no good message (garbage, or a server that
// refuses the viewer) the wait doubles, up to PIPE_RETRY_MAX_MS, until a connection brings one.
// While connected it wakes only when the controller sends something. Days (11.5 KB each) are
// paced as statuses are: a server that floods the viewer with them costs the window nothing.
#pragma once

#include "base/MessageWindow.h"
#include "link/PipeMessage.h"
#include "link/PipeServerCheck.h"

#include <windows.h>

// lParam: a PipeStatus* / PipeHistory* / PipeDay* for the handler to delete. WM_PIPESTATUS's wParam
// is the PipeServerSession of the process that sent it.
const UINT WM_PIPESTATUS = WM_USER + 30;
const UINT WM_PIPEHISTORY = WM_USER + 31;
// The controller is not there (any more): wParam 0, or PIPE_LOST_NOT_AMBRELS where a program
// that is not Ambrel serves the pipe's name; lParam 0.
const UINT WM_PIPELOST = WM_USER + 32;
const WPARAM PIPE_LOST_NOT_AMBRELS = 1;
const UINT WM_PIPEDAY = WM_USER + 35;

// Where the controller of a WM_PIPESTATUS runs; a value out of range is another session's.
inline PipeServerSession SessionOfStatus(WPARAM wParam)
{
    return wParam <= static_cast<WPARAM>(PipeServerSession::Other)
               ? static_cast<PipeServerSession>(wParam)
               : PipeServerSession::Other;
}

const DWORD PIPE_RETRY_MS = 2000;
const DWORD PIPE_RETRY_MAX_MS = 60000;
const ULONGLONG PIPE_STATUS_INTERVAL_MS = 250;

class PipeClient
{
  public:
    // Null when not running.
    HANDLE thread;
    HANDLE stopEvent;
    // Whose window gets the messages; set before Start.
    MessageWindow* window;

    // Starts the thread; false (and a log line) when it cannot.
    bool Start();
    // Ends the thread, which closes the connection, and releases everything.
    void Stop();

  private:
    static unsigned __stdcall ThreadMain(void* client);
};
