// The diagnostic log: one printf-style function that every part of the program reports through.
// Entries go to a console window (--console) and to %TEMP%\Ambrel.log (--logging; the service's
// to its own directory); with neither switch a call returns at once.
#pragma once

#if defined(__GNUC__)
#define AMBREL_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define AMBREL_PRINTF_FORMAT(fmt, args)
#endif

// Stores the two switches and opens the sinks they ask for: the file first, then the console.
void OpenLogSinks(int fileSwitch, int consoleSwitch);

// The file sink alone, in directory\Ambrel.log rather than in %TEMP% (the service's log, in a
// directory only administrators may change). False when the file cannot be opened, or what is
// there is a link or a hard link to another file: then nothing is logged.
bool OpenLogSinksIn(const char* directory);

// Writes one entry, prefixed with the local time and the calling thread's id. Adds no line break.
void LogPrint(const char* format, ...) AMBREL_PRINTF_FORMAT(1, 2);
