// The presenter: what a user sees of a controller, in the tray and in a view. The icon, its
// tooltip and menu, what a gesture on the icon does, the history window and the throttle notice,
// fed by reports that are the same whether they come from the local watcher or from the pipe;
// the menu's choices as the role hands them in (what the menu's commands do is MenuCommands').
// Main thread only.
#pragma once

#include "base/MessageWindow.h"
#include "base/TextTable.h"
#include "link/ControllerReport.h"
#include "present/MenuCommands.h"
#include "present/HistoryPopup.h"
#include "present/ThrottleNotice.h"
#include "present/TrayGestures.h"
#include "settings/Settings.h"
#include "ui/TrayIcon.h"
#include "ui/TrayMenu.h"
#include "watch/ThermalZone.h"

#include <windows.h>

#include <cstdint>

// Posted by a view's presenter to its own window: the history window has opened (wParam 0), or
// the user has asked to export (1), and the kept history is to be asked of the controller.
const UINT WM_KEPTWANTED = WM_USER + 22;
const WPARAM KEPT_FOR_EXPORT = 1;

// Sent by the shell to every top-level window when the taskbar has been (re)created.
UINT TaskbarCreatedMessage();
// Sent from Windows 8.1 on to a window whose display scale has changed; the headers define it
// only for newer targets than this program's.
const UINT DPI_CHANGED_MESSAGE = 0x02E0;

class Presenter
{
  public:
    // Binds the presenter to the role's window, the texts in the user's language, and the
    // reports that its history window shows (the controller's in the tray, the view's own).
    void Bind(MessageWindow& owner, const TextTable& words, const HistoryRing& readings,
              DayRing& day);
    // The choices the menu shows: the user's (with the policies over them) in a tray, replaced
    // by the controller's as reports come in a view. The tray's controller gets them when the
    // menu changes them.
    void TakeChoices(const Settings& choices);
    // The history kept across runs that the window's 7 d and Days show (null: none, those ranges
    // are not offered).
    void KeepHistory(HistoryStore* kept);
    // The Save As dialog and the CSV file of the kept history held; where there is none, the user
    // is told that the controller's history could not be read.
    void ExportHeldHistory();
    const Settings& Choices() const;
    // A view: the zone, the threshold and the battery choice are the controller's, not the
    // user's to change; the pause is not theirs to make.
    void ShowForController();
    // A tray: the pause is the user's to make (unless a policy forbids it).
    void AllowPause();
    // The controller's report: the icon (made by the first), its tooltip, the notice and the
    // open history window follow it.
    void Show(const ControllerReport& report);
    // The report shown last (zeroed before the first).
    const ControllerReport& Shown() const;

    // The messages that are the presenter's alone: the shell's callbacks for the icon, the
    // history window's and its timer's, a second start's, the taskbar's return. True when it took
    // the message (its answer is 0). A change of display scale or of a setting is acted on and
    // left for default handling too (false).
    bool Handle(UINT message, WPARAM wParam, LPARAM lParam);

    // The shell's callback for the icon (WM_FROMTRAY).
    void OnTrayNotification(WPARAM wParam, LPARAM lParam);
    // A menu command, and what it asks of the role.
    MenuOutcome OnCommand(int command);
    // The history window asks to close (WM_HISTORYCLOSE), its timer ticks, a second start asks
    // for it; the user has switched its range (WM_HISTORYRANGE).
    void OnHistoryClose(WPARAM reason);
    // The user has switched the history window's range (WM_HISTORYRANGE).
    void OnHistoryRange(WPARAM minutes);
    void OnHistoryTimer();
    void OnSecondStart();
    // Redraws the open history window up to now; with sample, also takes a performance sample.
    void RefreshHistory(bool sample);
    bool HistoryOpen() const;
    // After a change of display scale the shell shows small icons at another size: the icon is
    // rebuilt at the designed size for it. False when the size has stayed the same.
    bool FitToScale();
    // The taskbar has been (re)created.
    void OnTaskbarCreated();
    // The end of the session or of the run: the window and the icon go.
    void Close();
    // After the message loop: the history window goes with it.
    void EndHistory();
    // The icon goes (again: releasing twice is harmless).
    void ReleaseIcon();
    // The icon as drawn, for a look from outside (its size, what it shows), and to be made or
    // resized without a report (a test of the window procedure's scale messages).
    TrayIcon& Icon();

  private:
    TrayIcon trayIcon;
    TrayMenu trayMenu;
    TrayGestures trayGestures;
    ThrottleNotice throttleNotice;
    HistoryPopup history;
    // The choices shown in the menu: the controller's zone, threshold and battery choice (locked
    // where a policy, or the controller that a view shows, has set them), and the user's own
    // Notify.
    Settings settings;
    // Whose locked choices they are, for the log: "by policy", "for this machine", ...
    const char* lockedBy;
    // The zone, the threshold and the battery choice are the controller's that a view shows:
    // their items say "(set for this machine)", or "(set by Ambrel in another session)" where
    // that controller is a tray in another user's session.
    bool forMachine;
    bool otherSession;
    // The pause may be made here: the tray's own controller. A view's menu greys the item, and
    // the command is refused.
    bool canPause;
    // A view: the kept history is the controller's, asked for when the window opens or an
    // export is asked for (WM_KEPTWANTED), and Export history… is offered before it has come.
    bool keptOnRequest;
    // The last report; the icon has been made once, by the first (never again once Exit has
    // removed it).
    ControllerReport shown;
    bool iconMade;
    // While paused, the tick at which the pause ends and the local time it shows; 0 otherwise.
    uint64_t pausedUntilMs;
    SYSTEMTIME pausedUntil;
    // Where the shell last said the icon is (the anchor of its last callback), for a window that
    // opens beside it without a gesture on it; iconSeen is false until the first callback.
    POINT iconSeenAt;
    bool iconSeen;
    MessageWindow* window;
    const TextTable* texts;

    void OnPause(uint32_t secondsLeft);
    bool Paused() const;

    HWND Hwnd() const;
    void OpenHistory(bool fromKeyboard);
    void CloseHistory();
    void ToggleHistory(bool fromKeyboard);
    void KeepFirstClick();
    void ShowTrayMenu(POINT at);
    // Export history…: the Save As dialog, then the CSV file (in a view once the controller's
    // history has come).
    void ExportHistory();
    void FailedSinceText(wchar_t* text, int size) const;
    void PausedUntilText(wchar_t* text, int size) const;
    void ComposeTip();
    void NoticeThrottle();
};
