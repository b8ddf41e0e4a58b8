// The switches of the command line: two for diagnostics, one to end a running instance, one for
// the start by the Service Control Manager, three that ask and answer without starting anything
// (--status, --json, --diagnose), and two to pause the controller or end its pause.
#pragma once

struct CommandSwitches {
    int file;     // --logging: append every entry to %TEMP%\Ambrel.log
    int console;  // --console: show every entry in a console window
    int exit;     // --exit: ask the running instance to end, wait for it, and end too
    int service;  // --service: run as the machine's Windows service
    int status;   // --status: ask the controller through the status pipe, print it and end
    int json;     // --json: with --status, the answer as one JSON object
    int diagnose; // --diagnose: print what this machine offers the program, read-only, and end
    // --pause N: pause the controller for N minutes (1 to AMBREL_LONGEST_PAUSE_MINUTES); -1 when
    // N is missing or not such a number, 0 without the switch.
    int pause;
    int resume; // --resume: end the controller's pause
    // --export FILE: write the history kept as CSV to FILE (the argument after it, read again
    // from the wide command line) and end; -1 when FILE is missing. --days: a row a day.
    int exportTo;
    int days;
    // The first argument that is none of the switches (null when there is none): ignored by a
    // start, refused by --status, for which a script's typo must not pass unnoticed.
    const char* other;
};

// Matches the arguments after the program name against the switches, exactly and
// case-sensitively; every other argument is ignored and repeats do no harm. --pause takes the
// argument after it as its number, --export as its file.
CommandSwitches ParseCommandLine(int argc, const char* const* argv);
