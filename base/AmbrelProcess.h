// Whether another process is an Ambrel: by the file name of its image, Ambrel.exe. Any program
// may make a window of Ambrel's class or serve a pipe of Ambrel's name; what such a thing says
// counts only where its process runs an Ambrel.exe (in this user's session, or, for the service,
// in any).
#pragma once

#include <windows.h>

// True when the file name in path (what follows the last \ or /) is Ambrel.exe, in any case.
bool IsAmbrelImagePath(const wchar_t* path);

enum class ProgramKind { Ambrel, Other, Unknown };

// What the process runs; Unknown when it cannot be opened or its image read (a user may not open
// another user's process).
ProgramKind ProgramOfProcess(DWORD processId);

// True when the process runs in this process's session.
bool InThisSession(DWORD processId);
