// The hidden window that every role runs on: its class, the window bound to the role's record
// (handle, window procedure, the role itself), and the message loop that runs until the window is
// destroyed.
#pragma once

#include "base/MessageWindow.h"
#include "link/PipeServer.h"

#include <windows.h>

// Makes the window with handler and user bound to record; false when the class or the window
// cannot be made (the class may be another program's already).
bool MakeRoleWindow(MessageWindow& record, HINSTANCE instance, MessageHandler handler, void* user);

// Runs until WM_QUIT; in a controller it also serves the status pipe (null in a view).
void RunMessageLoop(PipeServer* pipe);

// After the loop: the worker or a view's pipe client may still be posting; from here on their
// messages reach no window, and a console's Ctrl+C has none to close.
void EndMessageLoop(MessageWindow& record);

// Temperature and mode travel as signed 32-bit values in the low half of the parameters.
inline int LowInt(WPARAM value)
{
    return static_cast<int>(static_cast<DWORD>(value));
}
inline int LowInt(LPARAM value)
{
    return static_cast<int>(static_cast<DWORD>(value));
}
