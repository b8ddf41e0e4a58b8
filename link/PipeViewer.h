// One viewer's connection to the status pipe, as the server holds it: what the viewer has sent
// (a viewer has nothing to send: whatever it writes is checked as a message and refused), what
// waits to go to it, and the read and the write in flight. A step that finds the viewer to be
// dropped returns false and says why; the server drops it and logs the line.
#pragma once

#include "link/PipeMessage.h"
#include "link/ViewerLog.h"

#include <windows.h>

// Unsent bytes that one viewer may have queued (a full history, a full day and many statuses),
// and how long its oldest unsent data may wait: a viewer reads each message as it comes.
const size_t PIPE_UNSENT_BOUND = 4 * PIPE_MAX_MESSAGE;
const ULONGLONG PIPE_UNSENT_MS = 5000;

class PipeViewer
{
  public:
    // The connected instance (null once released) and the viewer's process.
    HANDLE pipe;
    DWORD processId;
    // A read or a write is in flight: the kernel may still use its OVERLAPPED and buffer.
    bool reading;
    OVERLAPPED readOv;
    bool writing;
    OVERLAPPED writeOv;
    // When the write in flight was made (GetTickCount64).
    ULONGLONG writeStartedAt;

    // The read's and the write's events; false when they cannot be made.
    bool Start();
    // Ends what is in flight, waits until the kernel has let go of the buffers and closes the
    // events; returns the instance (null when none was held) for the server to make ready again.
    HANDLE Release();

    // Completes by its event whether it completes now or later.
    bool StartRead(ViewerLine& why);
    bool OnRead(ViewerLine& why);
    bool OnWrite(ViewerLine& why);
    // Appends behind what a write in flight still reads.
    bool Queue(const uint8_t* bytes, size_t size, ViewerLine& why);
    // When its unsent data will have waited too long: 0 while nothing waits.
    ULONGLONG OverdueAt() const;

  private:
    uint8_t in[PIPE_HEADER_SIZE];
    size_t inSize;
    size_t outSize;
    uint8_t out[PIPE_UNSENT_BOUND];

    bool StartWrite(ViewerLine& why);
};
