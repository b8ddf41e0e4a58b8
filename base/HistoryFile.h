// The history's file: read whole at start, written whole as a new file that then replaces the
// old one (MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), so that a
// crash or a power cut at any moment leaves either the old file or the new one, never half of
// one. A file that cannot be taken (spoiled, too large, of another version, a directory in its
// place, one that this account may not write) is set aside under "<name>.spoiled" so that the
// history begins anew beside it, and is never read again.
#pragma once

#include "base/HistoryStore.h"

#include <windows.h>

// The file's name in its directory, the name of the new file before it replaces it, and the
// name a file is set aside under.
const wchar_t HISTORY_FILE_NAME[] = L"history.dat";
const wchar_t HISTORY_NEW_SUFFIX[] = L".new";
const wchar_t HISTORY_ASIDE_SUFFIX[] = L".spoiled";
// A file larger than this is not read at all.
const DWORD HISTORY_FILE_LIMIT = 1024 * 1024;

enum class HistoryLoad {
    // Read: the store holds it.
    Read,
    // No file (a first run, or one deleted): the store is empty.
    Missing,
    // Something was there that could not be taken, and it was set aside: the store is empty.
    SetAside,
    // Something was there that could not be taken nor set aside: the store is empty, and the
    // file is left where it is.
    Refused,
};

// "<directory>\history.dat" into path (size characters); false when it does not fit.
bool HistoryFilePath(const wchar_t* directory, wchar_t* path, size_t size);
// %LOCALAPPDATA%\Ambrel (made when missing) into directory; false when there is none.
bool UserHistoryDirectory(wchar_t* directory, size_t size);

// Reads path into store (cleared first). A file missing while its new file is there (a first
// write cut short before the replace) is read from the new file. why gets a short text for the
// log (what was wrong with the file, or the error).
HistoryLoad LoadHistoryFile(const wchar_t* path, HistoryStore& store, char* why, size_t whySize);
// Writes size bytes as path's new file and puts it in path's place: 0, or the error of the step
// that failed (nothing of the old file is changed then).
DWORD SaveHistoryFile(const wchar_t* path, const uint8_t* bytes, size_t size);
// Reads path (or its new file) without setting anything aside: for a reader that does not own
// the file (Ambrel.exe --export). False when there is no good history there.
bool ReadHistoryFile(const wchar_t* path, HistoryStore& store);
