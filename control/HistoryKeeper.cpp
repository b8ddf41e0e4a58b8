#include "control/HistoryKeeper.h"

#include "base/HistoryCodec.h"
#include "base/HistoryFile.h"
#include "base/LocalClock.h"
#include "base/Log.h"
#include "base/ProtectedDirectory.h"

#include <process.h>

#include <cstring>
#include <new>

struct HistoryWrite {
    wchar_t path[MAX_PATH];
    std::atomic<bool>* failureLogged;
    size_t size;
    uint8_t bytes[HISTORY_ENCODED_SIZE];
};

namespace
{

// The service's directory is made and checked as its log's is: nothing is written into one that
// another account may change.
bool MachineHistoryDirectory(wchar_t* directory, size_t size)
{
    char narrow[MAX_PATH];
    const DirectoryCheck check = ProtectMachineDirectory(narrow, sizeof narrow);
    if (check != DIRECTORY_PROTECTED) {
        LogPrint("History: %%ProgramData%%\\Ambrel %s: the history is kept for this run only\n",
                 check == DIRECTORY_REFUSED ? "is not protected" : "cannot be made");
        return false;
    }
    return MultiByteToWideChar(CP_ACP, 0, narrow, -1, directory, static_cast<int>(size)) > 0;
}

} // namespace

DWORD WriteHistory(HistoryWrite* write)
{
    const DWORD error = SaveHistoryFile(write->path, write->bytes, write->size);
    if (error == 0) {
        write->failureLogged->store(false);
        return 0;
    }
    if (!write->failureLogged->exchange(true))
        LogPrint("History: %ls cannot be written (error %lu); the file there is kept as it was\n",
                 write->path, error);
    return error;
}

void HistoryKeeper::Start(bool machine, HWND window)
{
    writer = nullptr;
    stopped = false;
    failureLogged.store(false);
    path[0] = L'\0';
    store = new (std::nothrow) HistoryStore();
    if (store == nullptr) {
        LogPrint("History: no memory: nothing is kept\n");
        return;
    }
    store->Clear();
    wchar_t directory[MAX_PATH];
    const bool found = machine ? MachineHistoryDirectory(directory, MAX_PATH)
                               : UserHistoryDirectory(directory, MAX_PATH);
    if (!found || !HistoryFilePath(directory, path, MAX_PATH)) {
        path[0] = L'\0';
        LogPrint("History: no directory for the file: the history is kept for this run only\n");
        return;
    }
    char why[96];
    switch (LoadHistoryFile(path, *store, why, sizeof why)) {
    case HistoryLoad::Read:
        LogPrint("History: %ls read%s%s\n", path, why[0] != '\0' ? ", " : "", why);
        break;
    case HistoryLoad::Missing:
        LogPrint("History: %ls begins\n", path);
        break;
    case HistoryLoad::SetAside:
        LogPrint("History: %ls %s: set aside as %ls%ls, the history begins anew\n", path, why,
                 HISTORY_FILE_NAME, HISTORY_ASIDE_SUFFIX);
        break;
    case HistoryLoad::Refused:
        LogPrint("History: %ls %s and cannot be set aside: the history begins anew, for this run "
                 "only\n",
                 path, why);
        path[0] = L'\0';
        break;
    }
    if (window != nullptr)
        SetTimer(window, HISTORY_SAVE_TIMER_ID, HISTORY_SAVE_MS, nullptr);
}

void HistoryKeeper::Record(const HistorySample& sample)
{
    if (store == nullptr || stopped)
        return;
    const int64_t utc = UtcClockMs();
    store->Record(static_cast<int64_t>(GetTickCount64()), utc, LocalOffsetMinutes(utc), sample);
}

void HistoryKeeper::BringUpToDate()
{
    const int64_t utc = UtcClockMs();
    store->Advance(static_cast<int64_t>(GetTickCount64()), utc, LocalOffsetMinutes(utc));
}

void HistoryKeeper::OnTimer()
{
    if (store == nullptr || stopped || path[0] == L'\0')
        return;
    BringUpToDate();
    if (!JoinWriter(0)) {
        LogPrint("History: the last write is still under way; this one is left out\n");
        return;
    }
    HistoryWrite* write = Encode();
    if (write == nullptr)
        return;
    const uintptr_t thread = _beginthreadex(nullptr, 64 * 1024, WriterMain, write,
                                            STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == 0) {
        // No thread: written here, as at the end.
        WriteHistory(write);
        delete write;
        return;
    }
    writer = reinterpret_cast<HANDLE>(thread);
}

bool HistoryKeeper::SaveNow()
{
    if (store == nullptr || stopped || path[0] == L'\0' || !JoinWriter(HISTORY_WRITER_WAIT_MS))
        return false;
    BringUpToDate();
    HistoryWrite* write = Encode();
    if (write == nullptr)
        return false;
    const bool written = WriteHistory(write) == 0;
    delete write;
    return written;
}

size_t HistoryKeeper::EncodeNow(uint8_t* out, size_t room)
{
    if (store == nullptr)
        return 0;
    if (!stopped)
        BringUpToDate();
    return EncodeHistory(*store, out, room);
}

void HistoryKeeper::Suspend()
{
    if (store == nullptr || stopped)
        return;
    BringUpToDate();
    store->EndRun();
    OnTimer();
}

void HistoryKeeper::Stop(HWND window)
{
    if (window != nullptr)
        KillTimer(window, HISTORY_SAVE_TIMER_ID);
    if (store == nullptr || stopped)
        return;
    if (!JoinWriter(HISTORY_WRITER_WAIT_MS)) {
        // A write that hangs past the wait keeps its own bytes; a second end waits no more.
        LogPrint("History: the last periodic write has not ended; the end's write is left out\n");
        stopped = true;
        return;
    }
    BringUpToDate();
    store->EndRun();
    if (path[0] != L'\0') {
        if (HistoryWrite* write = Encode()) {
            WriteHistory(write);
            delete write;
        }
    }
    // The store stays for the presenter, which may still show it.
    stopped = true;
}

bool HistoryKeeper::JoinWriter(DWORD waitMs)
{
    if (writer == nullptr)
        return true;
    if (WaitForSingleObject(writer, waitMs) != WAIT_OBJECT_0)
        return false;
    CloseHandle(writer);
    writer = nullptr;
    return true;
}

HistoryWrite* HistoryKeeper::Encode()
{
    HistoryWrite* write = new (std::nothrow) HistoryWrite;
    if (write == nullptr) {
        LogPrint("History: no memory for a write\n");
        return nullptr;
    }
    std::memcpy(write->path, path, sizeof write->path);
    write->failureLogged = &failureLogged;
    write->size = EncodeHistory(*store, write->bytes, sizeof write->bytes);
    return write;
}

unsigned __stdcall HistoryKeeper::WriterMain(void* write)
{
    HistoryWrite* owned = static_cast<HistoryWrite*>(write);
    WriteHistory(owned);
    delete owned;
    return 0;
}
