#include "link/PipeServerCheck.h"

#include "base/AmbrelProcess.h"
#include "link/PipeMessage.h"

DWORD AmbrelServiceProcessId()
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr)
        return 0;
    DWORD processId = 0;
    SC_HANDLE service = OpenServiceW(manager, AMBREL_SERVICE_NAME, SERVICE_QUERY_STATUS);
    if (service != nullptr) {
        SERVICE_STATUS_PROCESS status = {};
        DWORD needed = 0;
        if (QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                 sizeof status, &needed) &&
            status.dwCurrentState != SERVICE_STOPPED)
            processId = status.dwProcessId;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return processId;
}

bool IsAmbrelProcess(DWORD processId, bool thisSession)
{
    return processId != 0 && (!thisSession || InThisSession(processId)) &&
           ProgramOfProcess(processId) == ProgramKind::Ambrel;
}

HANDLE ConnectToPipe(const wchar_t* name, DWORD flags, DWORD waitMs)
{
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 2 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
        pipe = CreateFileW(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           flags | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        // Every instance busy: the server makes the next one at once.
        if (pipe == INVALID_HANDLE_VALUE &&
            (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeW(name, waitMs)))
            break;
    }
    return pipe;
}

ULONG PipeServerProcessId()
{
    HANDLE pipe = ConnectToPipe(PIPE_NAME, 0, 500);
    if (pipe == INVALID_HANDLE_VALUE)
        return 0;
    ULONG processId = 0;
    if (!GetNamedPipeServerProcessId(pipe, &processId))
        processId = 0;
    CloseHandle(pipe);
    return processId;
}

PipeServerKind IdentifyPipeServer(HANDLE pipe, ULONG& processId)
{
    processId = 0;
    if (!GetNamedPipeServerProcessId(pipe, &processId) || processId == 0)
        return PipeServerKind::NotAmbrels;
    if (processId == AmbrelServiceProcessId())
        return PipeServerKind::Service;
    return IsAmbrelProcess(processId, true) ? PipeServerKind::OwnTray : PipeServerKind::NotAmbrels;
}

// The Service Control Manager is asked only where the service is installed (its key is there):
// asking loads the RPC libraries for the rest of the run, some 550 KiB of a tray's memory at
// rest on every machine without the service.
bool AmbrelServiceServesPipe()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\Ambrel", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    const DWORD service = AmbrelServiceProcessId();
    return service != 0 && PipeServerProcessId() == service;
}
