// The release steps that every owner of a handle takes: check, release, zero, so that a release
// may run any number of times.
#pragma once

#include <windows.h>

// Closes handle when it is held and zeroes it.
inline void CloseOwnedHandle(HANDLE& handle)
{
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

// Asks a worker thread to end by its stop event, waits until it has, and closes and zeroes the
// thread's handle; nothing when no thread is held.
inline void StopOwnedThread(HANDLE& thread, HANDLE stopEvent)
{
    if (thread != nullptr) {
        SetEvent(stopEvent);
        WaitForSingleObject(thread, INFINITE);
        CloseOwnedHandle(thread);
    }
}
