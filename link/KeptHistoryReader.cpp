#include "link/KeptHistoryReader.h"

#include "base/Log.h"
#include "base/OwnedHandle.h"
#include "link/PipeMessage.h"
#include "link/PipeServerCheck.h"

#include <process.h>

#include <memory>
#include <new>

namespace
{

// Reads into bytes (room of them) until the server closes; false when the time ran out or stop
// was set (stopped says which), with nothing of the kernel's left in flight.
bool ReadUntilClosed(HANDLE pipe, HANDLE stop, uint8_t* bytes, size_t room, size_t& size,
                     bool& stopped)
{
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (ov.hEvent == nullptr)
        return false;
    const ULONGLONG deadline = GetTickCount64() + KEPT_READ_MS;
    bool closed = false;
    size = 0;
    while (!closed && size < room) {
        ResetEvent(ov.hEvent);
        if (!ReadFile(pipe, bytes + size, static_cast<DWORD>(room - size), nullptr, &ov) &&
            GetLastError() != ERROR_IO_PENDING) {
            closed = true;
            break;
        }
        const ULONGLONG now = GetTickCount64();
        const HANDLE waited[2] = {ov.hEvent, stop};
        const DWORD woken = WaitForMultipleObjects(stop != nullptr ? 2 : 1, waited, FALSE,
                                                   now < deadline ? DWORD(deadline - now) : 0);
        DWORD n = 0;
        if (woken != WAIT_OBJECT_0) {
            stopped = woken == WAIT_OBJECT_0 + 1;
            CancelIo(pipe);
            GetOverlappedResult(pipe, &ov, &n, TRUE);
            break;
        }
        // The server closes once everything is sent: an end of the pipe is the end of the data.
        if (!GetOverlappedResult(pipe, &ov, &n, FALSE))
            closed = true;
        size += n;
    }
    CloseHandle(ov.hEvent);
    return closed || size == room;
}

} // namespace

const char* KeptReadText(KeptRead result)
{
    switch (result) {
    case KeptRead::Ok:
        return "read";
    case KeptRead::NoServer:
        return "nobody serves it";
    case KeptRead::NotAmbrels:
        return "a program that is not Ambrel serves it";
    case KeptRead::Broken:
        return "the connection ended before the history was whole";
    case KeptRead::Garbled:
        return "garbage";
    case KeptRead::NoMemory:
        return "no memory";
    case KeptRead::Stopped:
        return "stopped";
    }
    return "?";
}

KeptRead ReadKeptHistory(HistoryStore& out, HANDLE stop, HistoryDecode& decoded)
{
    decoded = HistoryDecode::Ok;
    HANDLE pipe = ConnectToPipe(PIPE_KEPT_NAME, FILE_FLAG_OVERLAPPED, 1000);
    if (pipe == INVALID_HANDLE_VALUE)
        return KeptRead::NoServer;
    ULONG processId = 0;
    if (IdentifyPipeServer(pipe, processId) == PipeServerKind::NotAmbrels) {
        CloseHandle(pipe);
        return KeptRead::NotAmbrels;
    }
    // One byte more than a history holds: a server that sends more is not believed.
    const size_t room = HISTORY_ENCODED_SIZE + 1;
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[room]);
    size_t size = 0;
    bool stopped = false;
    const bool whole = bytes && ReadUntilClosed(pipe, stop, bytes.get(), room, size, stopped);
    CloseHandle(pipe);
    if (!bytes)
        return KeptRead::NoMemory;
    if (!whole || size == 0)
        return stopped ? KeptRead::Stopped : KeptRead::Broken;
    decoded = DecodeHistory(bytes.get(), size, out);
    return decoded == HistoryDecode::Ok ? KeptRead::Ok : KeptRead::Garbled;
}

bool KeptHistoryFetch::Start()
{
    if (thread != nullptr) {
        if (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0)
            return true;
        CloseOwnedHandle(thread);
    }
    if (stopEvent == nullptr)
        stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stopEvent != nullptr)
        thread = reinterpret_cast<HANDLE>(_beginthreadex(
            nullptr, 64 * 1024, ThreadMain, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (thread == nullptr) {
        LogPrint("KeptHistory: the reader's thread cannot be started\n");
        return false;
    }
    return true;
}

void KeptHistoryFetch::Stop()
{
    StopOwnedThread(thread, stopEvent);
    CloseOwnedHandle(stopEvent);
}

// The store travels with the message; what arrives after the window's end is freed here.
unsigned __stdcall KeptHistoryFetch::ThreadMain(void* fetch)
{
    const KeptHistoryFetch& self = *static_cast<const KeptHistoryFetch*>(fetch);
    HistoryStore* store = new (std::nothrow) HistoryStore();
    HistoryDecode decoded = HistoryDecode::Ok;
    const KeptRead result =
        store != nullptr ? ReadKeptHistory(*store, self.stopEvent, decoded) : KeptRead::NoMemory;
    if (result != KeptRead::Ok) {
        LogPrint("KeptHistory: the controller's history cannot be read: %s%s%s\n",
                 KeptReadText(result), result == KeptRead::Garbled ? ", " : "",
                 result == KeptRead::Garbled ? HistoryDecodeText(decoded) : "");
        delete store;
        store = nullptr;
    } else
        LogPrint("KeptHistory: the controller's history read\n");
    HWND hwnd = self.window != nullptr ? self.window->hwnd.load() : nullptr;
    if (hwnd == nullptr || !PostMessageW(hwnd, WM_KEPTHISTORY, static_cast<WPARAM>(result),
                                         reinterpret_cast<LPARAM>(store)))
        delete store;
    return 0;
}
