// The controller's end of the kept history's pipe (PIPE_KEPT_NAME), served beside the status pipe
// on the controller's own thread: a connection is the request. The reader gets the week and the
// days as the history file holds them, made for it at that moment, in one overlapped write that
// completes as it reads (the pipe holds nothing for it), and the connection is closed then. At
// most KEPT_SENDERS readers at once (each holds one encoded history, 86 KB, until it is done), and
// a reader that has not taken everything within KEPT_SEND_MS is dropped: nothing a reader does
// or leaves undone makes the controller wait. A reader has nothing to say; what it writes is never
// read. Lines about the readers go to the log a few a minute at most (PipeLog).
#pragma once

#include "link/PipeListener.h"
#include "link/PipeLog.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Encodes the kept history of now into out (room bytes): its size, or 0 when there is none.
typedef size_t (*KeptHistoryMaker)(void* context, uint8_t* out, size_t room);

const int KEPT_SENDERS = 4;
const ULONGLONG KEPT_SEND_MS = 5000;
// The events the message loop may have to wait for: the listener and one per reader.
const int KEPT_MAX_WAIT = 1 + KEPT_SENDERS;

class KeptHistoryServer
{
  public:
    // Who makes the bytes, with its context; set before Open. Without it every reader is refused.
    KeptHistoryMaker make = nullptr;
    void* context = nullptr;

    // The events and the first instance; false (and a log line) when the pipe cannot be served
    // this run. An instance that cannot be made now is tried again while the loop waits.
    bool Open();
    // Drops every reader and closes the listener.
    void Close();

    // Drops the readers that are overdue and tries the listener again when it is time, then puts
    // the events to wait for into handles (room for KEPT_MAX_WAIT); their count.
    int WaitHandles(HANDLE* handles);
    // When something is due (a reader overdue, the listener's next try, the log's minute); 0 when
    // nothing is.
    ULONGLONG DueAt() const;
    // The handle at index of the last WaitHandles is signalled.
    void OnWait(int index);

  private:
    struct Sender {
        // Null while the slot is free.
        HANDLE pipe;
        DWORD processId;
        OVERLAPPED ov;
        bool writing;
        uint8_t* bytes;
        DWORD size;
        ULONGLONG startedAt;
    };
    PipeListener listener;
    PipeLog log;
    Sender senders[KEPT_SENDERS] = {};
    // The sender of each handle of the last WaitHandles (-1: the listener).
    int waitedSender[KEPT_MAX_WAIT] = {};
    int waitedCount = 0;

    void Accept(HANDLE pipe);
    // Ends what is in flight and frees the slot.
    void End(Sender& sender);
};
