// The diagnostic log: one printf-style function that every part of the program reports through.
// Entries go to a console window (--console) and to %TEMP%\Ambrel.log (--logging); with neither
// switch a call returns at once.
#pragma once

#if defined(__GNUC__)
#define AMBREL_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define AMBREL_PRINTF_FORMAT(fmt, args)
#endif

// Stores the two switches and opens the sinks they ask for: the file first, then the console.
void OpenLogSinks(int fileSwitch, int consoleSwitch);

// Writes one entry, prefixed with the local time and the calling thread's id. Adds no line break.
void LogPrint(const char* format, ...) AMBREL_PRINTF_FORMAT(1, 2);
