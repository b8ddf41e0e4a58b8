// What a command of the tray menu does: each checked against its lock, logged, the choice changed
// and remembered; and what it asks of others, as one value: of the presenter (the history
// window, the end of the run) and of the role (the choices changed, a pause or its end). It
// calls back into nobody. Main thread only.
#pragma once

#include "base/TextTable.h"
#include "settings/Settings.h"
#include "ui/TrayMenu.h"

// What a menu command asks: the choices changed (for the controller), a pause of some minutes or
// its end, the history window, the end of the run.
struct MenuOutcome {
    bool choicesChanged;
    int pauseMinutes;
    bool resume;
    bool openHistory;
    bool exportHistory;
    bool exit;
};

// The menu's choices and who may change what: the settings shown (changed in place), whose the
// locked ones are (for the log), and whether the pause is this presenter's to make.
struct MenuCommandContext {
    Settings& settings;
    const char* lockedBy;
    bool canPause;
    const TrayMenu& menu;
    const TextTable& texts;
};

MenuOutcome RunMenuCommand(int command, const MenuCommandContext& context);
