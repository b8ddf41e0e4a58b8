#include "link/PipeClient.h"

#include "base/Log.h"
#include "base/OwnedHandle.h"
#include "link/PipeReader.h"
#include "link/PipeServerCheck.h"

#include <process.h>

#include <cstring>
#include <new>

namespace
{

// Whether the newest message of a kind waits to be handed over, and when the last one was
// (GetTickCount64): the window gets at most one of each kind each PIPE_STATUS_INTERVAL_MS,
// whatever the server sends.
struct HandingPace {
    bool held = false;
    ULONGLONG handedAt = 0;

    DWORD Until(ULONGLONG now) const
    {
        if (!held)
            return INFINITE;
        const ULONGLONG since = now - handedAt;
        return since >= PIPE_STATUS_INTERVAL_MS
                   ? 0
                   : static_cast<DWORD>(PIPE_STATUS_INTERVAL_MS - since);
    }
    // True when the held message is to be handed over now, which is counted as done.
    bool Take(ULONGLONG now)
    {
        if (Until(now) != 0)
            return false;
        held = false;
        handedAt = now;
        return true;
    }
};

class ClientLoop
{
  public:
    PipeClient& client;
    PipeReader reader;
    // The viewer has been told that the controller is missing, and not told otherwise since.
    bool lostTold = false;
    // A history comes first on a connection or not at all: a server that sends more cannot
    // fill the viewer's queue with them.
    bool historyDue = false;
    // Where the process that serves the connection runs, and whether it has sent a good message.
    PipeServerSession session = PipeServerSession::Own;
    bool served = false;
    // The last server found was not Ambrel's; the viewer has been told which way it was lost.
    bool notAmbrels = false;
    bool toldNotAmbrels = false;
    // The wait before the next connection: it doubles after each one that ends without a good
    // message (garbage, or a server that refuses the viewer), so that neither side spins.
    DWORD retryMs = PIPE_RETRY_MS;
    // The newest status and day not handed over yet: a server that floods the viewer with
    // either costs the window a few a second.
    PipeStatus held = {};
    HandingPace statusPace;
    PipeDay heldDay = {};
    HandingPace dayPace;

    explicit ClientLoop(PipeClient& owner) : client(owner) {}
    void Run();

