#include "present/Presenter.h"

#include "base/TimeText.h"
#include "base/HiddenWindow.h"
#include "base/HistoryExport.h"
#include "base/LocalClock.h"
#include "base/Log.h"
#include "base/TextWriter.h"
#include "power/Ambrel.h"
#include "res/resource.h"
#include "present/EffectNotice.h"
#include "ui/ExportDialog.h"
#include "ui/NoticeText.h"
#include "ui/TrayTooltip.h"
#include "watch/TempConversion.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

UINT TaskbarCreatedMessage()
{
    static std::atomic<UINT> message{0};
    return RegisteredMessage(message, "TaskbarCreated");
}

void Presenter::Bind(MessageWindow& owner, const TextTable& words, const HistoryRing& readings,
                     DayRing& day)
{
    window = &owner;
    // The hidden window answers WM_GETTEXT with the tooltip, whatever it says at the time.
    window->text = trayIcon.tip;
    texts = &words;
    history.words = &words;
    history.readings = &readings;
    history.day = &day;
    if (lockedBy == nullptr)
        lockedBy = "by policy";
}

HWND Presenter::Hwnd() const
{
    return window != nullptr ? window->hwnd.load() : nullptr;
}

// A status from the pipe brings the seconds left each time: the time shown moves only when the
// pause itself has changed, not with the second that the messages take.
void Presenter::OnPause(uint32_t secondsLeft)
{
    if (secondsLeft == 0) {
        pausedUntilMs = 0;
        return;
    }
    const uint64_t now = GetTickCount64();
    const uint64_t until = now + secondsLeft * 1000ull;
    const uint64_t drift = until > pausedUntilMs ? until - pausedUntilMs : pausedUntilMs - until;
    if (pausedUntilMs != 0 && drift < 5000)
        return;
    pausedUntilMs = until;
    pausedUntil = LocalTimeIn(secondsLeft);
}

bool Presenter::Paused() const
{
    return pausedUntilMs != 0;
}

void Presenter::TakeChoices(const Settings& choices)
{
    settings = choices;
}

const Settings& Presenter::Choices() const
{
    return settings;
}

void Presenter::ShowForController()
{
    settings.locked.zone = true;
    settings.locked.throttleAt = true;
    settings.locked.onBattery = true;
    forMachine = true;
    lockedBy = "for this machine";
    keptOnRequest = true;
}

void Presenter::AllowPause()
{
    canPause = true;
}

// A view shows the controller's choices as the reports bring them; a tray's are its own.
void Presenter::Show(const ControllerReport& report)
{
    shown = report;
    shown.zone[sizeof shown.zone - 1] = '\0';
    OnPause(report.pausedSeconds);
    if (report.choicesOf != ChoicesOf::Own) {
        std::memcpy(settings.zone, shown.zone, sizeof settings.zone);
        settings.zone[sizeof settings.zone - 1] = '\0';
        settings.throttleAt = report.throttleAt;
        settings.onBattery = report.onBattery;
        otherSession = report.choicesOf == ChoicesOf::OtherSession;
    }
    history.capLowered = report.capLowered;
    history.capEffect = report.capEffect;
    history.capPerformance = report.capPerformance;
    RefreshHistory(false);
    ComposeTip();
    if (iconMade) {
        trayIcon.UpdateTrayIcon(report.temperature, report.mode);
    } else {
        iconMade = true;
        trayIcon.CreateTrayIcon(Hwnd(), report.temperature, report.mode);
    }
    NoticeThrottle();
    if (throttleNotice.FirstNoEffect(report.capLowered ? report.capEffect : 0))
        ShowNoEffectNotice(trayIcon, shown, settings.notify, *texts);
}

void Presenter::EndHistory()
{
    history.Close(Hwnd());
}

void Presenter::ReleaseIcon()
{
    trayIcon.ReleaseTrayIcon();
}

const ControllerReport& Presenter::Shown() const
{
    return shown;
}

