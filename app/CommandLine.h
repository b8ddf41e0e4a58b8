// The switches of the command line: two for diagnostics, one to end a running instance.
#pragma once

struct CommandSwitches {
    int file;    // --logging: append every entry to %TEMP%\Ambrel.log
    int console; // --console: show every entry in a console window
    int exit;    // --exit: ask the running instance to end, wait for it, and end too
};

// Matches the arguments after the program name against the switches, exactly and
// case-sensitively; every other argument is ignored and repeats do no harm.
CommandSwitches ParseCommandLine(int argc, const char* const* argv);
