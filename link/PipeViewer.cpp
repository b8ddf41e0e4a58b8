#include "link/PipeViewer.h"

#include "base/OwnedHandle.h"

#include <cstring>

namespace
{

// Waits until the kernel has let go of a read's or a write's buffer.
void WaitOut(HANDLE pipe, OVERLAPPED& ov)
{
    DWORD n = 0;
    GetOverlappedResult(pipe, &ov, &n, TRUE);
}

} // namespace

bool PipeViewer::Start()
{
    readOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    writeOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return readOv.hEvent != nullptr && writeOv.hEvent != nullptr;
}

HANDLE PipeViewer::Release()
{
    HANDLE held = pipe;
    pipe = nullptr;
    if (held != nullptr) {
        CancelIo(held);
        if (reading)
            WaitOut(held, readOv);
        if (writing)
            WaitOut(held, writeOv);
        reading = writing = false;
    }
    CloseOwnedHandle(readOv.hEvent);
    CloseOwnedHandle(writeOv.hEvent);
    return held;
}

bool PipeViewer::StartRead(ViewerLine& why)
{
    if (!ReadFile(pipe, in + inSize, static_cast<DWORD>(PIPE_HEADER_SIZE - inSize), nullptr,
                  &readOv) &&
        GetLastError() != ERROR_IO_PENDING) {
        why = ViewerLine::Left;
        return false;
    }
    reading = true;
    return true;
}

// A header that has not fully arrived holds nothing up but its own connection.
bool PipeViewer::OnRead(ViewerLine& why)
{
    DWORD n = 0;
    reading = false;
    if (!GetOverlappedResult(pipe, &readOv, &n, FALSE)) {
        why = ViewerLine::Left;
        return false;
    }
    inSize += n;
    size_t size = 0;
    uint16_t kind = 0;
    switch (CheckPipeFrame(in, inSize, size, kind)) {
    case PipeFrame::Partial:
        if (inSize < PIPE_HEADER_SIZE)
            return StartRead(why);
        why = ViewerLine::DroppedMessage;
        return false;
    case PipeFrame::Oversized:
        why = ViewerLine::DroppedOversized;
        return false;
    case PipeFrame::Unknown:
        why = ViewerLine::DroppedGarbage;
        return false;
    case PipeFrame::Complete:
        break;
    }
    why = ViewerLine::DroppedMessage;
    return false;
}

bool PipeViewer::StartWrite(ViewerLine& why)
{
    if (writing || outSize == 0)
        return true;
    if (!WriteFile(pipe, out, static_cast<DWORD>(outSize), nullptr, &writeOv) &&
        GetLastError() != ERROR_IO_PENDING) {
        why = ViewerLine::Left;
        return false;
    }
    writing = true;
    writeStartedAt = GetTickCount64();
    return true;
}

bool PipeViewer::OnWrite(ViewerLine& why)
{
    DWORD n = 0;
    writing = false;
    if (!GetOverlappedResult(pipe, &writeOv, &n, FALSE)) {
        why = ViewerLine::Left;
        return false;
    }
    std::memmove(out, out + n, outSize - n);
    outSize -= n;
    return StartWrite(why);
}

bool PipeViewer::Queue(const uint8_t* bytes, size_t size, ViewerLine& why)
{
    if (outSize + size > PIPE_UNSENT_BOUND ||
        (writing && GetTickCount64() - writeStartedAt > PIPE_UNSENT_MS)) {
        why = ViewerLine::DroppedSlow;
        return false;
    }
    std::memcpy(out + outSize, bytes, size);
    outSize += size;
    return StartWrite(why);
}

ULONGLONG PipeViewer::OverdueAt() const
{
    return writing ? writeStartedAt + PIPE_UNSENT_MS + 1 : 0;
}
