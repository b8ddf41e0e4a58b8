#include "link/PipeServerLoop.h"

#include "base/Log.h"
#include "base/OwnedHandle.h"

#include <cstring>

// Completes by the event whether it completes now or later; false when the client was dropped.
bool PipeServerLoop::StartRead(int index)
{
    PipeClientSlot& slot = *slots[index];
    if (!ReadFile(slot.pipe, slot.in + slot.inSize,
                  static_cast<DWORD>(PIPE_HEADER_SIZE - slot.inSize), nullptr, &slot.readOv) &&
        GetLastError() != ERROR_IO_PENDING) {
        Drop(index, ViewerLine::Left);
        return false;
    }
    slot.reading = true;
    return true;
}

// A viewer has nothing to send: whatever it writes is checked as a message and refused. A
// header that has not fully arrived holds nothing up but its own connection.
void PipeServerLoop::OnRead(int index)
{
    PipeClientSlot& slot = *slots[index];
    DWORD n = 0;
    slot.reading = false;
    if (!GetOverlappedResult(slot.pipe, &slot.readOv, &n, FALSE)) {
        Drop(index, ViewerLine::Left);
        return;
    }
    slot.inSize += n;
    size_t size = 0;
    uint16_t kind = 0;
    switch (CheckPipeFrame(slot.in, slot.inSize, size, kind)) {
    case PipeFrame::Partial:
        if (slot.inSize < PIPE_HEADER_SIZE) {
            StartRead(index);
            return;
        }
        Drop(index, ViewerLine::DroppedMessage);
        return;
    case PipeFrame::Oversized:
        Drop(index, ViewerLine::DroppedOversized);
        return;
    case PipeFrame::Unknown:
        Drop(index, ViewerLine::DroppedGarbage);
        return;
    case PipeFrame::Complete:
        Drop(index, ViewerLine::DroppedMessage);
        return;
    }
}

// False when the client was dropped.
bool PipeServerLoop::StartWrite(int index)
{
    PipeClientSlot& slot = *slots[index];
    if (slot.writing || slot.outSize == 0)
        return true;
    if (!WriteFile(slot.pipe, slot.out, static_cast<DWORD>(slot.outSize), nullptr, &slot.writeOv) &&
        GetLastError() != ERROR_IO_PENDING) {
        Drop(index, ViewerLine::Left);
        return false;
    }
    slot.writing = true;
    slot.writeStartedAt = GetTickCount64();
    return true;
}

void PipeServerLoop::OnWrite(int index)
{
    PipeClientSlot& slot = *slots[index];
    DWORD n = 0;
    slot.writing = false;
    if (!GetOverlappedResult(slot.pipe, &slot.writeOv, &n, FALSE)) {
        Drop(index, ViewerLine::Left);
        return;
    }
    std::memmove(slot.out, slot.out + n, slot.outSize - n);
    slot.outSize -= n;
    StartWrite(index);
}

// Appends behind what a write in flight still reads. False when the client was dropped.
bool PipeServerLoop::Queue(int index, const uint8_t* bytes, size_t size)
{
    PipeClientSlot& slot = *slots[index];
    if (slot.outSize + size > PIPE_UNSENT_BOUND ||
        (slot.writing && GetTickCount64() - slot.writeStartedAt > PIPE_UNSENT_MS)) {
        Drop(index, ViewerLine::DroppedSlow);
        return false;
    }
    std::memcpy(slot.out + slot.outSize, bytes, size);
    slot.outSize += size;
    return StartWrite(index);
}

void PipeServerLoop::Drop(int index, ViewerLine why)
{
    LogViewer(slots[index]->processId, why);
    Release(index);
}

// Cancels what is in flight and waits until the kernel has let go of the buffers.
void PipeServerLoop::Release(int index)
{
    PipeClientSlot* slot = slots[index];
    slots[index] = nullptr;
    if (slot->pipe != nullptr) {
        CancelIo(slot->pipe);
        if (slot->reading)
            WaitOut(slot->pipe, slot->readOv);
        if (slot->writing)
            WaitOut(slot->pipe, slot->writeOv);
        Recycle(slot->pipe);
        --viewers;
    }
    CloseOwnedHandle(slot->readOv.hEvent);
    CloseOwnedHandle(slot->writeOv.hEvent);
    delete slot;
    // Nobody views: the next viewer gets a snapshot made for it.
    if (viewers == 0) {
        delete current;
        current = nullptr;
    }
}

// A client that has not read what was sent to it for PIPE_UNSENT_MS is dropped whether or not
// more comes for it: the ones that never read cannot hold the slots that viewers need.
void PipeServerLoop::DropOverdue(ULONGLONG now)
{
    for (int i = 0; i < PIPE_MAX_CLIENTS; ++i) {
        if (slots[i] != nullptr && slots[i]->writing &&
            now - slots[i]->writeStartedAt > PIPE_UNSENT_MS)
            Drop(i, ViewerLine::DroppedSlow);
    }
}

// Clients that come and go as fast as they can cost the log a few lines a minute.
void PipeServerLoop::LogViewer(DWORD processId, ViewerLine line)
{
    const ULONGLONG now = GetTickCount64();
    LogUnwritten(false);
    if (viewerLog.Take(line, now))
        LogPrint("PipeServer: viewer %lu %s\n", processId, ViewerLineText(line));
}

void PipeServerLoop::LogUnwritten(bool ending)
{
    ViewerCounts counts = {};
    if (viewerLog.TakeUnwritten(GetTickCount64(), ending, counts))
        LogPrint(
            "PipeServer: viewers not logged one by one in the last minute: %lu connected, "
            "%lu left, %lu refused, %lu dropped\n",
            static_cast<unsigned long>(counts.connected), static_cast<unsigned long>(counts.left),
            static_cast<unsigned long>(counts.refused), static_cast<unsigned long>(counts.dropped));
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
