// A stand-in for a DLL that someone planted beside Ambrel.exe under a system DLL's name: when
// loaded, it only leaves a marker file (named by AMBREL_PLANT_MARKER) to show that it was.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char marker[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("AMBREL_PLANT_MARKER", marker, sizeof marker);
    if (length == 0 || length >= sizeof marker)
        return TRUE;
    HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return TRUE;
}
