// Who serves the status pipe. Any process may create a pipe of that name where none is served
// (before the service starts, after a crash, between one tray and the next), so a viewer believes
// a server only when it is the Ambrel service's own process, as the Service Control Manager
// reports it, or an Ambrel.exe in the viewer's own session (a tray of this user). Anything else
// is not Ambrel's, and what it says is never shown.
#pragma once

#include <windows.h>

// The name of the machine's service, as the Service Control Manager knows it.
const wchar_t AMBREL_SERVICE_NAME[] = L"Ambrel";

enum class PipeServerKind { Service, OwnTray, NotAmbrels };

// The kind of process that serves the connected pipe; processId gets its id (0 when the pipe
// does not say).
PipeServerKind IdentifyPipeServer(HANDLE pipe, ULONG& processId);

// The process id of the running Ambrel service; 0 when it does not run or cannot be asked.
// Every user may ask (the service's access list grants its status to interactive and
// authenticated users).
DWORD AmbrelServiceProcessId();

// True when the process is an Ambrel.exe (by the name of its image); with thisSession, only in
// this process's session. A user may not open another user's process: only the service asks
// about every session.
bool IsAmbrelProcess(DWORD processId, bool thisSession);

// True when the running Ambrel service's own process serves the status pipe.
bool AmbrelServiceServesPipe();

// Connects to the pipe name read only, so that its server may identify this process but never
// act as it (flags: what else CreateFile takes, FILE_FLAG_OVERLAPPED or 0); while every instance
// is taken, waits up to waitMs once for the next. INVALID_HANDLE_VALUE when nobody serves it.
HANDLE ConnectToPipe(const wchar_t* name, DWORD flags, DWORD waitMs);

// The process that serves the status pipe, found by connecting to it (read only, identification
// only); 0 when no pipe is there or it does not say.
ULONG PipeServerProcessId();
