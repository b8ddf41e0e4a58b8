// The two diagnostic switches of the command line.
#pragma once

struct LogSwitches {
    int file;    // --logging: append every entry to %TEMP%\Ambrel.log
    int console; // --console: show every entry in a console window
};

// Matches the arguments after the program name against the switches, exactly and
// case-sensitively; every other argument is ignored and repeats do no harm.
LogSwitches ParseLogSwitches(int argc, const char* const* argv);
