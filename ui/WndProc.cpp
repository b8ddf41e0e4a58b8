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

// At log-off or shutdown, and when the Restart Manager closes the program (ENDSESSION_CLOSEAPP),
// the process may be ended as soon as this returns: the watcher is stopped here so that its last
// callback writes the user's power value back first. Then the icon goes and the window is
// destroyed, so that the normal end runs and the process exits when the platform lets it.
// Returns whether the message was handled.
bool OnEndSession(TrayApp& app, WPARAM ending)
{
    if (!ending)
        return false;
    LogPrint("WndProc(): WM_ENDSESSION\n");
    app.tempWatch.Stop();
    app.trayIcon.ReleaseTrayIcon();
    DestroyWindow(app.messageWindow.hwnd.load());
    return true;
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
        return OnEndSession(app, wParam) ? 0 : -1;
    default:
        if (message == TaskbarCreatedMessage()) {
            app.trayIcon.RestoreTrayIcon();
            return 0;
        }
        return -1;
    }
}
