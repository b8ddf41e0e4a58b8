// What an event on the tray icon does. The shell reports one gesture with several callbacks: a
// right click is WM_RBUTTONDOWN, WM_RBUTTONUP and then WM_CONTEXTMENU, and Enter delivers
// NIN_KEYSELECT twice, and a double click is a left click (NIN_SELECT) followed by
// WM_LBUTTONDBLCLK and, from some shells, a second NIN_SELECT. The menu opens on the first of them,
// and the follow-up that the shell sends while the menu is open, or just after it has closed, opens
// nothing. Platform-free; the caller hands in a millisecond clock.
#pragma once

#include <cstdint>

enum class TrayEvent {
    RightButtonDown, // WM_RBUTTONDOWN
    ContextMenu,     // WM_CONTEXTMENU: Shift+F10 or the Apps key, and after a right click
    Select,          // NIN_SELECT: a left click
    KeySelect,       // NIN_KEYSELECT: Enter or Space
    DoubleClick,     // WM_LBUTTONDBLCLK: the second click of a double click
    Other,
};

enum class TrayAction {
    None,
    MenuAtCursor, // the menu where the mouse is
    MenuAtAnchor, // the menu at the anchor point the shell gives: the icon, for the keyboard
    Activate,     // what a left click does
    SecondClick,  // the second click of a double click: what the first one did stands
};

// How long after the menu has closed the shell's follow-up of the same gesture is still expected.
const uint64_t GESTURE_FOLLOW_MS = 500;

class TrayGestures
{
  public:
    // An action other than None must be followed by Done once what it opened has closed; until
    // then every event does nothing (it arrives in the menu's own message loop).
    TrayAction Decide(TrayEvent event, uint64_t nowMs);
    void Done(uint64_t nowMs);

  private:
    bool busy = false;
    // The callback that the shell is still to send for the last gesture, or Other.
    TrayEvent followUp = TrayEvent::Other;
    uint64_t doneMs = 0;
};
