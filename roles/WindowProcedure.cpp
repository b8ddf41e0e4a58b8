#include "roles/WindowProcedure.h"

#include "base/MessageWindow.h"

namespace
{

// The record of the window being created or existing; bound at WM_CREATE, never cleared.
MessageWindow* g_boundRecord;

bool HandledByRecord(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (g_boundRecord == nullptr || g_boundRecord->handler == nullptr)
        return false;
    return g_boundRecord->handler(g_boundRecord->user, message, wParam, lParam) == 0;
}

} // namespace

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        g_boundRecord = static_cast<MessageWindow*>(
            reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        if (HandledByRecord(message, wParam, lParam))
            return 0;
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
