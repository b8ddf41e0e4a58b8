// The notification-area icon that shows the temperature and the throttle mode.
//
// The icon's colour bitmap is a segment bitmap (IDB_TEMPICON or one of its smaller drawings, at
// the shell's small-icon size), whose pixels hold segment numbers; a reading is shown by
// rewriting the bitmap's first 16 colour-table entries, and the icon is rebuilt from that bitmap
// and a monochrome mask. Main thread only.
//
// Every field is zero when nothing is held, so a zero-initialised TrayIcon is ready for
// CreateTrayIcon, and ReleaseTrayIcon may run any number of times. Between calls neither bitmap
// is selected into its DC.
#pragma once

#include "ui/TrayTooltip.h"

#include <windows.h>

// The message the shell sends to the icon's window for an event on the icon. The icon asks for
// the callback of notification-icon version 4: the event (a mouse message, NIN_SELECT,
// NIN_KEYSELECT or WM_CONTEXTMENU) in the low word of lParam and the anchor point (x, y) in
// wParam; a shell that does not know version 4 sends the mouse message in lParam and the icon id
// in wParam. The watcher's reports follow it (watch/WatchMessages.h).
const UINT WM_FROMTRAY = WM_USER + 10;

class TrayIcon
{
  public:
    // The window the shell sends WM_FROMTRAY to; stored by CreateTrayIcon whether or not the
    // registration succeeds.
    HWND trayWindow = nullptr;
    HDC colourDc = nullptr;
    // The object that was selected in colourDc before colourBitmap; null while it is not selected.
    HGDIOBJ colourDcPrevious = nullptr;
    // DIB section loaded from the segment bitmap, so that its colour table can be rewritten.
    HBITMAP colourBitmap = nullptr;
    HDC maskDc = nullptr;
    HGDIOBJ maskDcPrevious = nullptr;
    // 1 bit per pixel, the size of colourBitmap.
    HBITMAP maskBitmap = nullptr;
    int width = 0;
    int height = 0;
    // Sent with every registration and update; while it is empty the program's name is sent,
    // since a screen reader announces the tooltip as the icon's name.
    wchar_t tip[TOOLTIP_SIZE] = {};
    // The reading last written by SetDigits: what a rebuild at another size needs to show the
    // same icon.
    int shownT = 0;
    int shownMode = 0;

    // Builds the GDI objects at the shell's small-icon size (GetSystemMetrics(SM_CXSMICON)),
    // shows t and mode and registers the icon for window. Returns the shell's answer, or FALSE
    // without doing anything when the icon is already held.
    BOOL CreateTrayIcon(HWND window, int t, int mode);
    // Shows a new t and mode. If the shell no longer has the icon, registers it again.
    void UpdateTrayIcon(int t, int mode);
    // Removes the icon from the shell and frees every GDI object.
    void ReleaseTrayIcon();
    // Registers the icon again as last shown, for a shell that has restarted ("TaskbarCreated").
    // Returns FALSE when no icon is held.
    BOOL RestoreTrayIcon();
    // The tooltip for the next registration or update, cut to TOOLTIP_SIZE - 1 characters.
    void SetTip(const char16_t* text);
    // Rebuilds the GDI objects at the designed size for smallIconSize and hands the icon, showing
    // the same reading, to the shell (registering it again if the shell no longer has it).
    // Returns FALSE, doing nothing, when no icon is held or the size is already in use.
    BOOL ResizeTrayIcon(int smallIconSize);
    // Writes the colours that show t and mode into the colour table; colourBitmap must be
    // selected into colourDc.
    void SetDigits(int t, int mode);
    // Shows text as the shell's notification (a balloon, a toast from Windows 10 on), which
    // respects quiet hours and is dropped rather than shown late. FALSE when no icon is held or
    // the shell refuses it.
    BOOL ShowNotice(const char16_t* text) const;
    // Gives the keyboard focus back to the notification area, after the icon's menu has closed.
    void ReturnFocusToShell() const;

  private:
    void MakeBitmaps(int designedSize, int t, int mode);
    void SelectColourBitmap();
    void SelectMaskBitmap();
    void DeselectMaskBitmap();
    void DeselectColourBitmap();
    void DeriveMask();
    HICON BuildIcon() const;
    BOOL AddToShell(HICON icon) const;
    BOOL ModifyInShell(HICON icon) const;
    void ShowInShell(HICON icon) const;
};

// The rectangle of the tray icon on the screen: Shell_NotifyIconGetRect where the system has it
// (Windows 7 on); otherwise a one-pixel rectangle at seenAt (where the shell last said the icon
// is), else at the far end of the taskbar, where the notification area lies, else at the cursor.
RECT TrayIconAnchor(HWND trayWindow, UINT iconId, const POINT* seenAt);
