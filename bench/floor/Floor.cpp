// The floor: the least a resident Win32 tray-less program can cost. It registers a window class,
// creates a hidden window and waits in its message loop, while a second thread wakes every
// 2000 ms and does nothing. The benchmark compares Ambrel.exe against this process.
//
// Built with FLOOR_READS_SENSOR=1 the thread also reads the thermal-zone counter on every wake,
// the same two PDH calls Ambrel makes: the floor plus the cost of the sensor alone.
// Built with FLOOR_TRAY_ICON=1 as well, it is the bare tray program: the sensor floor that also
// adds one static icon (the system's application icon) to the notification area at start and
// removes it at exit. Against it Ambrel is measured without the price of the shell itself.
#include <windows.h>

#if FLOOR_READS_SENSOR
#include <pdh.h>
#endif
#if FLOOR_TRAY_ICON
#include <shellapi.h>
#endif

namespace
{

#if FLOOR_TRAY_ICON
const char kFloorClass[] = "AmbrelFloorTray";
#elif FLOOR_READS_SENSOR
const char kFloorClass[] = "AmbrelFloorSensor";
#else
const char kFloorClass[] = "AmbrelFloor";
#endif
const DWORD kWakeIntervalMs = 2000;

HANDLE g_stopEvent;

#if FLOOR_READS_SENSOR
DWORD WINAPI IdleWaker(void*)
{
    PDH_HQUERY query = nullptr;
    PDH_HCOUNTER counter = nullptr;
    PdhOpenQueryA(nullptr, 0, &query);
    PdhAddCounterA(query, "\\Thermal Zone Information(\\_TZ.TZ01)\\High Precision Temperature", 0,
                   &counter);
    while (WaitForSingleObject(g_stopEvent, kWakeIntervalMs) == WAIT_TIMEOUT) {
        PDH_FMT_COUNTERVALUE value;
        PdhCollectQueryData(query);
        PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, nullptr, &value);
    }
    PdhCloseQuery(query);
    return 0;
}
#else
DWORD WINAPI IdleWaker(void*)
{
    while (WaitForSingleObject(g_stopEvent, kWakeIntervalMs) == WAIT_TIMEOUT) {
    }
    return 0;
}
#endif

LRESULT CALLBACK FloorProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

#if FLOOR_TRAY_ICON
void TrayIcon(HWND window, DWORD action)
{
    NOTIFYICONDATAA icon = {};
    icon.cbSize = sizeof icon;
    icon.hWnd = window;
    icon.uID = 1;
    icon.uFlags = NIF_ICON;
    icon.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512)); // IDI_APPLICATION
    Shell_NotifyIconA(action, &icon);
}
#endif

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = FloorProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kFloorClass;
    if (RegisterClassExA(&windowClass) == 0)
        return 1;
    HWND window = CreateWindowExA(0, kFloorClass, nullptr, 0, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, nullptr);
    if (window == nullptr)
        return 1;
    g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE waker = CreateThread(nullptr, 0, IdleWaker, nullptr, 0, nullptr);
    if (g_stopEvent == nullptr || waker == nullptr)
        return 1;
#if FLOOR_TRAY_ICON
    TrayIcon(window, NIM_ADD);
#endif

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }

#if FLOOR_TRAY_ICON
    TrayIcon(window, NIM_DELETE);
#endif
    SetEvent(g_stopEvent);
    WaitForSingleObject(waker, INFINITE);
    CloseHandle(waker);
    CloseHandle(g_stopEvent);
    DestroyWindow(window);
    return 0;
}
