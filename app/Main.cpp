// The GUI entry point of Ambrel.exe.
#include "app/Entry.h"
#include "base/SystemLibraries.h"

#include <cstdlib>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    RestrictLibrarySearch();
    return AmbrelMain(instance, __argc, __argv);
}
