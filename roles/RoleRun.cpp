#include "roles/RoleRun.h"

#include "base/Log.h"
#include "roles/ConsoleShutdown.h"
#include "roles/RoleWindow.h"

int RunRole(const RoleRun& run, HINSTANCE instance)
{
    if (!MakeRoleWindow(*run.window, instance, run.handler, run.role))
        return -1;
    if (run.start != nullptr)
        run.start(run.role, instance);
    LogPrint("message loop start\n");
    RunMessageLoop(run.pipe);
    if (run.presenter != nullptr)
        run.presenter->EndHistory();
    if (run.leave != nullptr)
        run.leave(run.role);

    EndMessageLoop(*run.window);
    if (run.stop != nullptr)
        run.stop(run.role);
    LogPrint("watch stopped\n");
    if (run.presenter != nullptr)
        run.presenter->ReleaseIcon();
    LogPrint("tray stopped\n");
    return 0;
}

void OpenPresenter(Presenter& presenter, LoadedTexts& texts, MessageWindow& window,
                   HINSTANCE instance, const HistoryRing& readings, DayRing& day)
{
    texts.Load(instance, 0);
    presenter.Bind(window, texts.table, readings, day);
    SetConsoleShutdownWindow(window.hwnd.load());
}

bool CloseForEndOfSession(Presenter& presenter, MessageWindow& window, Controller* controller,
                          WPARAM ending)
{
    if (!ending)
        return false;
    LogPrint("WndProc(): WM_ENDSESSION\n");
    if (controller != nullptr)
        controller->StopForEndOfSession();
    presenter.Close();
    DestroyWindow(window.hwnd.load());
    return true;
}
