#include "link/KeptHistoryServer.h"

#include "base/HistoryCodec.h"
#include "base/Log.h"
#include "base/OwnedHandle.h"
#include "link/PipeMessage.h"

#include <new>

bool KeptHistoryServer::Open()
{
    listener.name = PIPE_KEPT_NAME;
    listener.label = log.label = "HistoryPipe";
    log.client = "reader";
    for (Sender& sender : senders) {
        sender.ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (sender.ov.hEvent == nullptr) {
            LogPrint("HistoryPipe: CreateEvent() error=%lu\n", GetLastError());
            Close();
            return false;
        }
    }
    if (!listener.Open()) {
        Close();
        return false;
    }
    listener.Listen();
    listener.TakeFailure();
    return true;
}

void KeptHistoryServer::Close()
{
    for (Sender& sender : senders) {
        if (sender.pipe != nullptr)
            End(sender);
        CloseOwnedHandle(sender.ov.hEvent);
    }
    listener.Close();
    log.Unwritten(true);
}

// The bytes are made for this reader now: what it gets is the history up to this minute.
void KeptHistoryServer::Accept(HANDLE pipe)
{
    DWORD processId = 0;
    GetNamedPipeClientProcessId(pipe, &processId);
    Sender* sender = nullptr;
    for (Sender& slot : senders) {
        if (slot.pipe == nullptr && sender == nullptr)
            sender = &slot;
    }
    uint8_t* bytes = sender != nullptr && make != nullptr ? new (std::nothrow)
                                                                uint8_t[HISTORY_ENCODED_SIZE]
                                                          : nullptr;
    const size_t size = bytes != nullptr ? make(context, bytes, HISTORY_ENCODED_SIZE) : 0;
    if (size == 0) {
        delete[] bytes;
        log.Line(processId,
                 sender == nullptr ? ViewerLine::RefusedTooMany : ViewerLine::RefusedNoMemory);
        listener.Recycle(pipe);
        return;
    }
    sender->pipe = pipe;
    sender->processId = processId;
    sender->bytes = bytes;
    sender->size = static_cast<DWORD>(size);
    sender->startedAt = GetTickCount64();
    log.Line(processId, ViewerLine::Connected);
    // The event is set however the write ends, at once or later.
    ResetEvent(sender->ov.hEvent);
    sender->writing = WriteFile(pipe, bytes, sender->size, nullptr, &sender->ov) != FALSE ||
                      GetLastError() == ERROR_IO_PENDING;
    if (!sender->writing) {
        log.Line(processId, ViewerLine::Left);
        End(*sender);
    }
}

// The write ends before the instance is made ready for the next reader, which gives the kernel's
// hold on the bytes back.
void KeptHistoryServer::End(Sender& sender)
{
    if (sender.writing) {
        CancelIo(sender.pipe);
        DWORD n = 0;
        GetOverlappedResult(sender.pipe, &sender.ov, &n, TRUE);
        sender.writing = false;
    }
    listener.Recycle(sender.pipe);
    sender.pipe = nullptr;
    delete[] sender.bytes;
    sender.bytes = nullptr;
}

int KeptHistoryServer::WaitHandles(HANDLE* handles)
{
    const ULONGLONG now = GetTickCount64();
    for (Sender& sender : senders) {
        if (sender.pipe != nullptr && now - sender.startedAt >= KEPT_SEND_MS) {
            log.Line(sender.processId, ViewerLine::DroppedSlow);
            End(sender);
        }
    }
    log.Unwritten(false);
    if (!listener.Listening() && now >= listener.RetryAt()) {
        listener.Listen();
        listener.TakeFailure();
    }
    int count = 0;
    if (listener.Listening()) {
        waitedSender[count] = -1;
        handles[count++] = listener.Event();
    }
    for (int i = 0; i < KEPT_SENDERS; ++i) {
        if (senders[i].writing) {
            waitedSender[count] = i;
            handles[count++] = senders[i].ov.hEvent;
        }
    }
    waitedCount = count;
    return count;
}

ULONGLONG KeptHistoryServer::DueAt() const
{
    // A listener to be tried again at once is due at the first moment there is.
    ULONGLONG due = listener.Listening() ? 0 : listener.RetryAt() > 0 ? listener.RetryAt() : 1;
    for (const Sender& sender : senders) {
        const ULONGLONG overdueAt = sender.pipe != nullptr ? sender.startedAt + KEPT_SEND_MS : 0;
        if (overdueAt != 0 && (due == 0 || overdueAt < due))
            due = overdueAt;
    }
    const ULONGLONG logDue = log.DueAt();
    return logDue != 0 && (due == 0 || logDue < due) ? logDue : due;
}

// A write that has taken every byte is done: the reader has read them all, as the pipe holds
// none. Anything else means the reader has gone.
void KeptHistoryServer::OnWait(int index)
{
    if (index < 0 || index >= waitedCount)
        return;
    if (waitedSender[index] < 0) {
        HANDLE pipe = listener.TakeConnection();
        listener.TakeFailure();
        if (pipe != nullptr)
            Accept(pipe);
        return;
    }
    Sender& sender = senders[waitedSender[index]];
    DWORD n = 0;
    const bool written = GetOverlappedResult(sender.pipe, &sender.ov, &n, FALSE) != FALSE;
    sender.writing = false;
    if (!written || n != sender.size)
        log.Line(sender.processId, ViewerLine::Left);
    End(sender);
}
