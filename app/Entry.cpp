#include "app/Entry.h"

#include "app/CommandLine.h"
#include "app/ConsoleShutdown.h"
#include "app/EndRunning.h"
#include "app/InstanceGuard.h"
#include "app/RunningInstance.h"
#include "app/Service.h"
#include "base/Log.h"
#include "app/Run.h"
#include "app/TrayApp.h"

int AmbrelMain(HINSTANCE instance, int argc, char** argv)
{
    CommandSwitches switches = ParseCommandLine(argc, argv);
    // Ending the running instance is all that this run does: it never takes the guard.
    if (switches.exit) {
        OpenLogSinks(switches.file, switches.console);
        return EndRunningInstance(END_RUNNING_WAIT);
    }
    // The service takes the guard itself, once the Service Control Manager has started it.
    if (switches.service)
        return RunService(instance, switches);

    bool otherInstance;
    HANDLE mutex = AcquireSingleInstance(otherInstance);
    // The running instance answers by opening its history window; this start logs nothing,
    // as it has started nothing.
    if (otherInstance) {
        AskRunningToShowHistory();
        return 0;
    }

    OpenLogSinks(switches.file, switches.console);
    LogPrint("Ambrel Ver.1.00\n");

    TrayApp app{};
    if (switches.console)
        InstallConsoleShutdown();
    int result = Run(app, instance);
    LogPrint("program end\n");

    // Members go in reverse order: the watcher, then the tray icon.
    app.tempWatch.Close();
    app.trayIcon.ReleaseTrayIcon();
    if (mutex != nullptr)
        CloseHandle(mutex);
    ConsoleShutdownComplete();
    return result;
}
