#pragma once

// Loads pdh.dll and powrprof.dll from the system directory by their full paths, before anything
// calls into them, so that a same-named file beside the executable is never loaded.
void LoadSystemLibraries();
