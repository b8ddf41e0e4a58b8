#include "link/PipeServer.h"

#include "link/PipeServerLoop.h"

#include "base/Log.h"
#include "base/OwnedHandle.h"
#include "link/PipeSecurity.h"
#include "link/ViewerLog.h"

#include <cstring>
#include <new>

// Reached through its numbers where the headers leave it out for this program's target.
#ifndef PIPE_REJECT_REMOTE_CLIENTS
#define PIPE_REJECT_REMOTE_CLIENTS 0x00000008
#endif

namespace
{

// The kernel keeps no data of its own for a client: a write completes as the client reads it,
// so that a client that does not read is seen by its unsent data.
const DWORD OUT_BUFFER = 0;
const DWORD IN_BUFFER = 512;
// While no pipe instance can be made or listen, the server tries again this often.
const DWORD RETRY_MS = 2000;
// A client that comes and goes before its connection is taken is let go this many times in a
// row; then the loop handles its messages and the instance listens again at its next turn.
const int CONNECT_TRIES = 4;
// Events handled by one Pump at most: every handle twice over.
const int PUMP_ROUNDS = 2 * PIPE_MAX_WAIT;

} // namespace

// Without its event or its security the pipe cannot be made at all this run.
bool PipeServerLoop::Open()
{
    connectOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (connectOv.hEvent != nullptr && MakePipeSecurity(security))
        return true;
    const DWORD error = GetLastError();
    if (connectOv.hEvent != nullptr)
        LogPrint("PipeServer: the pipe's security cannot be made (error=%lu)\n", error);
    Post(WM_PIPEFAILED, error);
    return false;
}

void PipeServerLoop::Close()
{
    for (int i = 0; i < PIPE_MAX_CLIENTS; ++i) {
        if (slots[i] != nullptr)
            Release(i);
    }
    LogUnwritten(true);
    CloseListener();
    CloseOwnedHandle(connectOv.hEvent);
    if (security != nullptr) {
        LocalFree(security);
        security = nullptr;
    }
    delete current;
    current = nullptr;
}

bool PipeServerLoop::Listening() const
{
    return connectPending || connectedAtOnce;
}

// The very first instance must be the first of its name: a pipe of that name made by another
// process before it is refused rather than served beside. Every later one joins an instance that
// is still open, as one stays open from then on.
HANDLE PipeServerLoop::MakeInstance()
{
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, security, FALSE};
    const DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED |
                           (named ? 0 : static_cast<DWORD>(FILE_FLAG_FIRST_PIPE_INSTANCE));
    HANDLE pipe = CreateNamedPipeW(PIPE_NAME, openMode,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT |
                                       PIPE_REJECT_REMOTE_CLIENTS,
                                   PIPE_UNLIMITED_INSTANCES, OUT_BUFFER, IN_BUFFER, 0, &attributes);
    if (pipe != INVALID_HANDLE_VALUE) {
        named = true;
        makeFailing = false;
        return pipe;
    }
    const DWORD error = GetLastError();
    if (!makeFailing)
        LogPrint("PipeServer: CreateNamedPipe() error=%lu\n", error);
    makeFailing = true;
    if (!failureTold) {
        failureTold = true;
        Post(WM_PIPEFAILED, error);
    }
    return nullptr;
}

// Makes the listener wait for the next client; when it cannot, retryAt says when to try again.
void PipeServerLoop::Listen()
{
    retryAt = GetTickCount64() + RETRY_MS;
    if (listener == nullptr)
        listener = MakeInstance();
    if (listener == nullptr || Listening())
        return;
    for (int tries = 0; tries < CONNECT_TRIES; ++tries) {
        ResetEvent(connectOv.hEvent);
        connectedAtOnce = ConnectNamedPipe(listener, &connectOv) != FALSE;
        const DWORD error = connectedAtOnce ? ERROR_PIPE_CONNECTED : GetLastError();
        if (error == ERROR_IO_PENDING) {
            connectPending = true;
            return;
        }
        if (error == ERROR_PIPE_CONNECTED) {
            connectedAtOnce = true;
            SetEvent(connectOv.hEvent);
            return;
        }
        connectedAtOnce = false;
        // A client has come and gone already (ERROR_NO_DATA): the instance is made ready again.
        if (error != ERROR_NO_DATA) {
            LogPrint("PipeServer: ConnectNamedPipe() error=%lu\n", error);
            return;
        }
        DisconnectNamedPipe(listener);
    }
    // Clients keep coming and going: the window's messages first, then the instance listens
    // again. Waiting longer would leave the name without a listener for everybody else.
    retryAt = 0;
}

