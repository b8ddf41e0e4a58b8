#include "roles/RoleWindow.h"

#include "base/HiddenWindow.h"
#include "base/Log.h"
#include "roles/ConsoleShutdown.h"
#include "roles/WindowProcedure.h"

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

} // namespace

bool MakeRoleWindow(MessageWindow& record, HINSTANCE instance, MessageHandler handler, void* user)
{
    ATOM windowClass = RegisterHiddenWindowClass(instance);
    if (windowClass == 0)
        return false;
    HWND window = CreateWindowExA(0, MAKEINTATOM(windowClass), nullptr, 0, 0, 0, 0, 0, nullptr,
                                  nullptr, instance, &record);
    record.hwnd.store(window);
    if (window == nullptr)
        return false;
    record.handler = handler;
    record.user = user;
    return true;
}

void RunMessageLoop()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void EndMessageLoop(MessageWindow& record)
{
    record.hwnd.store(nullptr);
    SetConsoleShutdownWindow(nullptr);
    LogPrint("msg stopped\n");
}
