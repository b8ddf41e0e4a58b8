#include "link/PipeServer.h"

#include "base/Log.h"
#include "link/PipeListener.h"
#include "link/PipeViewer.h"
#include "link/PipeLog.h"

#include <cstring>
#include <new>

namespace
{

// Events handled by one Pump at most: every handle twice over.
const int PUMP_ROUNDS = 2 * PIPE_MAX_WAIT;

} // namespace

class PipeServerLoop
{
  public:
    PipeServer& server;
    PipeListener listener;
    // What a viewer is sent; held only while somebody views.
    PipeSnapshot* current = nullptr;
    PipeViewer* slots[PIPE_MAX_CLIENTS] = {};
    int viewers = 0;
    // The handles of the last wait and, for a viewer's, whose read or write each one is.
    HANDLE waited[PIPE_MAX_WAIT] = {};
    int waitedCount = 0;
    int firstSlot = 0;
    int slotOf[PIPE_MAX_WAIT] = {};
    bool isWrite[PIPE_MAX_WAIT] = {};
    PipeLog log;
    // The kept history's pipe, where it could be opened; its handles follow the viewers'.
    KeptHistoryServer kept;
    bool keptOpen = false;
    int firstKept = 0;

    explicit PipeServerLoop(PipeServer& owner) : server(owner) {}
    bool Open();
    void Close();
    void Listen();
    int WaitHandles();
    DWORD WaitTimeout() const;
    void OnWait(int index);
    void Take(PipeSnapshot* snapshot);

  private:
    void Post(UINT message, WPARAM wParam) const;
    void Accept(HANDLE pipe);
    bool RoomFor(DWORD processId) const;
    void OnViewer(int index, bool write);
    bool Queue(int index, const uint8_t* bytes, size_t size);
    void Drop(int index, ViewerLine why);
    void Release(int index);
};

// Without its event or its security the pipe cannot be made at all this run.
bool PipeServerLoop::Open()
{
    if (listener.Open()) {
        kept.make = server.makeKept;
        kept.context = server.makeContext;
        keptOpen = kept.Open();
        return true;
    }
    Post(WM_PIPEFAILED, GetLastError());
    return false;
}

void PipeServerLoop::Close()
{
    for (int i = 0; i < PIPE_MAX_CLIENTS; ++i) {
        if (slots[i] != nullptr)
            Release(i);
    }
    log.Unwritten(true);
    if (keptOpen)
        kept.Close();
    keptOpen = false;
    listener.Close();
    delete current;
    current = nullptr;
}

void PipeServerLoop::Listen()
{
    listener.Listen();
    if (const DWORD error = listener.TakeFailure())
        Post(WM_PIPEFAILED, error);
}

void PipeServerLoop::Post(UINT message, WPARAM wParam) const
{
    HWND hwnd = server.window != nullptr ? server.window->hwnd.load() : nullptr;
    if (hwnd != nullptr)
        PostMessageW(hwnd, message, wParam, 0);
}

bool PipeServerLoop::RoomFor(DWORD processId) const
{
    int held = 0;
    for (const PipeViewer* slot : slots) {
        if (slot != nullptr && processId != 0 && slot->processId == processId)
            ++held;
    }
    return held < PIPE_CONNECTIONS_PER_PROCESS;
}

