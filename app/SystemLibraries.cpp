#include "app/SystemLibraries.h"

#include "app/LogFormat.h"

#include <windows.h>

namespace
{

// Loads one library from the system directory; nothing happens when the path does not fit,
// and a library that cannot be loaded fails later, at its first call, as a missing one would.
void LoadFromSystemDirectory(const char* name)
{
    char path[MAX_PATH + 1];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;
    if (!AppendToPath(path, sizeof path, "\\") || !AppendToPath(path, sizeof path, name))
        return;
    LoadLibraryA(path);
}

} // namespace

void LoadSystemLibraries()
{
    LoadFromSystemDirectory("pdh.dll");
    LoadFromSystemDirectory("powrprof.dll");
}
