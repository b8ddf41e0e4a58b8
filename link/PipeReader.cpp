#include "link/PipeReader.h"

#include "base/OwnedHandle.h"

#include <cstring>

bool PipeReader::Start()
{
    if (ov.hEvent == nullptr)
        ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return ov.hEvent != nullptr;
}

void PipeReader::Release()
{
    Close();
    CloseOwnedHandle(ov.hEvent);
}

DWORD PipeReader::Open()
{
    Close();
    HANDLE opened = CreateFileW(
        PIPE_NAME, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
        FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error != 0 ? error : ERROR_GEN_FAILURE;
    }
    pipe = opened;
    inSize = 0;
    start = 0;
    return 0;
}

void PipeReader::Close()
{
    if (pipe == nullptr)
        return;
    if (reading) {
        CancelIo(pipe);
        DWORD n = 0;
        GetOverlappedResult(pipe, &ov, &n, TRUE);
        reading = false;
    }
    CloseOwnedHandle(pipe);
}

bool PipeReader::BeginRead()
{
    // What Next has handed out goes; a message begun stays at the front.
    std::memmove(in, in + start, inSize - start);
    inSize -= start;
    start = 0;
    ResetEvent(ov.hEvent);
    if (!ReadFile(pipe, in + inSize, static_cast<DWORD>(sizeof in - inSize), nullptr, &ov) &&
        GetLastError() != ERROR_IO_PENDING)
        return false;
    reading = true;
    return true;
}

bool PipeReader::EndRead()
{
    DWORD n = 0;
    reading = false;
    if (!GetOverlappedResult(pipe, &ov, &n, FALSE))
        return false;
    inSize += n;
    return true;
}

PipeFrame PipeReader::Next(PipeMessageView& message)
{
    const PipeFrame frame = CheckPipeFrame(in + start, inSize - start, message.size, message.kind);
    if (frame == PipeFrame::Complete) {
        message.bytes = in + start;
        start += message.size;
    }
    return frame;
}
