#include "watch/CiThreadEx.h"

#include "base/Log.h"
#include "base/OwnedHandle.h"

#include <process.h>

void CiThreadEx::Start(DWORD intervalMs, ThreadCallback threadCallback, void* callbackArgument)
{
    if (thread != nullptr)
        return;
    interval = intervalMs;
    callback = threadCallback;
    argument = callbackArgument;
    if (stopEvent == nullptr)
        stopEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    else
        ResetEvent(stopEvent); // a request left over from the last run must not end this one
    thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, threadfnc, this, 0, nullptr));
}

void CiThreadEx::Stop()
{
    StopOwnedThread(thread, stopEvent);
    interval = 0;
    argument = nullptr;
    callback = nullptr;
}

void CiThreadEx::Close()
{
    Stop();
    if (stopEvent != nullptr) {
        CloseHandle(stopEvent);
        stopEvent = nullptr;
    }
}

void CiThreadEx::Call(int reason)
{
    if (callback != nullptr)
        callback(reason, argument);
}

unsigned __stdcall CiThreadEx::threadfnc(void* object)
{
    CiThreadEx* self = static_cast<CiThreadEx*>(object);
    LogPrint("CiThreadEx.threadfnc() start\n");
    self->Call(THREADCALLBACK_INIT);
    for (;;) {
        // Each wait starts when the previous callback has returned: no catching up.
        DWORD result = WaitForSingleObject(self->stopEvent, self->interval);
        if (result == WAIT_TIMEOUT) {
            self->Call(THREADCALLBACK_TIMEOUT);
            continue;
        }
        if (result != WAIT_OBJECT_0)
            LogPrint("thread wait=0x%x\n", static_cast<unsigned>(result));
        break;
    }
    self->Call(THREADCALLBACK_END);
    LogPrint("CiThreadEx.threadfnc() end\n");
    // Returning ends the thread through _endthreadex, as the run-time library documents.
    return 0;
}
