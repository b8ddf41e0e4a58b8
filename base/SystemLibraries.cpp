#include "base/SystemLibraries.h"

#include "base/Log.h"
#include "base/LogFormat.h"

#include <delayimp.h>
#include <pdhmsg.h>

// The stand-ins below take no parameters but are called with those of the functions they stand
// in for. That is sound only where the caller removes the arguments, as in the 64-bit calling
// convention, the only one this program is built for.
static_assert(sizeof(void*) == 8, "the delay-load stand-ins need the 64-bit calling convention");

namespace
{

// Set when SetDefaultDllDirectories took effect: the process then searches the system
// directory only, and a library loaded by full path finds its dependencies there too.
bool g_searchRestricted;

// The answers of a function that is not available: PDH functions return a PDH status, the
// power functions (and any other Win32 function) a Win32 error code. The low 32 bits are the
// status; the caller reads no more. Output parameters are left untouched, as a failing call
// leaves them.
INT_PTR WINAPI PdhFunctionUnavailable()
{
    return static_cast<LONG>(PDH_FUNCTION_NOT_FOUND);
}

INT_PTR WINAPI Win32FunctionUnavailable()
{
    return ERROR_PROC_NOT_FOUND;
}

FARPROC UnavailableFunction(const char* library)
{
    if (lstrcmpiA(library, "pdh.dll") == 0)
        return PdhFunctionUnavailable;
    return Win32FunctionUnavailable;
}

// Stands in for a library that could not be loaded: the delay-load helper stores it as the
// library's handle, so the load is tried once, and each function of the library then resolves
// to its stand-in. The executable exports nothing, and the helper frees a handle only when two
// threads race to load the same library, which for the program image does nothing.
HMODULE MissingLibrary()
{
    return GetModuleHandleA(nullptr);
}

FARPROC WINAPI DelayLoadNotify(unsigned notification, PDelayLoadInfo info)
{
    switch (notification) {
    case dliNotePreLoadLibrary: {
        HMODULE library = LoadSystemLibrary(info->szDll);
        if (library != nullptr)
            return reinterpret_cast<FARPROC>(library);
        LogPrint("LoadLibraryExA(%s) error=%lx", info->szDll, GetLastError());
        return reinterpret_cast<FARPROC>(MissingLibrary());
    }
    case dliNotePreGetProcAddress:
        if (info->hmodCur == MissingLibrary())
            return UnavailableFunction(info->szDll);
        return nullptr;
    default:
        return nullptr;
    }
}

// A function that the loaded library does not export (an older system) fails like a missing
// library's. A failed load does not reach here, as the notification above answers it; should
// it, it is answered the same way rather than with the helper's exception.
FARPROC WINAPI DelayLoadFailure(unsigned notification, PDelayLoadInfo info)
{
    if (notification == dliFailLoadLib)
        return reinterpret_cast<FARPROC>(MissingLibrary());
    if (notification != dliFailGetProc)
        return nullptr;
    if (info->dlp.fImportByName)
        LogPrint("GetProcAddress(%s, %s) error=%lx", info->szDll, info->dlp.szProcName,
                 info->dwLastError);
    return UnavailableFunction(info->szDll);
}

} // namespace

// The delay-load helper calls these for every delay-loaded function, those added later
// included. The platform's header declares them const, MinGW-w64's writable.
#if defined(_MSC_VER)
#define AMBREL_DELAY_HOOK const
#else
#define AMBREL_DELAY_HOOK
#endif
extern "C" {
AMBREL_DELAY_HOOK PfnDliHook __pfnDliNotifyHook2 = DelayLoadNotify;
AMBREL_DELAY_HOOK PfnDliHook __pfnDliFailureHook2 = DelayLoadFailure;
}

void RestrictLibrarySearch()
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    SetDefaultDllDirectoriesFunction setDefaultDirectories =
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    g_searchRestricted =
        setDefaultDirectories != nullptr && setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadSystemLibrary(const char* name)
{
    char path[MAX_PATH + 1];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0)
        return nullptr;
    if (length >= sizeof path || !AppendToPath(path, sizeof path, "\\") ||
        !AppendToPath(path, sizeof path, name)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    // Without the restricted search, the altered search path makes the library's own folder,
    // the system directory, the first place its dependencies are looked for.
    return LoadLibraryExA(path, nullptr, g_searchRestricted ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH);
}
