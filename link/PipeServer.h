// The controller's end of the status pipe \\.\pipe\Ambrel: it accepts viewers and sends each the
// history, the day and the status at once, then the status at every change that the controller
// publishes, and the day when a minute is complete. It runs on the controller's own thread and
// never waits for a client: every connection, read and write is overlapped, the message loop
// waits for their events beside the window's messages (WaitHandles, OnWait), and a client is
// only ever given bytes that are queued for it. No thread of its own: a tray that nobody views
// pays for one listening instance, and holds no snapshot at all.
//
// From its first instance on, the server keeps one open until it stops: the next instance is made
// before one is closed, and an instance that a client has left is made ready again when it is
// the last. A pipe that cannot be made is logged and tried again every 2 s.
//
// Local clients only; the pipe's DACL lets interactive users read and gives full access only to
// SYSTEM, administrators and the controller's own account. A client that writes anything (a
// viewer has nothing to say in this version), whose unsent data passes PIPE_UNSENT_BOUND or
// waits longer than PIPE_UNSENT_MS (whether or not more is sent), or that would hold more than
// PIPE_CONNECTIONS_PER_PROCESS connections (PIPE_MAX_CLIENTS in all) is dropped. Each kind of
// line about a client is logged once a minute at most, and how many more there were in one line
// when the minute is over (ViewerLog).
#pragma once

#include "base/MessageWindow.h"
#include "link/KeptHistoryServer.h"
#include "link/PipeMessage.h"

#include <windows.h>

// Posted to the controller's window: no instance of the pipe can be made (wParam: the error),
// once a run.
const UINT WM_PIPEFAILED = WM_USER + 34;

const int PIPE_MAX_CLIENTS = 24;
const int PIPE_CONNECTIONS_PER_PROCESS = 4;

// The events the message loop may have to wait for: the listener and two per client, and the
// kept history's pipe beside it.
const int PIPE_MAX_WAIT = 1 + 2 * PIPE_MAX_CLIENTS + KEPT_MAX_WAIT;

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

// Makes a snapshot of now, owned by the caller, for a viewer that connects while the server holds
// none (it holds one only while somebody views); null when there is no memory.
typedef PipeSnapshot* (*PipeSnapshotMaker)(void* context);

class PipeServerLoop;

class PipeServer
{
  public:
    // Null when not running.
    PipeServerLoop* loop;
    // Whose window gets WM_PIPEFAILED (may be null), who makes the first snapshot a viewer gets
    // and the kept history a reader of PIPE_KEPT_NAME gets (both with makeContext); set before
    // Start.
    MessageWindow* window;
    PipeSnapshotMaker makeSnapshot;
    KeptHistoryMaker makeKept;
    void* makeContext;

    // Makes the first instance and listens; false (and a log line) when it cannot run at all. An
    // instance that cannot be made now is tried again while the loop waits. The kept history's
    // pipe is served beside it where it can be (a log line where not).
    bool Start();
    // True while some viewer is connected: only then is a snapshot worth making.
    bool HasViewers() const;
    // Hands a snapshot over (taking ownership) and queues it for every viewer; never waits. Pump
    // first: what the viewers have read since the last wait counts before their unsent data is
    // judged.
    void Publish(PipeSnapshot* snapshot);
    // The events to wait for (at most PIPE_MAX_WAIT) and how long the wait may last (INFINITE,
    // or until an instance is to be tried again).
    int WaitHandles(HANDLE* handles, int capacity);
    DWORD WaitTimeout() const;
    // The handle at index of the last WaitHandles is signalled, or (index -1) the time-out passed.
    void OnWait(int index);
    // Handles whatever has completed, without waiting: a modal loop (a menu, a window being
    // moved) dispatches messages but does not wait for the pipe.
    void Pump();
    // Closes every connection and the listener, and releases everything.
    void Stop();
};

// Fills a snapshot from what the controller shows; null when there is no memory.
PipeSnapshot* MakePipeSnapshot(const PipeStatus& status, const PipeHistory& history,
                               const PipeDay& day, bool newDay);
