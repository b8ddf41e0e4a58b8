// The status pipe's server loop, shared by the files that make it up: PipeServer.cpp (the
// instances that listen and whom they accept, the waits) and PipeViewers.cpp (each connected
// viewer's reads and writes, the drops, the log's lines). Not for other callers: the server's
// interface is PipeServer.h.
#pragma once

#include "link/PipeServer.h"
#include "link/ViewerLog.h"

struct PipeClientSlot {
    HANDLE pipe;
    DWORD processId;
    // A read or a write is in flight: the kernel may still use its OVERLAPPED and buffer.
    bool reading;
    OVERLAPPED readOv;
    uint8_t in[PIPE_HEADER_SIZE];
    size_t inSize;
    OVERLAPPED writeOv;
    bool writing;
    // When the write in flight was made (GetTickCount64).
    ULONGLONG writeStartedAt;
    size_t outSize;
    uint8_t out[PIPE_UNSENT_BOUND];
};

// Waits until the kernel has let go of a read's or a write's buffer.
inline void WaitOut(HANDLE pipe, OVERLAPPED& ov)
{
    DWORD n = 0;
    GetOverlappedResult(pipe, &ov, &n, TRUE);
}

class PipeServerLoop
{
  public:
    PipeServer& server;
    PSECURITY_DESCRIPTOR security = nullptr;
    // The instance that waits for the next client. Some instance of the pipe stays open from the
    // first until the server stops: a process that made the name in a gap would be served to every
    // viewer, and the controller could never make it again.
    HANDLE listener = nullptr;
    OVERLAPPED connectOv = {};
    // The listener's connection is in flight, or came before it was asked for.
    bool connectPending = false;
    bool connectedAtOnce = false;
    // When the listener (or an instance for it) is to be tried again.
    ULONGLONG retryAt = 0;
    // The first instance has been made: every later one joins it.
    bool named = false;
    // No instance can be made now (logged once, until one can be again), and the window has
    // been told that the pipe cannot be made (once a run).
    bool makeFailing = false;
    bool failureTold = false;
    // What a viewer is sent; held only while somebody views.
    PipeSnapshot* current = nullptr;
    PipeClientSlot* slots[PIPE_MAX_CLIENTS] = {};
    int viewers = 0;
    // The handles of the last wait and, for a client's, whose read or write each one is.
    HANDLE waited[PIPE_MAX_WAIT] = {};
    int waitedCount = 0;
    int firstSlot = 0;
    int slotOf[PIPE_MAX_WAIT] = {};
    bool isWrite[PIPE_MAX_WAIT] = {};
    ViewerLog viewerLog;

    explicit PipeServerLoop(PipeServer& owner) : server(owner) {}
    bool Open();
    void Close();
    void Listen();
    int WaitHandles();
    DWORD WaitTimeout() const;
    void OnWait(int index);
    void Take(PipeSnapshot* snapshot);

  private:
    bool Listening() const;
    HANDLE MakeInstance();
    void Recycle(HANDLE pipe);
    void CloseListener();
    void Post(UINT message, WPARAM wParam) const;
    void OnConnect();
    void Accept(HANDLE pipe);
    bool RoomFor(DWORD processId) const;
    bool StartRead(int index);
    void OnRead(int index);
    bool StartWrite(int index);
    void OnWrite(int index);
    bool Queue(int index, const uint8_t* bytes, size_t size);
    void Drop(int index, ViewerLine why);
    void Release(int index);
    void DropOverdue(ULONGLONG now);
    void LogViewer(DWORD processId, ViewerLine line);
    void LogUnwritten(bool ending);
};
