// A reusable worker thread: calls a callback once at start, once every time the interval passes
// without a stop request, and once at the end. The owner stops it by signalling the stop event and
// joining the thread. Works zero-initialised; derived classes place their fields after these.
#pragma once

#include <windows.h>

// Callback reasons.
const int THREADCALLBACK_INIT = 0;
const int THREADCALLBACK_TIMEOUT = 1;
const int THREADCALLBACK_END = 2;

typedef void (*ThreadCallback)(int reason, void* argument);

class CiThreadEx
{
  public:
    // The worker thread; null when no thread is held.
    HANDLE thread;
    // Unnamed auto-reset event that asks the worker to end; null when not held.
    HANDLE stopEvent;
    // Milliseconds between the end of one callback and the next TIMEOUT call.
    DWORD interval;
    void* argument;
    ThreadCallback callback;

    // Starts the worker unless a thread is already held. A stop event still held from an earlier
    // run is reused, with any stop request left in it cleared.
    void Start(DWORD intervalMs, ThreadCallback threadCallback, void* callbackArgument);
    // Signals the stop event, joins and releases the thread, then clears interval, argument and
    // callback. Safe to repeat and on an object that never started.
    void Stop();
    // Stop, then releases the stop event. Safe to repeat.
    void Close();

    static unsigned __stdcall threadfnc(void* object);

  private:
    void Call(int reason);
};
