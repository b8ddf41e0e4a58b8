// The GUI entry point of Ambrel.exe.
#include "app/Entry.h"

#include <cstdlib>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return AmbrelMain(instance, __argc, __argv);
}
