// The controller's end of the status pipe \\.\pipe\Ambrel: on a thread of its own, with
// overlapped I/O, it accepts viewers and sends each the history and the status at once, then the
// status at every change that the controller publishes. The controller only ever hands a new
// snapshot over through one atomic pointer and an event: no client can hold it up.
//
// Local clients only; the pipe's DACL lets interactive users read and gives full access only to
// SYSTEM, administrators and the controller's own account. A client that writes anything (a
// viewer has nothing to say in this version), whose unsent data passes PIPE_UNSENT_BOUND or
// waits longer than PIPE_UNSENT_MS, or that would hold more than PIPE_CONNECTIONS_PER_PROCESS
// connections (PIPE_MAX_CLIENTS in all) is dropped, with a log line.
#pragma once

#include "link/PipeMessage.h"

#include <windows.h>

#include <atomic>

const int PIPE_MAX_CLIENTS = 24;
const int PIPE_CONNECTIONS_PER_PROCESS = 4;
// Unsent bytes that one client may have queued (a full history and many statuses), and how long
// its oldest unsent data may wait: a viewer reads each message as it comes.
const size_t PIPE_UNSENT_BOUND = 4 * PIPE_MAX_MESSAGE;
const ULONGLONG PIPE_UNSENT_MS = 10000;

// The status and the history as encoded messages, made on the controller's thread.
struct PipeSnapshot {
    uint8_t status[PIPE_MAX_MESSAGE / 128];
    size_t statusSize;
    uint8_t history[PIPE_MAX_MESSAGE];
    size_t historySize;
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
PipeSnapshot* MakePipeSnapshot(const PipeStatus& status, const PipeHistory& history);
