#include "base/EventSource.h"

#include "base/Log.h"

bool EventSource::Open()
{
    if (handle != nullptr)
        return true;
    handle = RegisterEventSourceW(nullptr, EVENT_SOURCE_NAME);
    if (handle == nullptr)
        LogFailureOnce("RegisterEventSourceW");
    return handle != nullptr;
}

void EventSource::Close()
{
    if (handle == nullptr)
        return;
    DeregisterEventSource(handle);
    handle = nullptr;
}

void EventSource::Report(WORD type, DWORD id, LPCWSTR* inserts, WORD count)
{
    if (handle == nullptr)
        return;
    if (!ReportEventW(handle, type, 0, id, nullptr, count, 0, inserts, nullptr))
        LogFailureOnce("ReportEventW");
}

void EventSource::LogFailureOnce(const char* call)
{
    if (failureLogged)
        return;
    failureLogged = true;
    LogPrint("EventSource: %s() error=%lx; further failures are not logged\n", call,
             GetLastError());
}
