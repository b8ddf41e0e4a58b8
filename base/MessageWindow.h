// The record bound to the hidden window: its handle, the handler that its window procedure calls
// and the handler's user pointer. The worker thread reads the handle to post its reports while the
// main thread may clear it, so the handle is one atomic word.
#pragma once

#include <windows.h>

#include <atomic>

typedef LONG_PTR (*MessageHandler)(void* user, UINT message, WPARAM wParam, LPARAM lParam);

struct MessageWindow {
    std::atomic<HWND> hwnd;
    MessageHandler handler;
    void* user;
};
