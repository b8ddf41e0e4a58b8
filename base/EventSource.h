// The program's source in the Windows event log (the Application log, source "Ambrel"). Reporting
// is best effort: a source that cannot be registered, or an event that cannot be written, is
// logged once and changes nothing else. Without the installer's registration the events are
// written all the same; the viewer then shows their inserts without the message text.
//
// A plain handle holder: zero when not open, Close() may run any number of times. Report may be
// called from any thread while the source is open.
#pragma once

#include <windows.h>

// The name under HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application.
const wchar_t EVENT_SOURCE_NAME[] = L"Ambrel";

class EventSource
{
  public:
    // Null when not registered.
    HANDLE handle = nullptr;
    // A failure has been logged; it is logged only once per run.
    bool failureLogged = false;

    bool Open();
    void Close();
    // type: EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE or EVENTLOG_ERROR_TYPE; id: the full
    // message id of the message table; inserts: count texts for %1, %2, ...
    void Report(WORD type, DWORD id, LPCWSTR* inserts, WORD count);

  private:
    void LogFailureOnce(const char* call);
};
