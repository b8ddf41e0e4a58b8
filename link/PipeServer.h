// The controller's end of the status pipe \\.\pipe\Ambrel: on a thread of its own, with
// overlapped I/O, it accepts viewers and sends each the history, the day and the status at once,
// then the status at every change that the controller publishes, and the day when a minute is
// complete. The controller only ever hands a new
// snapshot over through one atomic pointer and an event: no client can hold it up.
//
// From its first instance on, the server keeps one open until it stops: the next instance is made
// before one is closed, and an instance that a client has left is made ready again when it is
// the last. A pipe that cannot be made is logged and tried again every 2 s.
//
// Local clients only; the pipe's DACL lets interactive users read and gives full access only to
// SYSTEM, administrators and the controller's own account. A client that writes anything (a
// viewer has nothing to say in this version), whose unsent data passes PIPE_UNSENT_BOUND or
// waits longer than PIPE_UNSENT_MS, or that would hold more than PIPE_CONNECTIONS_PER_PROCESS
// connections (PIPE_MAX_CLIENTS in all) is dropped, with a log line.
#pragma once

#include "base/MessageWindow.h"
#include "link/PipeMessage.h"

#include <windows.h>

#include <atomic>

// Posted to the controller's window: a viewer has been accepted (wParam: its process id); no
// instance of the pipe can be made (wParam: the error), once a run.
const UINT WM_PIPEVIEWER = WM_USER + 33;
const UINT WM_PIPEFAILED = WM_USER + 34;

const int PIPE_MAX_CLIENTS = 24;
const int PIPE_CONNECTIONS_PER_PROCESS = 4;
// Unsent bytes that one client may have queued (a full history, a full day and many statuses), and
// how long its oldest unsent data may wait: a viewer reads each message as it comes.
const size_t PIPE_UNSENT_BOUND = 4 * PIPE_MAX_MESSAGE;
const ULONGLONG PIPE_UNSENT_MS = 10000;

// The status, the history and the day as encoded messages, made on the controller's thread. The
// day goes to every viewer only when newDay says that a minute is complete; a viewer that
// connects gets it in any case.
struct PipeSnapshot {
    uint8_t status[PIPE_MAX_MESSAGE / 128];
    size_t statusSize;
    uint8_t history[PIPE_MAX_MESSAGE];
    size_t historySize;
    uint8_t day[PIPE_MAX_MESSAGE];
    size_t daySize;
    bool newDay;
};

struct PipeClientSlot;

class PipeServer
{
  public:
    // Null when not running.
    HANDLE thread;
    HANDLE stopEvent;
    HANDLE publishEvent;
    // The newest snapshot not yet taken by the server's thread; owned by whoever holds it.
    std::atomic<PipeSnapshot*> pending;
    // Whose window gets WM_PIPEVIEWER and WM_PIPEFAILED (may be null); set before Start.
    MessageWindow* window;

    // Starts the thread; false (and a log line) when it cannot. The first snapshot may be
    // published before or after.
    bool Start();
    // Hands a snapshot over (taking ownership) and wakes the thread; never waits. A snapshot
    // the thread has not taken yet is replaced.
    void Publish(PipeSnapshot* snapshot);
    // Ends the thread, which closes every connection, and releases everything.
    void Stop();

  private:
    static unsigned __stdcall ThreadMain(void* server);
};

// Fills a snapshot from what the controller shows; null when there is no memory.
PipeSnapshot* MakePipeSnapshot(const PipeStatus& status, const PipeHistory& history,
                               const PipeDay& day, bool newDay);
