// The hidden window that every role of the program has, as other processes see it: its class, by
// which a new start finds the running instance, and the message by which a second start asks the
// running instance to show itself.
#pragma once

#include <windows.h>

#include <atomic>

// The class of the hidden window.
const char HIDDEN_WINDOW_CLASS[] = "Ambrel";

// The number of the message registered as name, registered at the first call (number is 0 until
// then). Without a guarded static: RegisterWindowMessage gives every caller the same number.
UINT RegisteredMessage(std::atomic<UINT>& number, const char* name);

// The registered message by which a second start asks the running instance to open its history
// window. It carries nothing, and whoever sends it can only ever have that window opened.
UINT ShowHistoryMessage();

// The registered message by which Ambrel.exe --pause N or --resume asks the tray instance of its
// session to pause its controller for wParam minutes, or (0) to end the pause. Any program of the
// session may send it, as it may send the menu's commands; the tray applies the same checks.
UINT PauseMessage();
// What the tray answers to it; a window that does not take it (a view) answers 0.
const LRESULT PAUSE_ANSWER_DONE = 1;
const LRESULT PAUSE_ANSWER_FORBIDDEN = 2;

// The registered message by which Ambrel.exe --export asks the tray instance of its session to
// write its history file now, so that the export holds every minute up to now. It carries
// nothing; the tray answers SAVE_ANSWER_DONE once the file is written, a view 0.
UINT SaveHistoryMessage();
const LRESULT SAVE_ANSWER_DONE = 1;