void PipeServerLoop::Accept(HANDLE pipe)
{
    DWORD processId = 0;
    GetNamedPipeClientProcessId(pipe, &processId);
    int index = 0;
    while (index < PIPE_MAX_CLIENTS && slots[index] != nullptr)
        ++index;
    // With room for it, only a lack of memory refuses it.
    ViewerLine refused = ViewerLine::RefusedNoMemory;
    if (index == PIPE_MAX_CLIENTS)
        refused = ViewerLine::RefusedTooMany;
    else if (!RoomFor(processId))
        refused = ViewerLine::RefusedProcess;
    PipeViewer* slot =
        refused == ViewerLine::RefusedNoMemory ? new (std::nothrow) PipeViewer() : nullptr;
    if (slot == nullptr || !slot->Start()) {
        log.Line(processId, refused);
        if (slot != nullptr) {
            slot->Release();
            delete slot;
        }
        listener.Recycle(pipe);
        return;
    }
    slot->pipe = pipe;
    slot->processId = processId;
    slots[index] = slot;
    ++viewers;
    log.Line(processId, ViewerLine::Connected);
    if (current == nullptr && server.makeSnapshot != nullptr)
        current = server.makeSnapshot(server.makeContext);
    if (current != nullptr) {
        if (!Queue(index, current->history, current->historySize) ||
            !Queue(index, current->day, current->daySize) ||
            !Queue(index, current->status, current->statusSize))
            return;
    }
    ViewerLine why = ViewerLine::Left;
    if (!slot->StartRead(why))
        Drop(index, why);
}

void PipeServerLoop::OnViewer(int index, bool write)
{
    ViewerLine why = ViewerLine::Left;
    if (!(write ? slots[index]->OnWrite(why) : slots[index]->OnRead(why)))
        Drop(index, why);
}

// False when the viewer was dropped.
bool PipeServerLoop::Queue(int index, const uint8_t* bytes, size_t size)
{
    ViewerLine why = ViewerLine::Left;
    if (slots[index]->Queue(bytes, size, why))
        return true;
    Drop(index, why);
    return false;
}

void PipeServerLoop::Drop(int index, ViewerLine why)
{
    log.Line(slots[index]->processId, why);
    Release(index);
}

void PipeServerLoop::Release(int index)
{
    PipeViewer* slot = slots[index];
    slots[index] = nullptr;
    HANDLE pipe = slot->Release();
    delete slot;
    if (pipe != nullptr) {
        listener.Recycle(pipe);
        --viewers;
    }
    // Nobody views: the next viewer gets a snapshot made for it.
    if (viewers == 0) {
        delete current;
        current = nullptr;
    }
}

void PipeServerLoop::Take(PipeSnapshot* snapshot)
{
    if (viewers == 0) {
        delete snapshot;
        return;
    }
    delete current;
    current = snapshot;
    for (int i = 0; i < PIPE_MAX_CLIENTS; ++i) {
        if (slots[i] != nullptr && current->newDay && !Queue(i, current->day, current->daySize))
            continue;
        if (slots[i] != nullptr)
            Queue(i, current->status, current->statusSize);
    }
}

// Does what is due (a viewer that has not read what was sent to it for PIPE_UNSENT_MS is dropped
// whether or not more comes for it, the log's counts are written, the listener is tried again),
// then lists what the loop waits for: the listener's connection, and each viewer's read and
// write in flight.
int PipeServerLoop::WaitHandles()
{
    const ULONGLONG now = GetTickCount64();
    for (int i = 0; i < PIPE_MAX_CLIENTS; ++i) {
        const ULONGLONG overdueAt = slots[i] != nullptr ? slots[i]->OverdueAt() : 0;
        if (overdueAt != 0 && now >= overdueAt)
            Drop(i, ViewerLine::DroppedSlow);
    }
    log.Unwritten(false);
    if (!listener.Listening() && now >= listener.RetryAt())
        Listen();
    int count = 0;
    if (listener.Listening())
        waited[count++] = listener.Event();
    firstSlot = count;
    for (int i = 0; i < PIPE_MAX_CLIENTS; ++i) {
        if (slots[i] == nullptr)
            continue;
        if (slots[i]->reading) {
            slotOf[count] = i;
            isWrite[count] = false;
            waited[count++] = slots[i]->readOv.hEvent;
        }
        if (slots[i]->writing) {
            slotOf[count] = i;
            isWrite[count] = true;
            waited[count++] = slots[i]->writeOv.hEvent;
        }
    }
    firstKept = count;
    if (keptOpen)
        count += kept.WaitHandles(waited + count);
    waitedCount = count;
    return count;
}

