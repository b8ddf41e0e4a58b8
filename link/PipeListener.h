// The status pipe's listening instance: made with the pipe's security, the first of its name
// (a pipe of that name made by another process before is refused rather than served beside),
// waiting for the next viewer without ever blocking. From the first instance on, one stays open
// until the server stops: an instance that a viewer has left becomes the listener when there is
// none, so that a process that made the name in a gap could never be served to every viewer.
#pragma once

#include "link/PipeMessage.h"

#include <windows.h>

class PipeListener
{
  public:
    // The pipe's name, and what the log lines about it begin with; set before Open.
    const wchar_t* name = PIPE_NAME;
    const char* label = "PipeServer";

    // The event and the pipe's security; false (with the system's error) when either cannot be
    // made: the pipe cannot be made at all this run then.
    bool Open();
    // Ends the wait in flight and closes the instance, the event and the security.
    void Close();

    // Makes the listener wait for the next viewer; when it cannot, RetryAt says when to try again.
    void Listen();
    bool Listening() const { return connectPending || connectedAtOnce; }
    ULONGLONG RetryAt() const { return retryAt; }
    // Set while Listening: the connection's event.
    HANDLE Event() const { return connectOv.hEvent; }
    // After Event: the connected instance, which is the caller's from now on, with the next
    // listener made before it; null when the viewer has gone already.
    HANDLE TakeConnection();
    // An instance whose viewer has gone or was refused.
    void Recycle(HANDLE pipe);
    // The error of the first time that no instance could be made, once a run; 0 otherwise.
    DWORD TakeFailure();

  private:
    PSECURITY_DESCRIPTOR security = nullptr;
    HANDLE listener = nullptr;
    OVERLAPPED connectOv = {};
    // The listener's connection is in flight, or came before it was asked for.
    bool connectPending = false;
    bool connectedAtOnce = false;
    ULONGLONG retryAt = 0;
    // The first instance has been made: every later one joins it.
    bool named = false;
    // No instance can be made now (logged once, until one can be again); the first failure's
    // error, until taken, and whether it has been taken.
    bool makeFailing = false;
    DWORD failure = 0;
    bool failureTold = false;

    HANDLE MakeInstance();
    void CloseListener();
};
