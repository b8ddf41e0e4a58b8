#include "app/Entry.h"

#include "app/CommandLine.h"
#include "app/ConsoleShutdown.h"
#include "app/EndRunning.h"
#include "app/RunningInstance.h"
#include "base/Log.h"
#include "app/Run.h"
#include "app/TrayApp.h"

namespace
{

// Returns the guard handle (null when the mutex could not be made at all), or sets
// otherInstance when the program already runs. A mutex that exists but may not be opened was
// made by another user or by an elevated copy (its default security admits only its creator):
// another instance owns the machine's setting then too.
HANDLE AcquireSingleInstance(bool& otherInstance)
{
    otherInstance = false;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\Ambrel Mutex");
    DWORD error = GetLastError();
    if (mutex == nullptr && error == ERROR_ACCESS_DENIED) {
        otherInstance = true;
        return nullptr;
    }
    if (mutex != nullptr && error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        otherInstance = true;
        return nullptr;
    }
    return mutex;
}

} // namespace

int AmbrelMain(HINSTANCE instance, int argc, char** argv)
{
    CommandSwitches switches = ParseCommandLine(argc, argv);
    // Ending the running instance is all that this run does: it never takes the guard.
    if (switches.exit) {
        OpenLogSinks(switches.file, switches.console);
        return EndRunningInstance(END_RUNNING_WAIT);
    }

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
