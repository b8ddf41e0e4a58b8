#include "present/EffectNotice.h"

#include "base/Log.h"
#include "ui/NoticeText.h"

void ShowNoEffectNotice(const TrayIcon& icon, const ControllerReport& report, bool notify,
                        const TextTable& words)
{
    if (!notify) {
        LogPrint("WndProc(): no-effect notice not shown: Notify is off\n");
        return;
    }
    char16_t text[NOTICE_SIZE];
    ComposeNoEffectNotice(text, NOTICE_SIZE, report.capPerformance, report.capInForce, words);
    if (icon.ShowNotice(text))
        LogPrint("WndProc(): no-effect notice: %d %% with %d %% in force\n",
                 static_cast<int>(report.capPerformance), static_cast<int>(report.capInForce));
    else
        LogPrint("WndProc(): Shell_NotifyIconW(NIM_MODIFY) of the no-effect notice failed\n");
}
