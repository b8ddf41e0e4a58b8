#include "app/Run.h"

#include "app/ConsoleShutdown.h"
#include "app/Policy.h"
#include "app/RunningInstance.h"
#include "app/StartWithWindows.h"
#include "app/StatusPipe.h"
#include "base/Log.h"
#include "app/TrayApp.h"
#include "app/WindowProcedure.h"
#include "app/WndProc.h"

#include <cstring>

namespace
{

ATOM RegisterHiddenWindowClass(HINSTANCE instance)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = HIDDEN_WINDOW_CLASS;
    return RegisterClassExA(&windowClass);
}

HWND CreateHiddenWindow(ATOM windowClass, HINSTANCE instance, MessageWindow& record)
{
    return CreateWindowExA(0, MAKEINTATOM(windowClass), nullptr, 0, 0, 0, 0, 0, nullptr, nullptr,
                           instance, &record);
}

// The choices the controller starts with: the user's in the tray role, the machine's in the
// service's; the policies win over both.
void LoadSettings(TrayApp& app)
{
    if (app.service != nullptr)
        LoadMachineSettings(app.settings);
    else
        LoadUserSettings(app.settings);
    ApplyPolicies(app.settings);
}

// The worker starts with the user's choices; later choices reach it as WatchChoice. The service
// keeps its restore ledger under the machine's key.
void StartWatching(TrayApp& app)
{
    app.tempWatch.window = &app.messageWindow;
    app.tempWatch.keeper.ledger.key.machine = app.service != nullptr;
    std::memcpy(app.tempWatch.zone, app.settings.zone, sizeof app.tempWatch.zone);
    app.tempWatch.ambrel.SetThrottleAt(app.settings.throttleAt);
    app.tempWatch.keeper.onBattery = app.settings.onBattery;
    if (app.tempWatch.thread == nullptr)
        app.tempWatch.Start(AMBREL_WATCH_INTERVAL_MS, CTempWatch::callbackfnc, &app.tempWatch);
}

// The controller watches and serves the status pipe; a view only listens to the pipe.
void StartRole(TrayApp& app)
{
    if (app.isView) {
        LogPrint("view start\n");
        LockMachineChoices(app);
        // The controller reports to the event log; a view has nothing of its own to report.
        app.events.stopped = true;
        app.viewLink.window = &app.messageWindow;
        app.viewLink.Start();
        return;
    }
    app.events.Start(app.settings);
    LogPrint("watch start\n");
    StartWatching(app);
    app.statusPipe.window = &app.messageWindow;
    app.statusPipe.Start();
}

void RunMessageLoop()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

} // namespace

int Run(TrayApp& app, HINSTANCE instance)
{
    ATOM windowClass = RegisterHiddenWindowClass(instance);
    if (windowClass == 0)
        return -1;
    HWND window = CreateHiddenWindow(windowClass, instance, app.messageWindow);
    app.messageWindow.hwnd.store(window);
    if (window == nullptr)
        return -1;
    app.texts.Load(instance, 0);
    app.history.words = &app.texts.table;
    app.messageWindow.handler = WndProc;
    app.messageWindow.user = &app;
    SetConsoleShutdownWindow(window);

    LoadSettings(app);
    if (app.service == nullptr)
        DropUserStartBesideMachineStart();
    StartRole(app);
    if (app.service != nullptr)
        app.service->Running();
    LogPrint("message loop start\n");
    RunMessageLoop();
    if (app.service != nullptr)
        app.service->StopPending();
    app.history.Close(window);

    // The worker may still be posting; from here on its reports reach no window.
    app.messageWindow.hwnd.store(nullptr);
    SetConsoleShutdownWindow(nullptr);
    LogPrint("msg stopped\n");
    app.viewLink.Stop();
    app.statusPipe.Stop();
    app.tempWatch.Stop();
    app.events.Stop(app.tempWatch.keeper.givenBack, app.tempWatch.keeper.failure);
    LogPrint("watch stopped\n");
    app.trayIcon.ReleaseTrayIcon();
    LogPrint("tray stopped\n");
    return 0;
}
