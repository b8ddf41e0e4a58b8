#pragma once

// The messages the watcher posts to the hidden window. WM_USER is 0x0400 in <windows.h>; the
// values are written out here so that platform-free code can share them. The tray icon's own
// callback message, WM_FROMTRAY, sits just below them (ui/TrayIcon.h).
//
// WM_TEMPINIT:   the watcher's first reading (wParam temperature, lParam throttle mode).
// WM_TEMPCHANGE: a later reading whose temperature or mode differs from the last one posted.
// WM_TEMPSTATUS: the reading's status has changed (wParam READING_OK, READING_FAILED or
//                READING_NO_ZONE); posted just before the report that carries the change.
// WM_TEMPCAP:    the cap has changed (wParam the AC maximum processor state in force in
//                percent, 0 while unknown; lParam 1 while the cap lowers some value below the
//                user's own setting, else 0); posted just before the report that carries it.
// WM_TEMPSCHEME: the power scheme the cap was last put in force in has changed (its SchemeId's 16
//                bytes, the first 8 in wParam and the last 8 in lParam); posted after the step.
// WM_TEMPWRITEFAIL: a power write failed (wParam the ThrottleValue, lParam the platform's code);
//                posted after the step, at each failed attempt.
// WM_TEMPPAUSE:  the pause has begun, been renewed or ended (wParam the seconds it has left, 0
//                when it has ended); posted just before the report that shows it.
// WM_TEMPEFFECT: what the check of the cap's effect says has changed (wParam the CAP_EFFECT_*
//                value in its low byte and the busy share in percent in the next; lParam the
//                performance seen in percent); posted just before the report that carries it.
#define AMBREL_WM_USER_BASE 0x0400

#define WM_TEMPINIT (AMBREL_WM_USER_BASE + 11)
#define WM_TEMPCHANGE (AMBREL_WM_USER_BASE + 12)
#define WM_TEMPSTATUS (AMBREL_WM_USER_BASE + 13)
#define WM_TEMPCAP (AMBREL_WM_USER_BASE + 14)
#define WM_TEMPSCHEME (AMBREL_WM_USER_BASE + 15)
#define WM_TEMPWRITEFAIL (AMBREL_WM_USER_BASE + 16)
#define WM_TEMPPAUSE (AMBREL_WM_USER_BASE + 17)
#define WM_TEMPEFFECT (AMBREL_WM_USER_BASE + 18)
