// HistoryWindow as a real window: a new display scale while it is open, and the system's look
// read anew when the system says so.
#include "TrayTestSupport.h"

#include "base/LoadedTexts.h"
#include "power/Ambrel.h"
#include "ui/HistoryWindow.h"
#include "watch/TempConversion.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

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

// 47 °C at mode 0, 100 % in force, the threshold at 85 °C, a second after the readings began.
HistoryView ViewAt47(const HistoryRing& readings, const TextTable& words, const DayRing* day,
                     int32_t nowMinute)
{
    return {&readings, nullptr,   {47, 0, READING_OK, "", nullptr, false, 100, false, nullptr},
            85,        1000,      &words,
            day,       nowMinute, nullptr,
            0,         0};
}

TEST(HistoryWindow, RescaledAndInTheSystemsLook)
{
    HiddenWindow owner;
    std::unique_ptr<HistoryRing> readings(new HistoryRing());
    readings->Add({0, 47, 0, READING_OK});
    // Without texts: the window text is checked end to end.
    TextTable words = {};
    HistoryView view = ViewAt47(*readings, words, nullptr, 0);
    std::unique_ptr<HistoryWindow> window(new HistoryWindow());
    ASSERT_TRUE(window->Open(owner.handle, WM_USER, WM_USER + 1, HISTORY_HALF_HOUR,
                             {600, 700, 616, 716}, view));

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

WPARAM RangePosted(HWND owner)
{
    MSG message = {};
    return PeekMessageW(&message, owner, WM_USER + 1, WM_USER + 1, PM_REMOVE) ? message.wParam : 0;
}

// A view that changes nothing draws nothing; a new reading draws over the frame kept; Tab, the
// arrow keys and a click on a range switch it, tell the owner, and draw the frame anew.
TEST(HistoryWindow, DrawsOnlyWhatChangesAndSwitchesItsRange)
{
    HiddenWindow owner;
    std::unique_ptr<HistoryRing> readings(new HistoryRing());
    readings->Add({0, 47, 0, READING_OK});
    std::unique_ptr<DayRing> day(new DayRing());
    day->Add(0, 60 * MINUTE_MS, 47, 0, READING_OK, false);
    day->Add(1000, 61 * MINUTE_MS, 88, 1, READING_OK, true);
    TextTable words = {};
    HistoryView view = ViewAt47(*readings, words, day.get(), 61);
    std::unique_ptr<HistoryWindow> window(new HistoryWindow());
    ASSERT_TRUE(
        window->Open(owner.handle, WM_USER, WM_USER + 1, HISTORY_DAY, {600, 700, 616, 716}, view));
    UpdateWindow(window->hwnd);
    EXPECT_EQ((std::vector<unsigned>{1, 1}),
              (std::vector<unsigned>{window->paints, window->framesDrawn}));
    // Two minutes on one pixel: one column over both.
    ASSERT_EQ(1, window->graph.columnCount);
    EXPECT_EQ(TemperatureY(window->graph, 88), window->graph.columns[0].top);
    window->Show(view);
    day->Add(2000, 61 * MINUTE_MS + 2000, 60, 0, READING_OK, false);
    window->Show(view);
    UpdateWindow(window->hwnd);
    EXPECT_EQ(1u, window->paints);
    day->Add(4000, 61 * MINUTE_MS + 4000, 45, 0, READING_OK, false);
    window->Show(view);
    UpdateWindow(window->hwnd);
    EXPECT_EQ((std::vector<unsigned>{2, 1}),
              (std::vector<unsigned>{window->paints, window->framesDrawn}));

    SendMessageW(window->hwnd, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(HISTORY_HALF_HOUR, window->range);
    EXPECT_EQ(WPARAM(HISTORY_HALF_HOUR), RangePosted(owner.handle));
    SendMessageW(window->hwnd, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(0u, RangePosted(owner.handle));
    UpdateWindow(window->hwnd);
    EXPECT_EQ(2u, window->framesDrawn);
    // At rest (one steady reading older than the half hour), the timer's steps of a column each
    // draw nothing, and a column is longer than the 2 s between two readings.
    view.nowMs = 31 * MINUTE_MS;
    window->Show(view);
    UpdateWindow(window->hwnd);
    const unsigned paints = window->paints;
    EXPECT_GT(window->ColumnMs(), 2000);
    for (int step = 0; step < 3; ++step) {
        view.nowMs += window->ColumnMs();
        window->Show(view);
        UpdateWindow(window->hwnd);
    }
    EXPECT_EQ(paints, window->paints);
    const RECT box = window->rangeBoxes[1];
    SendMessageW(window->hwnd, WM_LBUTTONDOWN, 0,
                 MAKELPARAM((box.left + box.right) / 2, (box.top + box.bottom) / 2));
    EXPECT_EQ(WPARAM(HISTORY_DAY), RangePosted(owner.handle));
    SendMessageW(window->hwnd, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(WPARAM(HISTORY_HALF_HOUR), RangePosted(owner.handle));

    // With a kept history, 7 d and Days follow in their order: the arrows stop at Days, Tab goes
    // round; the week's minute is a column, the day a peak over a bar of its lowering.
    std::unique_ptr<HistoryStore> kept(new HistoryStore());
    kept->Clear();
    kept->Record(0, 13400000000000LL, 60, {90, 2, 80, true, true, false});
    view.kept = kept.get();
    view.nowUtcMinute = kept->newestMinute;
    view.today = (kept->newestMinute + 60) / MINUTES_A_DAY;
    window->Show(view);
    const WPARAM steps[] = {HISTORY_DAY, HISTORY_WEEK, HISTORY_BY_DAY, 0};
    for (WPARAM expected : steps) {
        SendMessageW(window->hwnd, WM_KEYDOWN, VK_RIGHT, 0);
        EXPECT_EQ(expected, RangePosted(owner.handle));
        if (expected == HISTORY_WEEK) {
            EXPECT_EQ(1, window->graph.columnCount);
        }
    }
    EXPECT_EQ((std::vector<int>{1, 1, 0}),
              (std::vector<int>{window->graph.columnCount, window->graph.temperature.pointCount,
                                window->graph.segmentCount}));
    EXPECT_EQ(TemperatureY(window->graph, 90), window->graph.temperature.points[0].y);
    SendMessageW(window->hwnd, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(WPARAM(HISTORY_HALF_HOUR), RangePosted(owner.handle));
    const RECT days = window->rangeBoxes[3];
    SendMessageW(window->hwnd, WM_LBUTTONDOWN, 0,
                 MAKELPARAM((days.left + days.right) / 2, (days.top + days.bottom) / 2));
    EXPECT_EQ(WPARAM(HISTORY_BY_DAY), RangePosted(owner.handle));
    window->Release();
    EXPECT_EQ(nullptr, window->hwnd);
    EXPECT_EQ(nullptr, window->font);
}

// Every entry of the legend, a pause and the performance line among them, stands wholly inside
// the window and above the plot, in every language and at 100 % and 200 %.
TEST(HistoryWindow, TheLegendFitsInEveryLanguageAtEveryScale)
{
    HMODULE program = LoadLibraryExA(AMBREL_EXE_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, program) << AMBREL_EXE_PATH;
    HiddenWindow owner;
    std::unique_ptr<HistoryRing> readings(new HistoryRing()), samples(new HistoryRing());
    readings->Add({0, 47, 0, READING_OK});
    readings->Add({400, 47, AMBREL_PAUSED_MODE, READING_OK});
    const int names[LEGEND_ENTRIES] = {IDS_LEGEND_TEMPERATURE, IDS_LEGEND_STATE, IDS_LEGEND_PAUSED,
                                       IDS_LEGEND_PERFORMANCE};
    std::unique_ptr<LoadedTexts> texts(new LoadedTexts());
    for (LANGID language :
         {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN),
          MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN),
          MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN),
          MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)}) {
        texts->Load(program, language);
        HistoryView view = ViewAt47(*readings, texts->table, nullptr, 0);
        view.performance = samples.get();
        std::unique_ptr<HistoryWindow> window(new HistoryWindow());
        ASSERT_TRUE(window->Open(owner.handle, WM_USER, WM_USER + 1, HISTORY_HALF_HOUR,
                                 {600, 700, 616, 716}, view));
        for (int scale = 1; scale <= 2; ++scale) {
            RECT suggested = {0, 0, scale * HISTORY_WIDTH, scale * HISTORY_HEIGHT};
            const int dpi = scale * window->systemDpi;
            SendMessageW(window->hwnd, 0x02E0, MAKEWPARAM(dpi, dpi),
                         reinterpret_cast<LPARAM>(&suggested));
            RECT client = {};
            GetClientRect(window->hwnd, &client);
            HDC dc = GetDC(window->hwnd);
            HGDIOBJ previous = SelectObject(dc, window->font);
            const int text = window->textHeight;
            for (int i = 0; i < LEGEND_ENTRIES; ++i) {
                const wchar_t* name = reinterpret_cast<const wchar_t*>(texts->table[names[i]]);
                SIZE size = {};
                GetTextExtentPoint32W(dc, name, static_cast<int>(wcslen(name)), &size);
                EXPECT_GT(size.cx, 0);
                EXPECT_GE(window->legend.x[i], window->graph.plot.left);
                EXPECT_LE(window->legend.x[i] + LegendMarkWidth(text) + LegendGap(text) + size.cx,
                          client.right)
                    << "language " << language << " at " << scale * 100 << " % entry " << i;
            }
            SelectObject(dc, previous);
            ReleaseDC(window->hwnd, dc);
            EXPECT_LE(window->graph.legendTop + window->legend.rows * LegendRowHeight(text),
                      window->graph.plot.top);
        }
        window->Release();
    }
    texts->Release();
    FreeLibrary(program);
}

} // namespace
