// The instance that runs already, as a new start sees it: its hidden window, and the message by
// which a second start asks it to show itself. Any program may register a window class named
// "Ambrel", so a window of that class counts only where its process runs an Ambrel.exe.
#pragma once

#include "base/AmbrelProcess.h"
#include "base/HiddenWindow.h"

#include <windows.h>

enum class InstanceSearch {
    Found,
    None,      // no window of the class runs an Ambrel.exe
    Unchecked, // none does as far as can be seen, but the program of one could not be read
};

// The hidden window of the running Ambrel and its process, among the windows of its class.
InstanceSearch FindRunningInstance(HWND& window, DWORD& processId);

// What a second start does: asks the instance of this session to open its history window.
// False when there is none to ask (it runs in another session, or not yet, or cannot be told).
bool AskRunningToShowHistory();

// What --pause and --resume do where no service runs: ask the instance of this session to pause
// for minutes (0: to end the pause). Its answer (PAUSE_ANSWER_...), or 0 when there is none to ask
// or it is no controller (a view).
LRESULT AskRunningToPause(int minutes);

// What --export does first: asks the tray instance of this session to write its history file
// now. True when it has.
bool AskRunningToSaveHistory();
