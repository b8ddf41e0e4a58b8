// The controller's history across runs: read from its file at start, fed with every report,
// written every HISTORY_SAVE_MS and at an orderly end. The tray's file is in the user's
// %LOCALAPPDATA%\Ambrel, the service's in %ProgramData%\Ambrel, the directory that only
// administrators may change. A file that cannot be taken is set aside and logged once; a file
// that cannot be written is logged once; neither stops the controller.
//
// The periodic write runs on a thread of its own, made for it, so that a slow disk never holds
// up the controller's window (the reports, the pipe): the bytes are encoded on the main thread
// and handed to the thread with it, which owns them until it ends. At the end the last write is
// made on the main thread, after the one under way.
#pragma once

#include "base/HistoryStore.h"

#include <windows.h>

#include <atomic>

const UINT_PTR HISTORY_SAVE_TIMER_ID = 0x4853;
const UINT HISTORY_SAVE_MS = 10 * 60 * 1000;
// How long the end waits for a periodic write under way.
const DWORD HISTORY_WRITER_WAIT_MS = 5000;

struct HistoryWrite;

class HistoryKeeper
{
  public:
    // Null before Start, or when there was no memory for it.
    HistoryStore* store;
    // The file, empty when there is no place for it (then the history lives for the run only).
    wchar_t path[MAX_PATH];
    // The end has been written: nothing more is recorded or written.
    bool stopped;
    // The periodic write under way, or the last one not yet joined.
    HANDLE writer;
    // A failed write was logged: later failures are not, until a write succeeds.
    std::atomic<bool> failureLogged;

    // Finds the file (machine: the service's), reads it and starts the timer on window.
    void Start(bool machine, HWND window);
    // One report.
    void Record(const HistorySample& sample);
    // The timer: the minutes up to now, and a write in the background.
    void OnTimer();
    // The file written here and now, up to now (Ambrel.exe --export); false when it cannot be.
    bool SaveNow();
    // The history up to now encoded into out (room bytes), for a reader of the pipe: its size,
    // or 0 when none is held or room is too small.
    size_t EncodeNow(uint8_t* out, size_t room);
    // The machine goes to sleep: no report holds while it sleeps; what is held is written.
    void Suspend();
    // The end: the minutes up to now, and the last write, here and now. The store stays.
    void Stop(HWND window);

  private:
    void BringUpToDate();
    // Waits at most waitMs for the write under way; false when it is still under way.
    bool JoinWriter(DWORD waitMs);
    // The bytes of now, or null when there is no memory.
    HistoryWrite* Encode();
    static unsigned __stdcall WriterMain(void* write);
};

// What a write does, on whichever thread: saves and logs its failure once; 0 or the error.
DWORD WriteHistory(HistoryWrite* write);
