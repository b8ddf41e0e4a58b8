// The hidden window that every role of the program has, as other processes see it: its class, by
// which a new start finds the running instance, and the message by which a second start asks the
// running instance to show itself.
#pragma once

#include <windows.h>

// The class of the hidden window.
const char HIDDEN_WINDOW_CLASS[] = "Ambrel";

// The registered message by which a second start asks the running instance to open its history
// window. It carries nothing, and whoever sends it can only ever have that window opened.
UINT ShowHistoryMessage();
