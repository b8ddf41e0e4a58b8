#include "app/Entry.h"

#include "app/CommandLine.h"
#include "app/commands/Diagnosis.h"
#include "app/commands/EndRunning.h"
#include "roles/InstanceGuard.h"
#include "app/commands/PauseCommand.h"
#include "app/RunningInstance.h"
#include "roles/service/Service.h"
#include "app/commands/StatusQuery.h"
#include "base/Log.h"
#include "link/PipeServerCheck.h"
#include "link/PipeMessage.h"
#include "roles/ConsoleShutdown.h"
#include "roles/TrayRole.h"
#include "roles/ViewRole.h"

namespace
{

const DWORD CONTROLLER_PIPE_WAIT_MS = 5000;
const DWORD CONTROLLER_PIPE_POLL_MS = 250;

// A controller that has just taken the guard may not serve its pipe yet (a service starting at
// boot): its pipe is looked for for a while. Without one, whatever holds the guard is no
// controller to view.
bool ControllerPipeAppears()
{
    for (DWORD waited = 0; waited < CONTROLLER_PIPE_WAIT_MS; waited += CONTROLLER_PIPE_POLL_MS) {
        if (WaitNamedPipeW(PIPE_NAME, NMPWAIT_USE_DEFAULT_WAIT) ||
            GetLastError() == ERROR_SEM_TIMEOUT)
            return true;
        Sleep(CONTROLLER_PIPE_POLL_MS);
    }
    return false;
}

// The role of a start that holds the guard: the tray. Members go in reverse order: the watcher,
// then the tray icon.
int RunAsTray(HINSTANCE instance)
{
    TrayRole tray{};
    int result = RunTray(tray, instance);
    LogPrint("program end\n");
    tray.controller.Release();
    tray.presenter.ReleaseIcon();
    return result;
}

// Where the controller runs elsewhere (the machine's service, a tray in another session): a view.
int RunAsView(HINSTANCE instance)
{
    ViewRole view{};
    int result = RunView(view, instance);
    LogPrint("program end\n");
    view.presenter.ReleaseIcon();
    return result;
}

} // namespace

int AmbrelMain(HINSTANCE instance, int argc, char** argv)
{
    CommandSwitches switches = ParseCommandLine(argc, argv);
    // Asking is all that these runs do: they open no log, take no guard and start nothing.
    if (switches.status)
        return RunStatusQuery(instance, switches);
    if (switches.diagnose)
        return RunDiagnosis(instance);
    // Ending the running instance is all that this run does: it never takes the guard.
    if (switches.exit) {
        OpenLogSinks(switches.file, switches.console);
        return EndRunningInstance(END_RUNNING_WAIT);
    }
    // So is pausing the controller, or ending its pause.
    if (switches.pause != 0 || switches.resume) {
        OpenLogSinks(switches.file, switches.console);
        return RunPauseCommand(switches.pause != 0 ? switches.pause : 0);
    }
    // The service takes the guard itself, once the Service Control Manager has started it.
    if (switches.service)
        return RunService(instance, switches.file != 0);

    bool otherInstance;
    HANDLE mutex = AcquireSingleInstance(otherInstance);
    // The guard's name may be free while the service controls (another program held it when
    // the service started, and has let it go since): the service's own pipe says so.
    if (!otherInstance && AmbrelServiceServesPipe()) {
        if (mutex != nullptr)
            CloseHandle(mutex);
        mutex = nullptr;
        otherInstance = true;
    }
    // The running instance of this session answers by opening its history window; this start
    // logs nothing, as it has started nothing. Where the controller runs elsewhere (the
    // machine's service, a tray in another session), this start becomes a view of it.
    if (otherInstance && (AskRunningToShowHistory() || !ControllerPipeAppears()))
        return 0;

    OpenLogSinks(switches.file, switches.console);
    LogPrint("Ambrel Ver.1.00\n");

    if (switches.console)
        InstallConsoleShutdown();
    int result = otherInstance ? RunAsView(instance) : RunAsTray(instance);
    if (mutex != nullptr)
        CloseHandle(mutex);
    ConsoleShutdownComplete();
    return result;
}
