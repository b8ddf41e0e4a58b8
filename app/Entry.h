#pragma once

#include <windows.h>

// The whole life of the program after the platform has started it: single-instance guard,
// switches, log, Run and the final teardown. Returns the process exit code.
int AmbrelMain(HINSTANCE instance, int argc, char** argv);