  private:
    bool Connect();
    bool FindServer();
    void Disconnect();
    void SetRetry(bool wasServed);
    DWORD UntilNextHanding() const;
    void HandHeld();
    bool ReadSome();
    bool TakeMessages();
    bool Hand(uint16_t kind, const uint8_t* message, size_t size);
    void TellLost();
    bool Post(UINT message, WPARAM wParam, LPARAM lParam) const;
};

// Read only, and the server may identify this process but not act as it. A server that is not
// Ambrel's is left at once, and nothing it says is read.
bool ClientLoop::Connect()
{
    if (reader.Open() != 0) {
        notAmbrels = false;
        return false;
    }
    historyDue = true;
    served = false;
    LogPrint("PipeClient: connected\n");
    if (FindServer())
        return true;
    Disconnect();
    return false;
}

// The service's own process, or an Ambrel.exe of this session; the session tells the view which.
bool ClientLoop::FindServer()
{
    ULONG processId = 0;
    const PipeServerKind kind = IdentifyPipeServer(reader.pipe, processId);
    const bool wasNotAmbrels = notAmbrels;
    notAmbrels = kind == PipeServerKind::NotAmbrels;
    if (notAmbrels) {
        if (!wasNotAmbrels)
            LogPrint("PipeClient: the pipe is served by process %lu, which is not Ambrel's; "
                     "nothing it says is shown\n",
                     processId);
        return false;
    }
    session = kind == PipeServerKind::Service ? PipeServerSession::Zero : PipeServerSession::Own;
    LogPrint("PipeClient: served by process %lu (%s)\n", processId,
             kind == PipeServerKind::Service ? "the Ambrel service" : "Ambrel in this session");
    return true;
}

void ClientLoop::Disconnect()
{
    if (reader.pipe == nullptr)
        return;
    reader.Close();
    statusPace.held = false;
    dayPace.held = false;
}

// After a connection: back to the shortest wait when it was served, else twice the last.
void ClientLoop::SetRetry(bool wasServed)
{
    const DWORD doubled = retryMs * 2;
    retryMs = wasServed ? PIPE_RETRY_MS : doubled < PIPE_RETRY_MAX_MS ? doubled : PIPE_RETRY_MAX_MS;
}

DWORD ClientLoop::UntilNextHanding() const
{
    const ULONGLONG now = GetTickCount64();
    const DWORD status = statusPace.Until(now), day = dayPace.Until(now);
    return status < day ? status : day;
}

// The day first: it replaces the one the window holds, and the status goes on from it. Without
// memory the message is left out.
void ClientLoop::HandHeld()
{
    const ULONGLONG now = GetTickCount64();
    if (dayPace.Take(now)) {
        PipeDay* day = new (std::nothrow) PipeDay(heldDay);
        if (day != nullptr && !Post(WM_PIPEDAY, 0, reinterpret_cast<LPARAM>(day)))
            delete day;
    }
    if (!statusPace.Take(now))
        return;
    PipeStatus* status = new (std::nothrow) PipeStatus(held);
    if (status == nullptr)
        return;
    if (Post(WM_PIPESTATUS, static_cast<WPARAM>(session), reinterpret_cast<LPARAM>(status)))
        lostTold = false;
    else
        delete status;
}

// Waits for the next bytes, handing over a held status when its time comes; false when the
// pipe broke or the viewer is to stop (stopEvent set).
bool ClientLoop::ReadSome()
{
    if (!reader.BeginRead())
        return false;
    HANDLE handles[2] = {client.stopEvent, reader.ReadEvent()};
    DWORD wait = WAIT_TIMEOUT;
    while ((wait = WaitForMultipleObjects(2, handles, FALSE, UntilNextHanding())) == WAIT_TIMEOUT)
        HandHeld();
    return wait == WAIT_OBJECT_0 + 1 && reader.EndRead();
}

// Hands over every whole message that has arrived; false on garbage.
bool ClientLoop::TakeMessages()
{
    for (;;) {
        PipeMessageView message = {};
        const PipeFrame frame = reader.Next(message);
        if (frame == PipeFrame::Partial)
            return true;
        if (frame != PipeFrame::Complete || !Hand(message.kind, message.bytes, message.size)) {
            LogPrint("PipeClient: garbage from the pipe\n");
            return false;
        }
    }
}

bool ClientLoop::Hand(uint16_t kind, const uint8_t* message, size_t size)
{
    const bool historyTaken = historyDue;
    historyDue = false;
    if (kind == PIPE_KIND_STATUS) {
        if (!DecodePipeStatus(message, size, held))
            return false;
        statusPace.held = true;
        served = true;
        HandHeld();
        return true;
    }
    if (kind == PIPE_KIND_DAY) {
        if (!DecodePipeDay(message, size, heldDay))
            return false;
        dayPace.held = true;
        HandHeld();
        return true;
    }
    if (!historyTaken)
        return false;
    PipeHistory* history = new (std::nothrow) PipeHistory();
    if (history == nullptr || !DecodePipeHistory(message, size, *history)) {
        delete history;
        return history == nullptr;
    }
    if (!Post(WM_PIPEHISTORY, 0, reinterpret_cast<LPARAM>(history)))
        delete history;
    return true;
}

void ClientLoop::TellLost()
{
    if (lostTold && toldNotAmbrels == notAmbrels)
        return;
    lostTold = Post(WM_PIPELOST, notAmbrels ? PIPE_LOST_NOT_AMBRELS : 0, 0);
    toldNotAmbrels = notAmbrels;
}

bool ClientLoop::Post(UINT message, WPARAM wParam, LPARAM lParam) const
{
    HWND hwnd = client.window->hwnd.load();
    return hwnd != nullptr && PostMessageW(hwnd, message, wParam, lParam) != FALSE;
}

void ClientLoop::Run()
{
    if (!reader.Start()) {
        LogPrint("PipeClient: CreateEvent() error=%lu\n", GetLastError());
        return;
    }
    while (WaitForSingleObject(client.stopEvent, 0) == WAIT_TIMEOUT) {
        if (reader.pipe == nullptr && !Connect()) {
            TellLost();
            // A server that is not Ambrel's is refused as a refusing one is: each time later.
            if (notAmbrels)
                SetRetry(false);
            WaitForSingleObject(client.stopEvent, retryMs);
            continue;
        }
        if (ReadSome() && TakeMessages())
            continue;
        const bool good = served;
        Disconnect();
        if (WaitForSingleObject(client.stopEvent, 0) == WAIT_TIMEOUT) {
            LogPrint("PipeClient: the pipe has gone\n");
            TellLost();
            SetRetry(good);
            WaitForSingleObject(client.stopEvent, retryMs);
        }
    }
    Disconnect();
    reader.Release();
}

} // namespace

bool PipeClient::Start()
{
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stopEvent != nullptr)
        thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadMain, this, 0, nullptr));
    if (thread == nullptr) {
        LogPrint("PipeClient: the viewer's thread cannot be started\n");
        Stop();
        return false;
    }
    return true;
}

void PipeClient::Stop()
{
    StopOwnedThread(thread, stopEvent);
    CloseOwnedHandle(stopEvent);
}

unsigned __stdcall PipeClient::ThreadMain(void* client)
{
    ClientLoop* loop = new (std::nothrow) ClientLoop(*static_cast<PipeClient*>(client));
    if (loop == nullptr) {
        LogPrint("PipeClient: no memory for the viewer\n");
        return 1;
    }
    loop->Run();
    delete loop;
    return 0;
}
