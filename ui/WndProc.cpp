#include "ui/WndProc.h"

#include "app/Log.h"
#include "app/TrayApp.h"
#include "res/resource.h"
#include "ui/AppMessages.h"

namespace
{

// Temperature and mode travel as signed 32-bit values in the low half of the parameters.
int LowInt(WPARAM value)
{
    return static_cast<int>(static_cast<DWORD>(value));
}
int LowInt(LPARAM value)
{
    return static_cast<int>(static_cast<DWORD>(value));
}

// Sent by the shell to every top-level window when the taskbar has been (re)created.
UINT TaskbarCreatedMessage()
{
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

// Sent from Windows 8.1 on to a window whose display scale has changed; the headers define it
// only for newer targets than this program's.
const UINT DPI_CHANGED_MESSAGE = 0x02E0;

// After a change of display scale the shell shows small icons at another size: the icon is
// rebuilt at the designed size for it. Returns FALSE when the size has stayed the same.
BOOL FitTrayIconToScale(TrayApp& app)
{
    return app.trayIcon.ResizeTrayIcon(GetSystemMetrics(SM_CXSMICON));
}

void OnExit(TrayApp& app)
{
    LogPrint("WndProc(): WM_COMMAND: Receive ID_EXIT\n");
    app.trayIcon.ReleaseTrayIcon();
    PostMessageA(app.messageWindow.hwnd.load(), WM_CLOSE, 0, 0);
}

void OnAbout()
{
    LogPrint("WndProc(): WM_COMMAND: Receive ID_ABOUT\n");
    MessageBoxA(nullptr, "Version 1.00", "Ambrel", MB_OK);
}

void OnCommand(TrayApp& app, int command)
{
    switch (command) {
    case ID_EXIT:
        OnExit(app);
        break;
    case ID_ABOUT:
        OnAbout();
        break;
    default:
        LogPrint("WndProc(): WM_COMMAND: Error Receive %d\n", command);
        break;
    }
}

// Opens the tray menu with its bottom-left corner at the cursor. The tray window is made the
// foreground window and sent WM_NULL afterwards so that the menu closes when the user clicks
// elsewhere.
void ShowTrayMenu(TrayApp& app)
{
    LogPrint("WndProc(): WM_FROMTRAY: Receive WM_RBUTTONDOWN\n");
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAYMENU));
    HMENU popup = GetSubMenu(menu, 0);
    HWND trayWindow = app.trayIcon.trayWindow;
    SetForegroundWindow(trayWindow);
    TrackPopupMenu(popup, TPM_BOTTOMALIGN, cursor.x, cursor.y, 0, trayWindow, nullptr);
    PostMessageA(trayWindow, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

void OnTrayNotification(TrayApp& app, int mouseMessage)
{
    if (mouseMessage == WM_RBUTTONDOWN)
        ShowTrayMenu(app);
}

// At log-off or shutdown the process is ended without the normal shutdown; the watcher is
// stopped here so that its last callback writes the user's power value back first.
void OnEndSession(TrayApp& app, WPARAM ending)
{
    if (!ending)
        return;
    LogPrint("WndProc(): WM_ENDSESSION\n");
    app.tempWatch.Stop();
}

} // namespace

LONG_PTR WndProc(void* user, UINT message, WPARAM wParam, LPARAM lParam)
{
    TrayApp& app = *static_cast<TrayApp*>(user);
    switch (message) {
    case WM_COMMAND:
        OnCommand(app, LowInt(wParam));
        return 0;
    case WM_FROMTRAY:
        OnTrayNotification(app, LowInt(lParam));
        return 0;
    case WM_TEMPINIT:
        app.trayIcon.CreateTrayIcon(app.messageWindow.hwnd.load(), LowInt(wParam), LowInt(lParam));
        return 0;
    case WM_TEMPCHANGE:
        app.trayIcon.UpdateTrayIcon(LowInt(wParam), LowInt(lParam));
        return 0;
    case WM_ENDSESSION:
        OnEndSession(app, wParam);
        return -1;
    case DPI_CHANGED_MESSAGE:
    case WM_SETTINGCHANGE:
        FitTrayIconToScale(app);
        return -1;
    default:
        if (message == TaskbarCreatedMessage()) {
            // The shell sends it again after a change of display scale; a rebuilt icon is
            // registered by the rebuild.
            if (!FitTrayIconToScale(app))
                app.trayIcon.RestoreTrayIcon();
            return 0;
        }
        return -1;
    }
}