// An instance whose client has gone or was refused: the listener when there is none (so that
// the name is never left without an instance), else closed.
void PipeServerLoop::Recycle(HANDLE pipe)
{
    DisconnectNamedPipe(pipe);
    if (listener == nullptr) {
        listener = pipe;
        retryAt = 0;
        return;
    }
    CloseHandle(pipe);
}

void PipeServerLoop::CloseListener()
{
    if (listener == nullptr)
        return;
    if (connectPending) {
        CancelIo(listener);
        WaitOut(listener, connectOv);
        connectPending = false;
    }
    connectedAtOnce = false;
    CloseHandle(listener);
    listener = nullptr;
}

void PipeServerLoop::Post(UINT message, WPARAM wParam) const
{
    HWND hwnd = server.window != nullptr ? server.window->hwnd.load() : nullptr;
    if (hwnd != nullptr)
        PostMessageW(hwnd, message, wParam, 0);
}

// The next listener is made before the client's instance can be closed (a refusal, a client that
// has already gone).
void PipeServerLoop::OnConnect()
{
    DWORD n = 0;
    const bool connected =
        connectedAtOnce || GetOverlappedResult(listener, &connectOv, &n, FALSE) != FALSE;
    connectPending = false;
    connectedAtOnce = false;
    if (!connected) {
        DisconnectNamedPipe(listener);
        retryAt = 0;
        return;
    }
    HANDLE pipe = listener;
    listener = nullptr;
    Listen();
    Accept(pipe);
}

bool PipeServerLoop::RoomFor(DWORD processId) const
{
    int held = 0;
    for (const PipeClientSlot* slot : slots) {
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
    PipeClientSlot* slot =
        refused == ViewerLine::RefusedNoMemory ? new (std::nothrow) PipeClientSlot() : nullptr;
    if (slot != nullptr) {
        slot->readOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        slot->writeOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    if (slot == nullptr || slot->readOv.hEvent == nullptr || slot->writeOv.hEvent == nullptr) {
        LogViewer(processId, refused);
        if (slot != nullptr) {
            slots[index] = slot;
            slot->pipe = nullptr;
            Release(index);
        }
        Recycle(pipe);
        return;
    }
    slot->pipe = pipe;
    slot->processId = processId;
    slots[index] = slot;
    ++viewers;
    LogViewer(processId, ViewerLine::Connected);
    if (current == nullptr && server.makeSnapshot != nullptr)
        current = server.makeSnapshot(server.makeContext);
    if (current != nullptr) {
        if (!Queue(index, current->history, current->historySize) ||
            !Queue(index, current->day, current->daySize) ||
            !Queue(index, current->status, current->statusSize))
            return;
    }
    StartRead(index);
}

// Does what is due (the clients that do not read are dropped, the log's counts written, the
// listener tried again), then lists what the loop waits for: the listener's connection, and each
// client's read and write in flight.
int PipeServerLoop::WaitHandles()
{
    const ULONGLONG now = GetTickCount64();
    DropOverdue(now);
    LogUnwritten(false);
    if (!Listening() && now >= retryAt)
        Listen();
    int count = 0;
    if (Listening())
        waited[count++] = connectOv.hEvent;
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
    waitedCount = count;
    return count;
}

// Until the first of: the listener's next try, the moment a client's unsent data has waited too
// long, the end of the log's minute.
DWORD PipeServerLoop::WaitTimeout() const
{
    const ULONGLONG now = GetTickCount64();
    ULONGLONG due = Listening() ? ~0ULL : retryAt;
    for (const PipeClientSlot* slot : slots) {
        if (slot != nullptr && slot->writing && slot->writeStartedAt + PIPE_UNSENT_MS + 1 < due)
            due = slot->writeStartedAt + PIPE_UNSENT_MS + 1;
    }
    const ULONGLONG logDue = viewerLog.DueAt();
    if (logDue != 0 && logDue < due)
        due = logDue;
    if (due == ~0ULL)
        return INFINITE;
    return due <= now ? 0 : due - now < INFINITE ? static_cast<DWORD>(due - now) : INFINITE - 1;
}

// A time-out (-1) only means that something is due, which the next WaitHandles does.
void PipeServerLoop::OnWait(int index)
{
    if (index < 0 || index >= waitedCount)
        return;
    if (index < firstSlot)
        OnConnect();
    else if (isWrite[index])
        OnWrite(slotOf[index]);
    else
        OnRead(slotOf[index]);
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