bool Presenter::HistoryOpen() const
{
    return history.open != nullptr;
}

TrayIcon& Presenter::Icon()
{
    return trayIcon;
}

// The history window: opened beside the icon, closed by a second click, Esc or the loss of the
// activation. Every way to open or close it ends here.
void Presenter::OpenHistory(bool fromKeyboard)
{
    RECT anchor = TrayIconAnchor(trayIcon.trayWindow, 0, iconSeen ? &iconSeenAt : nullptr);
    if (!history.Open(Hwnd(), anchor, shown.zone, settings.throttleAt, shown.capInForce,
                      settings.historyMinutes))
        return;
    history.openedFromKeyboard = fromKeyboard;
    LogPrint("WndProc(): history open\n");
    if (keptOnRequest)
        PostMessageW(Hwnd(), WM_KEPTWANTED, 0, 0);
}

void Presenter::CloseHistory()
{
    if (history.open == nullptr)
        return;
    history.Close(Hwnd());
    LogPrint("WndProc(): history closed\n");
}

// The stamp is taken once the window is gone, which may take a while: the click on the icon
// that took the activation away arrives after it and must not open the window again.
void Presenter::OnHistoryClose(WPARAM reason)
{
    if (history.open == nullptr)
        return;
    const bool fromKeyboard = history.openedFromKeyboard;
    CloseHistory();
    if (reason == HISTORY_CLOSE_DEACTIVATED) {
        history.deactivatedAt = GetTickCount64();
    } else if (fromKeyboard) {
        // As after the menu: the keyboard goes on from the icon.
        trayIcon.ReturnFocusToShell();
        LogPrint("WndProc(): focus back to the notification area\n");
    }
}

void Presenter::KeepHistory(HistoryStore* kept)
{
    history.kept = kept;
}

// The file is asked for with the standard dialog and written up to now; what went wrong is
// logged, and the user is told in a notice (the dialog has closed by then).
void Presenter::ExportHistory()
{
    if (keptOnRequest)
        PostMessageW(Hwnd(), WM_KEPTWANTED, KEPT_FOR_EXPORT, 0);
    else
        ExportHeldHistory();
}

void Presenter::ExportHeldHistory()
{
    if (history.kept == nullptr) {
        trayIcon.ShowNotice((*texts)[IDS_KEPT_UNREADABLE]);
        return;
    }
    wchar_t path[MAX_PATH * 2];
    bool days = false;
    if (!AskExportFile(Hwnd(), *texts, path, MAX_PATH * 2, days))
        return;
    const int64_t utc = UtcClockMs();
    history.kept->Advance(static_cast<int64_t>(GetTickCount64()), utc, LocalOffsetMinutes(utc));
    int rows = 0;
    const DWORD error = ExportHistoryCsv(*history.kept, days, path, rows);
    if (error != 0) {
        LogPrint("Export: %ls cannot be written (error %lu)\n", path, error);
        const wchar_t* name = std::wcsrchr(path, L'\\');
        const char16_t* inserts[] = {reinterpret_cast<const char16_t*>(name ? name + 1 : path)};
        char16_t text[NOTICE_SIZE];
        TextWriter(text, NOTICE_SIZE).AddPattern((*texts)[IDS_EXPORT_FAILED], inserts, 1);
        trayIcon.ShowNotice(text);
    } else
        LogPrint("Export: %d %s written to %ls\n", rows, days ? "days" : "minutes", path);
}

// The range the user switched to is remembered for the next time the window opens.
void Presenter::OnHistoryRange(WPARAM minutes)
{
    history.Retime();
    const int32_t asked = static_cast<int32_t>(minutes);
    const int32_t chosen = IsHistoryRange(asked) ? asked : HISTORY_HALF_HOUR;
    if (chosen == settings.historyMinutes)
        return;
    settings.historyMinutes = chosen;
    LogPrint("WndProc(): history over %d min\n", chosen);
    SaveHistoryRangeSetting(chosen);
}

