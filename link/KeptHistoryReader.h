// A reader's end of the kept history's pipe (PIPE_KEPT_NAME): it connects (read only, so that
// the server may identify it but never act as it), believes the pipe only where the Ambrel
// service or an Ambrel of this session serves it (PipeServerCheck), reads what comes until the
// server closes, for at most KEPT_READ_MS, and takes it only when HistoryCodec does: bytes of
// another size, version or checksum are garbage. A view reads on a thread of its own
// (KeptHistoryFetch), --export where it runs.
#pragma once

#include "base/HistoryCodec.h"
#include "base/HistoryStore.h"
#include "base/MessageWindow.h"

#include <windows.h>

const DWORD KEPT_READ_MS = 5000;

enum class KeptRead {
    Ok,
    // Nobody serves the pipe (no controller, or one of a version without it).
    NoServer,
    // A program that is not Ambrel serves it.
    NotAmbrels,
    // The connection broke or the time ran out before the history was whole.
    Broken,
    // Bytes that HistoryCodec does not take.
    Garbled,
    NoMemory,
    // The caller's stop event was set.
    Stopped,
};

// What the result says, for a log line.
const char* KeptReadText(KeptRead result);

// Reads the kept history of the controller that serves this session into out; stop (may be null)
// ends the wait early. decoded says what HistoryCodec found of Garbled bytes.
KeptRead ReadKeptHistory(HistoryStore& out, HANDLE stop, HistoryDecode& decoded);

// Posted to the window of a KeptHistoryFetch: wParam the KeptRead, lParam a HistoryStore* that
// the handler owns (null unless Ok).
const UINT WM_KEPTHISTORY = WM_USER + 36;

// One read of the kept history at a time on a thread of its own, its result posted to a window.
class KeptHistoryFetch
{
  public:
    // Null while none has been started since the last Stop.
    HANDLE thread = nullptr;
    HANDLE stopEvent = nullptr;
    // Whose window gets WM_KEPTHISTORY; set before Start.
    MessageWindow* window = nullptr;

    // Starts a read unless one is under way (true then too); false (and a log line) when no
    // thread can be made.
    bool Start();
    // Ends the read under way and releases the thread and the event.
    void Stop();

  private:
    static unsigned __stdcall ThreadMain(void* fetch);
};
