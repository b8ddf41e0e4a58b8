#include "roles/service/Service.h"

#include "base/ErrorOutput.h"
#include "roles/InstanceGuard.h"
#include "roles/service/PauseControl.h"
#include "roles/service/ServiceRecovery.h"
#include "base/EventSource.h"
#include "base/Log.h"
#include "base/ProtectedDirectory.h"
#include "link/PipeServerCheck.h"
#include "res/AmbrelEvents.h"
#include "roles/service/ServiceRole.h"
#include "roles/service/ServiceStatus.h"

#include <cstring>
#include <new>

namespace
{

// While another instance holds the machine-wide guard, the service tries again this often.
const DWORD GUARD_RETRY_MS = 2000;
// Looks, GUARD_RETRY_MS apart, that find no Ambrel serving the status pipe while the guard is
// held, before the name is taken for a squatter's.
const int GUARD_SQUAT_CHECKS = 4;

// The service's own exit code (with ERROR_SERVICE_SPECIFIC_ERROR): the hidden window could not
// be made.
const DWORD SERVICE_NO_WINDOW = 1;

const char NOT_STARTED_BY_SCM_TEXT[] =
    "Ambrel.exe --service runs only as the Windows service \"Ambrel\", started by the Service "
    "Control Manager (net start Ambrel, or the installer's \"Ambrel service\" feature).\r\n"
    "To run Ambrel in the notification area, start Ambrel.exe without --service.\r\n";

// The service's one run: ServiceMain has no parameter for it. Zero-initialised, as the
// controller must be, and made only in the service: as a static object its initialisation would
// touch its pages in every start of the program, the tray's too.
struct ServiceRun {
    HINSTANCE instance;
    int logging;
    ServiceStatus status;
    ServiceRole role;
    DWORD exitCode;
};
ServiceRun* g_run = nullptr;

DWORD WINAPI OnServiceControl(DWORD control, DWORD, LPVOID, LPVOID context)
{
    ServiceStatus& status = *static_cast<ServiceStatus*>(context);
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
    case SERVICE_CONTROL_PRESHUTDOWN:
        LogPrint("service: control %lu: stopping\n", control);
        status.RequestStop();
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        break;
    }
    // Only a caller with SERVICE_USER_DEFINED_CONTROL gets here: the manager has checked it.
    const int minutes = PauseOfControl(control);
    if (minutes < 0)
        return ERROR_CALL_NOT_IMPLEMENTED;
    LogPrint("service: control %lu: %s\n", control, minutes > 0 ? "pause" : "resume");
    // Without its window the service controls nothing (a tray holds the machine): the caller
    // learns that the service cannot take the control, and asks the tray of its session.
    if (!status.PostToWindow(WM_SERVICEPAUSE, static_cast<WPARAM>(minutes)))
        return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    return NO_ERROR;
}

// The service's log (--logging): %ProgramData%\Ambrel\Ambrel.log, in a directory that only the
// system and the administrators may change, since LocalSystem writes there; %TEMP% is the
// system's C:\Windows\Temp, where any user could plant the file or a link first. A directory or
// file that is not as it should be keeps the log off, and the event log says why.
void OpenServiceLog()
{
    char directory[MAX_PATH] = "";
    const DirectoryCheck check = ProtectMachineDirectory(directory, sizeof directory);
    const DWORD error = GetLastError();
    if (check == DIRECTORY_PROTECTED && OpenLogSinksIn(directory))
        return;
    wchar_t path[MAX_PATH] = L"%ProgramData%\\Ambrel";
    if (directory[0] != '\0')
        MultiByteToWideChar(CP_ACP, 0, directory, -1, path, MAX_PATH);
    wchar_t reason[80];
    if (check == DIRECTORY_FAILED)
        wsprintfW(reason, L"error %lu", error);
    else if (check == DIRECTORY_REFUSED)
        lstrcpynW(reason, L"not a directory that only they may change", 80);
    else
        lstrcpynW(reason, L"Ambrel.log in it is a link or cannot be opened", 80);
    LPCWSTR inserts[] = {path, reason};
    EventSource source;
    if (source.Open()) {
        source.Report(EVENTLOG_WARNING_TYPE, MSG_SERVICE_LOG_REFUSED, inserts, 2);
        source.Close();
    }
}

