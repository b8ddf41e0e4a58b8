// The presenter: what a user sees of a controller, in the tray and in a view. The icon, its
// tooltip and menu, what a gesture on the icon does, the history window and the throttle notice,
// fed by reports that are the same whether they come from the local watcher or from the pipe;
// the menu's choices as the role hands them in (the menu's commands are in PresenterMenu.cpp).
// Main thread only.
#pragma once

#include "base/MessageWindow.h"
#include "base/TextTable.h"
#include "present/HistoryPopup.h"
#include "present/ThrottleNotice.h"
#include "present/TrayGestures.h"
#include "settings/Settings.h"
#include "ui/TrayIcon.h"
#include "ui/TrayMenu.h"
#include "watch/ThermalZone.h"

#include <windows.h>

#include <cstdint>

// Sent by the shell to every top-level window when the taskbar has been (re)created.
UINT TaskbarCreatedMessage();
// Sent from Windows 8.1 on to a window whose display scale has changed; the headers define it
// only for newer targets than this program's.
const UINT DPI_CHANGED_MESSAGE = 0x02E0;

// Presenter::pauseAsked: the end of the pause.
const int PAUSE_ASKED_RESUME = -1;

class Presenter
{
  public:
    TrayIcon trayIcon;
    TrayMenu trayMenu;
    TrayGestures trayGestures;
    ThrottleNotice throttleNotice;
    HistoryPopup history;
    // The choices shown in the menu: the controller's zone, threshold and battery choice (locked
    // where a policy, or the controller that a view shows, has set them), and the user's own
    // Notify. Set by the role.
    Settings settings;
    // Whose locked choices they are, for the log: "by policy", "for this machine", ...
    const char* lockedBy;
    // The zone as read, which the tooltip, the menu and the history window name.
    char zone[ZONE_NAME_SIZE];
    // The zone, the threshold and the battery choice are the controller's that a view shows:
    // their items say "(set for this machine)", or "(set by Ambrel in another session)" where
    // that controller is a tray in another user's session.
    bool forMachine;
    bool otherSession;
    // The status of the last reading reported (READING_OK, ...) and, while it is
    // READING_FAILED, the local time at which the readings began to fail; the cap as last
    // reported: the AC maximum processor state in force (0 while unknown) and whether it lowers
    // some value below the user's own setting.
    int32_t readingStatus;
    SYSTEMTIME failedSince;
    int32_t capInForce;
    bool capLowered;
    // The pause may be made here: the tray's own controller, unless a policy forbids it. A
    // view's menu greys the item, and the command is refused.
    bool canPause;
    // While paused, the tick at which the pause ends and the local time it shows; 0 otherwise.
    uint64_t pausedUntilMs;
    SYSTEMTIME pausedUntil;
    // A pause (its minutes) or its end (PAUSE_ASKED_RESUME) chosen in the menu, for the role to
    // hand to its controller; 0 when none.
    int pauseAsked;
    // Where the shell last said the icon is (the anchor of its last callback), for a window that
    // opens beside it without a gesture on it; iconSeen is false until the first callback.
    POINT iconSeenAt;
    bool iconSeen;

    // Binds the presenter to the role's window, the texts in the user's language, and the
    // reports that its history window shows (the controller's in the tray, the view's own).
    void Bind(MessageWindow& owner, const TextTable& words, const HistoryRing& readings,
              DayRing& day);
    // The reports: a reading's status, the cap, then the reading itself. ShowFirst makes the icon.
    void OnStatus(int32_t status);
    void OnCap(int32_t inForce, bool lowered);
    // The pause's seconds left (0: not paused), from the controller or the pipe.
    void OnPause(uint32_t secondsLeft);
    bool Paused() const;
    void ShowFirst(int32_t t, int32_t mode);
    void Show(int32_t t, int32_t mode);

    // The shell's callback for the icon (WM_FROMTRAY).
    void OnTrayNotification(WPARAM wParam, LPARAM lParam);
    // A menu command; true when it changed the zone, the threshold or the battery choice, which
    // the role hands to its controller.
    bool OnCommand(int command);
    // The history window asks to close (WM_HISTORYCLOSE), its timer ticks, a second start asks
    // for it; the user has switched its range (WM_HISTORYRANGE).
    void OnHistoryClose(WPARAM reason);
    // The user has switched the history window's range (WM_HISTORYRANGE).
    void OnHistoryRange(WPARAM minutes);
    void OnHistoryTimer();
    void OnSecondStart();
    // Redraws the open history window up to now; with sample, also takes a performance sample.
    void RefreshHistory(bool sample);
    // After a change of display scale the shell shows small icons at another size: the icon is
    // rebuilt at the designed size for it. False when the size has stayed the same.
    bool FitToScale();
    // The taskbar has been (re)created.
    void OnTaskbarCreated();
    // The end of the session or of the run: the window and the icon go.
    void Close();

  private:
    MessageWindow* window;
    const TextTable* texts;

    HWND Hwnd() const;
    void OpenHistory(bool fromKeyboard);
    void CloseHistory();
    void ToggleHistory(bool fromKeyboard);
    void KeepFirstClick();
    void OnExit();
    void OnAbout() const;
    bool SetByPolicy(bool locked, const char* command) const;
    bool OnZone(const char* chosen);
    bool OnThrottleAt(int32_t throttleAt);
    bool FlipSwitch(bool& on, bool locked, const char* command, const char* setting);
    bool OnSettingsCommand(int command, bool& changed);
    void OnPauseCommand(int command);
    void ShowTrayMenu(POINT at);
    void FailedSinceText(wchar_t* text, int size) const;
    void PausedUntilText(wchar_t* text, int size) const;
    void ComposeTip(int32_t t, int32_t mode);
    void NoticeThrottle(int32_t t, int32_t mode);
};