// What a left click, Enter or Space on the icon does: opens the history window, or closes it.
void Presenter::ToggleHistory(bool fromKeyboard)
{
    if (history.open != nullptr)
        CloseHistory();
    else if (!history.JustDeactivated())
        OpenHistory(fromKeyboard);
}

// The second click of a double click on the icon toggles nothing: the first one did. Where the
// shell takes the activation at its button-down, a window that the first click opened has closed
// meanwhile, and opens again.
void Presenter::KeepFirstClick()
{
    if (history.LostToSecondClick())
        OpenHistory(false);
}

// A second start of the program asks for the history window, to show that Ambrel runs. The
// request comes from another process and carries nothing: it only ever opens the window, or
// brings the open one to the front, and never closes it.
void Presenter::OnSecondStart()
{
    LogPrint("WndProc(): second start\n");
    if (history.open != nullptr)
        history.BringForward();
    else
        OpenHistory(false);
}

void Presenter::OnHistoryTimer()
{
    RefreshHistory(true);
}

void Presenter::RefreshHistory(bool sample)
{
    history.Refresh(shown.zone, settings.throttleAt, shown.capInForce, sample);
}

bool Presenter::FitToScale()
{
    return trayIcon.ResizeTrayIcon(GetSystemMetrics(SM_CXSMICON));
}

// The shell sends it again after a change of display scale; a rebuilt icon is registered by the
// rebuild.
void Presenter::OnTaskbarCreated()
{
    if (!FitToScale())
        trayIcon.RestoreTrayIcon();
}

void Presenter::Close()
{
    CloseHistory();
    trayIcon.ReleaseTrayIcon();
}

// The time as the user's locale writes it, without seconds.
void Presenter::FailedSinceText(wchar_t* text, int size) const
{
    HourMinuteText(shown.failedHour, shown.failedMinute, text, size);
}

void Presenter::PausedUntilText(wchar_t* text, int size) const
{
    ShortTimeText(pausedUntil, text, size);
}

// The tooltip goes to the shell with the icon, and is what the hidden window answers WM_GETTEXT
// with, so that the program's state can be read from outside.
void Presenter::ComposeTip()
{
    wchar_t failedAt[32];
    FailedSinceText(failedAt, 32);
    wchar_t pausedAt[32];
    PausedUntilText(pausedAt, 32);
    TooltipFacts facts = {shown.temperature,
                          shown.mode,
                          shown.readingStatus,
                          shown.zone,
                          reinterpret_cast<const char16_t*>(failedAt),
                          settings.onBattery,
                          shown.capInForce,
                          shown.capLowered,
                          Paused() ? reinterpret_cast<const char16_t*>(pausedAt) : nullptr};
    facts.effect = shown.capEffect;
    facts.performance = shown.capPerformance;
    char16_t tip[TOOLTIP_SIZE];
    ComposeTooltip(tip, TOOLTIP_SIZE, facts, *texts);
    trayIcon.SetTip(tip);
}

// The first step of an episode that lowers a value below the user's own setting shows a
// notification, unless the user turned it off. Every value it lowered holds the mode's level.
void Presenter::NoticeThrottle()
{
    if (!throttleNotice.Observe(shown.capLowered, GetTickCount64()))
        return;
    if (!settings.notify) {
        LogPrint("WndProc(): throttle notice not shown: Notify is off\n");
        return;
    }
    char16_t text[NOTICE_SIZE];
    ComposeThrottleNotice(text, NOTICE_SIZE, shown.temperature, shown.mode, *texts);
    if (trayIcon.ShowNotice(text))
        LogPrint("WndProc(): throttle notice: %u %% at %d C\n", ThrottlePercentOfMode(shown.mode),
                 shown.temperature);
    else
        LogPrint("WndProc(): Shell_NotifyIconW(NIM_MODIFY) of the throttle notice failed\n");
}