// Any user may make the guard's name before the service starts. The service waits only for an
// Ambrel that serves the status pipe (a tray serves it from its start): a name held that long
// without one is a squatter's, and the service controls the machine all the same.
void ReportSquattedGuard()
{
    LogPrint("service: %s is held by a program that is not Ambrel; this service controls the "
             "machine without it\n",
             INSTANCE_GUARD_NAME);
    wchar_t name[64];
    MultiByteToWideChar(CP_ACP, 0, INSTANCE_GUARD_NAME, -1, name, 64);
    LPCWSTR inserts[] = {name};
    EventSource source;
    if (source.Open()) {
        source.Report(EVENTLOG_ERROR_TYPE, MSG_GUARD_SQUATTED, inserts, 1);
        source.Close();
    }
}

// Takes the machine-wide guard into mutex (null when it could not be made at all, or is held by
// a squatter: the service runs without it, as a tray instance does). While a tray instance
// controls the machine the service is running but waits, and takes over when that instance has
// ended. False when a stop came first.
bool TakeGuard(ServiceStatus& status, HANDLE& mutex)
{
    bool otherInstance;
    mutex = AcquireSingleInstance(otherInstance);
    if (!otherInstance) {
        status.StartPending();
        return true;
    }
    LogPrint("service: another Ambrel controls this machine; waiting for it to end\n");
    status.Running();
    int withoutAmbrel = 0;
    while (otherInstance) {
        withoutAmbrel = IsAmbrelProcess(PipeServerProcessId(), false) ? 0 : withoutAmbrel + 1;
        if (withoutAmbrel >= GUARD_SQUAT_CHECKS) {
            ReportSquattedGuard();
            return true;
        }
        if (status.WaitForStop(GUARD_RETRY_MS))
            return false;
        mutex = AcquireSingleInstance(otherInstance);
    }
    LogPrint("service: the other Ambrel has ended; this service controls the machine now\n");
    return true;
}

void WINAPI ServiceMain(DWORD, LPWSTR*)
{
    ServiceRun& run = *g_run;
    run.status.window = &run.role.messageWindow;
    // Before the control handler is registered: no other thread logs yet.
    if (run.logging)
        OpenServiceLog();
    if (!run.status.Start(OnServiceControl)) {
        run.exitCode = GetLastError();
        return;
    }
    run.status.StartPending();
    LogPrint("Ambrel Ver.1.00\n");
    LogPrint("service start\n");
    SetRecoveryAtStart();
    HANDLE mutex = nullptr;
    DWORD win32Code = NO_ERROR;
    DWORD serviceCode = 0;
    if (TakeGuard(run.status, mutex)) {
        run.role.status = &run.status;
        if (RunServiceRole(run.role, run.instance) != 0) {
            win32Code = ERROR_SERVICE_SPECIFIC_ERROR;
            serviceCode = SERVICE_NO_WINDOW;
        }
        run.role.controller.Release();
    }
    LogPrint("program end\n");
    if (mutex != nullptr)
        CloseHandle(mutex);
    run.exitCode = win32Code == NO_ERROR ? NO_ERROR : serviceCode;
    run.status.Stopped(win32Code, serviceCode);
}

} // namespace

int RunService(HINSTANCE instance, bool logging)
{
    ServiceRun* run = new (std::nothrow) ServiceRun();
    if (run == nullptr) {
        LogPrint("service: no memory for the service\n");
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    // Session 0 has no desktop for a console window: only the log file is kept, opened once the
    // service manager has started the service (a start by hand makes no directory).
    run->logging = logging;
    run->instance = instance;
    g_run = run;
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(SERVICE_NAME), ServiceMain},
                                    {nullptr, nullptr}};
    int result = 0;
    if (StartServiceCtrlDispatcherW(table)) {
        run->status.Release();
        result = static_cast<int>(run->exitCode);
    } else {
        const DWORD error = GetLastError();
        LogPrint("service: StartServiceCtrlDispatcherW = %lu\n", error);
        result = static_cast<int>(error);
        if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
            WriteError(NOT_STARTED_BY_SCM_TEXT);
            result = SERVICE_NOT_STARTED_BY_SCM;
        }
    }
    // The dispatcher has returned: no thread of the service uses the run any more.
    g_run = nullptr;
    delete run;
    return result;
}
