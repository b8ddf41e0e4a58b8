// One read-only connection to the status pipe, as a view and --status hold it: opened so that the
// server may identify this process but never act as it, read without blocking past the caller's
// own wait (the read's event joins whatever else the caller waits for), and cut into whole
// messages that CheckPipeFrame has checked. What a message says is the caller's to decode.
#pragma once

#include "link/PipeMessage.h"

#include <windows.h>

// A whole message as Next hands it out: it stays valid until the next BeginRead.
struct PipeMessageView {
    const uint8_t* bytes;
    size_t size;
    uint16_t kind;
};

class PipeReader
{
  public:
    // Null when no connection is held.
    HANDLE pipe = nullptr;

    // The read's event; false (with the system's error) when it cannot be made.
    bool Start();
    // Closes the connection and the event.
    void Release();

    // Connects to \\.\pipe\Ambrel: 0, or the system's error (ERROR_FILE_NOT_FOUND where nobody
    // serves it, ERROR_PIPE_BUSY where every instance is taken).
    DWORD Open();
    // Ends a read in flight and closes the connection; nothing when none is held.
    void Close();

    // Starts a read into what is left of the buffer; false (with the system's error) when the
    // pipe has broken.
    bool BeginRead();
    // Set when the read has ended.
    HANDLE ReadEvent() const { return ov.hEvent; }
    // After ReadEvent: keeps what was read; false (with the system's error) when the pipe broke.
    bool EndRead();

    // The next whole message of what has arrived, on Complete; Partial asks for another read;
    // anything else is garbage.
    PipeFrame Next(PipeMessageView& message);

  private:
    OVERLAPPED ov = {};
    // A read is in flight: the kernel may still write ov and in.
    bool reading = false;
    uint8_t in[PIPE_MAX_MESSAGE];
    // Bytes held, and where the first message not handed out by Next begins.
    size_t inSize = 0;
    size_t start = 0;
};
