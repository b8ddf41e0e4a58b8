#include "link/PipeServerCheck.h"

#include "link/PipeMessage.h"

namespace
{

const wchar_t IMAGE_NAME[] = L"Ambrel.exe";

// The file name of a path, after its last separator.
const wchar_t* FileNameOf(const wchar_t* path)
{
    const wchar_t* name = path;
    for (const wchar_t* c = path; *c != L'\0'; ++c) {
        if (*c == L'\\' || *c == L'/')
            name = c + 1;
    }
    return name;
}

} // namespace

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
    DWORD session = 0, own = 0;
    if (processId == 0 ||
        (thisSession && (!ProcessIdToSessionId(processId, &session) ||
                         !ProcessIdToSessionId(GetCurrentProcessId(), &own) || session != own)))
        return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr)
        return false;
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    const bool named = QueryFullProcessImageNameW(process, 0, path, &length) != 0;
    CloseHandle(process);
    return named && CompareStringOrdinal(FileNameOf(path), -1, IMAGE_NAME, -1, TRUE) == CSTR_EQUAL;
}

ULONG PipeServerProcessId()
{
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 2 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
        pipe = CreateFileW(PIPE_NAME, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        // Every instance busy: the server makes the next one at once.
        if (pipe == INVALID_HANDLE_VALUE &&
            (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeW(PIPE_NAME, 500)))
            break;
    }
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

bool AmbrelServiceServesPipe()
{
    const DWORD service = AmbrelServiceProcessId();
    return service != 0 && PipeServerProcessId() == service;
}
