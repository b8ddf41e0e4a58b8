// The switches of the command line: two for diagnostics, one to end a running instance, one for
// the start by the Service Control Manager.
#pragma once

struct CommandSwitches {
    int file;    // --logging: append every entry to %TEMP%\Ambrel.log
    int console; // --console: show every entry in a console window
    int exit;    // --exit: ask the running instance to end, wait for it, and end too
    int service; // --service: run as the machine's Windows service
};

// Matches the arguments after the program name against the switches, exactly and
// case-sensitively; every other argument is ignored and repeats do no harm.
CommandSwitches ParseCommandLine(int argc, const char* const* argv);
