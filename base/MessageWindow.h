// The record bound to the hidden window: its handle, the handler that its window procedure calls,
// the handler's user pointer and the text the window answers WM_GETTEXT with. The worker thread
// reads the handle to post its reports while the main thread may clear it, so the handle is one
// atomic word; the text is the main thread's alone.
#pragma once

#include <windows.h>

#include <atomic>

// A handler answers a message it takes with its result (0 for most), and one it leaves to the
// default handling with MESSAGE_NOT_HANDLED.
typedef LONG_PTR (*MessageHandler)(void* user, UINT message, WPARAM wParam, LPARAM lParam);
const LONG_PTR MESSAGE_NOT_HANDLED = -1;

struct MessageWindow {
    std::atomic<HWND> hwnd;
    MessageHandler handler;
    void* user;
    // The program's state for other processes (the tooltip's text), read by sending WM_GETTEXT;
    // null: the window has no text. It is not the window's caption: under Wine every caption
    // change of a top-level window goes to the X server as its window-manager name, and a text
    // outside Latin-1 (the tooltip's dash) is converted to compound text through Xlib's tables
    // of every East Asian character set, some 150 KiB that then stay resident.
    const wchar_t* text;
};
