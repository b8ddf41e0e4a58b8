// Looks at another Windows process from inside Wine, for the benchmark scripts.
//
//   probe wait CLASS          print "ready", then wait until a window of CLASS exists; print
//   "found" probe wait-visible CLASS  the same, until a window of CLASS exists and is visible probe
//   counts CLASS        handle, GDI and USER object counts and Windows threads of the process
//                             that owns the window of CLASS (-1 where a call fails); handles are
//                             asked of GetProcessHandleCount and of the system process list
//   probe close CLASS         post WM_CLOSE to the window of CLASS
#include <windows.h>

#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace
{

const DWORD kWaitLimitMs = 60000;

bool WindowReady(const char* windowClass, bool mustBeVisible)
{
    HWND window = FindWindowA(windowClass, nullptr);
    return window != nullptr && (!mustBeVisible || IsWindowVisible(window));
}

int WaitForWindow(const char* windowClass, bool mustBeVisible)
{
    std::printf("ready\n");
    std::fflush(stdout);
    DWORD start = GetTickCount();
    while (!WindowReady(windowClass, mustBeVisible)) {
        if (GetTickCount() - start > kWaitLimitMs) {
            std::printf("timeout\n");
            return 1;
        }
        Sleep(1);
    }
    std::printf("found\n");
    std::fflush(stdout);
    return 0;
}

long WindowsThreadCount(DWORD processId)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    long count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == processId)
            ++count;
    }
    CloseHandle(snapshot);
    return count;
}

// The handle count that NtQuerySystemInformation's process list gives for the process.
long ListedHandleCount(DWORD processId)
{
    typedef NTSTATUS(WINAPI * QueryFunction)(SYSTEM_INFORMATION_CLASS, void*, ULONG, ULONG*);
    QueryFunction query = reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
        return -1;
    std::vector<unsigned char> buffer(1 << 20);
    ULONG needed = 0;
    if (query(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
              &needed) != 0)
        return -1;
    for (size_t offset = 0;;) {
        const SYSTEM_PROCESS_INFORMATION* entry =
            reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
        if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == processId)
            return static_cast<long>(entry->HandleCount);
        if (entry->NextEntryOffset == 0)
            return -1;
        offset += entry->NextEntryOffset;
    }
}

int PrintCounts(const char* windowClass)
{
    HWND window = FindWindowA(windowClass, nullptr);
    if (window == nullptr) {
        std::printf("no window of class %s\n", windowClass);
        return 1;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    long handles = -1;
    long gdiObjects = -1;
    long userObjects = -1;
    if (process != nullptr) {
        DWORD count = 0;
        if (GetProcessHandleCount(process, &count))
            handles = static_cast<long>(count);
        gdiObjects = static_cast<long>(GetGuiResources(process, GR_GDIOBJECTS));
        userObjects = static_cast<long>(GetGuiResources(process, GR_USEROBJECTS));
        CloseHandle(process);
    }
    std::printf("handles=%ld listed_handles=%ld gdi=%ld user=%ld threads=%ld\n", handles,
                ListedHandleCount(processId), gdiObjects, userObjects,
                WindowsThreadCount(processId));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "wait") == 0)
        return WaitForWindow(argv[2], false);
    if (argc == 3 && std::strcmp(argv[1], "wait-visible") == 0)
        return WaitForWindow(argv[2], true);
    if (argc == 3 && std::strcmp(argv[1], "counts") == 0)
        return PrintCounts(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "close") == 0) {
        HWND window = FindWindowA(argv[2], nullptr);
        return window != nullptr && PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    std::fprintf(stderr, "usage: probe wait|wait-visible|counts|close CLASS\n");
    return 2;
}
