// How the program reaches pdh.dll and powrprof.dll. Neither is among the system's known DLLs,
// so both are delay-loaded (cmake/DelayLoad.cmake) and loaded here by their full
// system-directory path at their first call, never by a search that could find a same-named
// file beside the executable. A library that cannot be loaded at all does not end the process:
// each of its functions then answers with a failure status, as a failing call would.
#pragma once

#include <windows.h>

// Makes every later library load of the process, dependencies of the two libraries included,
// search the system directory only, where the platform can (Windows 8 and later, Windows 7
// with its update). Called first thing, before anything is loaded.
void RestrictLibrarySearch();

// Loads a library from the system directory by its full path; null when the path does not fit
// or the library cannot be loaded (the thread's last error then says why).
HMODULE LoadSystemLibrary(const char* name);
