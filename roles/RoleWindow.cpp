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

namespace
{

// False at WM_QUIT.
bool DispatchWaitingMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            return false;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return true;
}

} // namespace

// The pipe's events are waited for beside the messages, and one is handled between two batches
// of messages: a busy client cannot keep the window waiting.
void RunMessageLoop(PipeServer* pipe)
{
    for (;;) {
        HANDLE handles[PIPE_MAX_WAIT];
        const int count = pipe != nullptr ? pipe->WaitHandles(handles, PIPE_MAX_WAIT) : 0;
        const DWORD timeout = pipe != nullptr ? pipe->WaitTimeout() : INFINITE;
        const DWORD woken = MsgWaitForMultipleObjectsEx(static_cast<DWORD>(count), handles, timeout,
                                                        QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken < WAIT_OBJECT_0 + static_cast<DWORD>(count)) {
            pipe->OnWait(static_cast<int>(woken - WAIT_OBJECT_0));
        } else if (woken == WAIT_TIMEOUT && pipe != nullptr) {
            pipe->OnWait(-1);
        } else if (woken == WAIT_FAILED) {
            // The window must go on: it waits for its messages alone from here on.
            LogPrint("MsgWaitForMultipleObjectsEx() error=%lu\n", GetLastError());
            pipe = nullptr;
        }
        if (!DispatchWaitingMessages())
            return;
    }
}

void EndMessageLoop(MessageWindow& record)
{
    record.hwnd.store(nullptr);
    SetConsoleShutdownWindow(nullptr);
    LogPrint("msg stopped\n");
}