// Until the first of: the listener's next try, the moment a viewer's unsent data has waited too
// long, the end of the log's minute.
DWORD PipeServerLoop::WaitTimeout() const
{
    const ULONGLONG now = GetTickCount64();
    ULONGLONG due = listener.Listening() ? ~0ULL : listener.RetryAt();
    for (const PipeViewer* slot : slots) {
        const ULONGLONG overdueAt = slot != nullptr ? slot->OverdueAt() : 0;
        if (overdueAt != 0 && overdueAt < due)
            due = overdueAt;
    }
    const ULONGLONG logDue = log.DueAt();
    if (logDue != 0 && logDue < due)
        due = logDue;
    const ULONGLONG keptDue = keptOpen ? kept.DueAt() : 0;
    if (keptDue != 0 && keptDue < due)
        due = keptDue;
    if (due == ~0ULL)
        return INFINITE;
    return due <= now ? 0 : due - now < INFINITE ? static_cast<DWORD>(due - now) : INFINITE - 1;
}

// A time-out (-1) only means that something is due, which the next WaitHandles does.
void PipeServerLoop::OnWait(int index)
{
    if (index < 0 || index >= waitedCount)
        return;
    if (index >= firstKept) {
        kept.OnWait(index - firstKept);
        return;
    }
    if (index >= firstSlot) {
        OnViewer(slotOf[index], isWrite[index]);
        return;
    }
    HANDLE pipe = listener.TakeConnection();
    if (const DWORD error = listener.TakeFailure())
        Post(WM_PIPEFAILED, error);
    if (pipe != nullptr)
        Accept(pipe);
}

bool PipeServer::Start()
{
    loop = new (std::nothrow) PipeServerLoop(*this);
    if (loop == nullptr) {
        LogPrint("PipeServer: no memory for the pipe\n");
        return false;
    }
    if (!loop->Open()) {
        Stop();
        return false;
    }
    loop->Listen();
    return true;
}

bool PipeServer::HasViewers() const
{
    return loop != nullptr && loop->viewers > 0;
}

void PipeServer::Publish(PipeSnapshot* snapshot)
{
    if (loop == nullptr) {
        delete snapshot;
        return;
    }
    loop->Take(snapshot);
}

int PipeServer::WaitHandles(HANDLE* handles, int capacity)
{
    if (loop == nullptr || capacity < PIPE_MAX_WAIT)
        return 0;
    const int count = loop->WaitHandles();
    std::memcpy(handles, loop->waited, static_cast<size_t>(count) * sizeof(HANDLE));
    return count;
}

DWORD PipeServer::WaitTimeout() const
{
    return loop != nullptr ? loop->WaitTimeout() : INFINITE;
}

void PipeServer::OnWait(int index)
{
    if (loop != nullptr)
        loop->OnWait(index);
}

void PipeServer::Pump()
{
    for (int round = 0; loop != nullptr && round < PUMP_ROUNDS; ++round) {
        const DWORD count = static_cast<DWORD>(loop->WaitHandles());
        const DWORD woken =
            count > 0 ? WaitForMultipleObjects(count, loop->waited, FALSE, 0) : WAIT_TIMEOUT;
        if (woken >= WAIT_OBJECT_0 + count)
            return;
        loop->OnWait(static_cast<int>(woken - WAIT_OBJECT_0));
    }
}

void PipeServer::Stop()
{
    if (loop == nullptr)
        return;
    loop->Close();
    delete loop;
    loop = nullptr;
}

PipeSnapshot* MakePipeSnapshot(const PipeStatus& status, const PipeHistory& history,
                               const PipeDay& day, bool newDay)
{
    PipeSnapshot* snapshot = new (std::nothrow) PipeSnapshot();
    if (snapshot == nullptr)
        return nullptr;
    snapshot->statusSize = EncodePipeStatus(status, snapshot->status, sizeof snapshot->status);
    snapshot->historySize = EncodePipeHistory(history, snapshot->history, sizeof snapshot->history);
    snapshot->daySize = EncodePipeDay(day, snapshot->day, sizeof snapshot->day);
    snapshot->newDay = newDay;
    return snapshot;
}
