#pragma once

#include <windows.h>

// The window procedure of the hidden window: binds the MessageWindow record given as creation
// parameter, ends the message loop when the window is destroyed, answers WM_GETTEXT with the
// record's text, and hands every other message to the record's handler: its result is the
// message's answer, and what it leaves (MESSAGE_NOT_HANDLED) gets default handling.
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
