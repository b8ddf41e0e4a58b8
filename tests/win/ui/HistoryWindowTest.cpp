// HistoryWindow as a real window: a new display scale while it is open, and the system's look
// read anew when the system says so.
#include "TrayTestSupport.h"

#include "ui/HistoryWindow.h"
#include "watch/TempConversion.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace
{

using namespace traytest;

const wchar_t PERSONALIZE[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
const wchar_t CONTRAST[] = L"Control Panel\\Accessibility\\HighContrast";

void SetUserValue(const wchar_t* path, const wchar_t* name, DWORD kind, const void* data,
                  DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE,
                                             nullptr, &key, nullptr));
    if (data != nullptr)
        RegSetValueExW(key, name, 0, kind, static_cast<const BYTE*>(data), size);
    else
        RegDeleteValueW(key, name);
    RegCloseKey(key);
}

HistoryLook LookAfter(HistoryWindow& window, UINT message, WPARAM wParam, const wchar_t* area)
{
    SendMessageW(window.hwnd, message, wParam, reinterpret_cast<LPARAM>(area));
    return window.palette.look;
}

TEST(HistoryWindow, RescaledAndInTheSystemsLook)
{
    HiddenWindow owner;
    std::unique_ptr<HistoryRing> readings(new HistoryRing());
    readings->Add({0, 47, 0, READING_OK});
    // Without texts: the window text is checked end to end.
    TextTable words = {};
    HistoryView view = {
        readings.get(), nullptr, {47, 0, READING_OK, "", nullptr, false, 100, false, nullptr}, 85,
        1000,           &words};
    std::unique_ptr<HistoryWindow> window(new HistoryWindow());
    ASSERT_TRUE(window->Open(owner.handle, WM_USER, {600, 700, 616, 716}, view));

    // A display at twice the scale: the suggested rectangle, a font twice as high.
    LOGFONTW before = {}, after = {};
    GetObjectW(window->font, sizeof before, &before);
    RECT suggested = {100, 100, 100 + 2 * HISTORY_WIDTH, 100 + 2 * HISTORY_HEIGHT};
    SendMessageW(window->hwnd, 0x02E0, MAKEWPARAM(2 * window->systemDpi, 2 * window->systemDpi),
                 reinterpret_cast<LPARAM>(&suggested));
    RECT placed = {};
    GetWindowRect(window->hwnd, &placed);
    EXPECT_EQ((std::vector<LONG>{100, 100, 100 + 2 * HISTORY_WIDTH, 100 + 2 * HISTORY_HEIGHT}),
              (std::vector<LONG>{placed.left, placed.top, placed.right, placed.bottom}));
    GetObjectW(window->font, sizeof after, &after);
    EXPECT_EQ(2 * window->systemDpi, window->dpi);
    EXPECT_EQ(2 * before.lfHeight, after.lfHeight);

    // The theme, high contrast, and a value of the wrong kind (light, as where it is missing).
    const DWORD dark = 0;
    SetUserValue(PERSONALIZE, L"SystemUsesLightTheme", REG_DWORD, &dark, sizeof dark);
    EXPECT_EQ(HistoryLook::Light, LookAfter(*window, WM_SETTINGCHANGE, 0, L"Policy"));
    EXPECT_EQ(HistoryLook::Dark, LookAfter(*window, WM_SETTINGCHANGE, 0, L"ImmersiveColorSet"));
    SetUserValue(CONTRAST, L"Flags", REG_SZ, L"127", 8);
    EXPECT_EQ(HistoryLook::HighContrast,
              LookAfter(*window, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, nullptr));
    SetUserValue(CONTRAST, L"Flags", REG_SZ, L"126", 8);
    SetUserValue(PERSONALIZE, L"SystemUsesLightTheme", REG_SZ, L"0", 4);
    EXPECT_EQ(HistoryLook::Light, LookAfter(*window, WM_SYSCOLORCHANGE, 0, nullptr));
    SetUserValue(PERSONALIZE, L"SystemUsesLightTheme", REG_DWORD, nullptr, 0);
    SetUserValue(CONTRAST, L"Flags", REG_SZ, nullptr, 0);
    window->Release();
    EXPECT_EQ(nullptr, window->hwnd);
    EXPECT_EQ(nullptr, window->font);
}

} // namespace
