#include "link/PipeListener.h"

#include "base/Log.h"
#include "base/OwnedHandle.h"
#include "link/PipeMessage.h"
#include "link/PipeSecurity.h"

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

} // namespace

bool PipeListener::Open()
{
    connectOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (connectOv.hEvent == nullptr)
        return false;
    if (MakePipeSecurity(security))
        return true;
    const DWORD error = GetLastError();
    LogPrint("%s: the pipe's security cannot be made (error=%lu)\n", label, error);
    SetLastError(error);
    return false;
}

void PipeListener::Close()
{
    CloseListener();
    CloseOwnedHandle(connectOv.hEvent);
    if (security != nullptr) {
        LocalFree(security);
        security = nullptr;
    }
}

DWORD PipeListener::TakeFailure()
{
    const DWORD error = failure;
    failure = 0;
    return error;
}

// The next listener is made before the viewer's instance can be closed (a refusal, a viewer that
// has already gone).
HANDLE PipeListener::TakeConnection()
{
    DWORD n = 0;
    const bool connected =
        connectedAtOnce || GetOverlappedResult(listener, &connectOv, &n, FALSE) != FALSE;
    connectPending = false;
    connectedAtOnce = false;
    if (!connected) {
        DisconnectNamedPipe(listener);
        retryAt = 0;
        return nullptr;
    }
    HANDLE pipe = listener;
    listener = nullptr;
    Listen();
    return pipe;
}

// The very first instance must be the first of its name: a pipe of that name made by another
// process before it is refused rather than served beside. Every later one joins an instance that
// is still open, as one stays open from then on.
HANDLE PipeListener::MakeInstance()
{
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, security, FALSE};
    const DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED |
                           (named ? 0 : static_cast<DWORD>(FILE_FLAG_FIRST_PIPE_INSTANCE));
    HANDLE pipe = CreateNamedPipeW(name, openMode,
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
        LogPrint("%s: CreateNamedPipe() error=%lu\n", label, error);
    makeFailing = true;
    if (!failureTold) {
        failureTold = true;
        failure = error;
    }
    return nullptr;
}

// Makes the listener wait for the next client; when it cannot, retryAt says when to try again.
void PipeListener::Listen()
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
            LogPrint("%s: ConnectNamedPipe() error=%lu\n", label, error);
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
void PipeListener::Recycle(HANDLE pipe)
{
    DisconnectNamedPipe(pipe);
    if (listener == nullptr) {
        listener = pipe;
        retryAt = 0;
        return;
    }
    CloseHandle(pipe);
}

void PipeListener::CloseListener()
{
    if (listener == nullptr)
        return;
    if (connectPending) {
        CancelIo(listener);
        DWORD n = 0;
        GetOverlappedResult(listener, &connectOv, &n, TRUE);
        connectPending = false;
    }
    connectedAtOnce = false;
    CloseHandle(listener);
    listener = nullptr;
}
