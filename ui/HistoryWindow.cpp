#include "ui/HistoryWindow.h"

#include "ui/HistoryDrawing.h"
#include "ui/HistoryPainting.h"

#include "base/TextWriter.h"
#include "power/Ambrel.h"
#include "ui/DaySummary.h"
#include "ui/SystemLook.h"

#include <shellapi.h>

#include <cwchar>

namespace
{

const wchar_t CLASS_NAME[] = L"Ambrel History";

// Sent from Windows 8.1 on to a per-monitor aware window whose display scale has changed; the
// headers define it only for newer targets than this program's.
const UINT DPI_CHANGED_MESSAGE = 0x02E0;

// A Unicode window, so that its text (a screen reader's name for it) keeps every language.
bool RegisterOnce(HINSTANCE instance, WNDPROC procedure)
{
    WNDCLASSEXW found = {};
    found.cbSize = sizeof found;
    if (GetClassInfoExW(instance, CLASS_NAME, &found))
        return true;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = CLASS_NAME;
    return RegisterClassExW(&windowClass) != 0;
}

// GetDpiForWindow, Windows 10 on: the scale of the window's own display.
int WindowDpi(HWND window, int fallback)
{
    typedef UINT(WINAPI * DpiFunction)(HWND);
    HMODULE user = GetModuleHandleA("user32.dll");
    DpiFunction dpiForWindow =
        user != nullptr ? reinterpret_cast<DpiFunction>(
                              reinterpret_cast<void (*)()>(GetProcAddress(user, "GetDpiForWindow")))
                        : nullptr;
    const UINT dpi = dpiForWindow != nullptr ? dpiForWindow(window) : 0;
    return dpi != 0 ? static_cast<int>(dpi) : fallback;
}

} // namespace

bool HistoryWindow::Open(HWND ownerWindow, UINT closeMessageId, UINT rangeMessageId,
                         int32_t minutes, const RECT& besides, const HistoryView& shown)
{
    Release();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterOnce(instance, Procedure))
        return false;
    owner = ownerWindow;
    closeMessage = closeMessageId;
    rangeMessage = rangeMessageId;
    view = shown;
    range =
        IsHistoryRange(minutes) ? SteppedRange(minutes, 0, RangeCount(), false) : HISTORY_HALF_HOUR;
    wanted = minutes;
    anchor = besides;
    palette = CurrentHistoryPalette();
    paints = framesDrawn = 0;
    ComposeText();
    HDC screen = GetDC(nullptr);
    systemDpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    ReleaseDC(nullptr, screen);
    hwnd = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, CLASS_NAME, Wide(name),
                           WS_POPUP | WS_BORDER, 0, 0, 0, 0, owner, nullptr, instance, this);
    if (hwnd == nullptr) {
        Release();
        return false;
    }
    // Placed where the icon is, then sized anew for the scale of that display.
    Rescale(systemDpi, nullptr);
    const int shownDpi = WindowDpi(hwnd, systemDpi);
    if (shownDpi != dpi)
        Rescale(shownDpi, nullptr);
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    return true;
}

// The bitmaps hold the old font and size: they are made anew.
void HistoryWindow::Rescale(int newDpi, const RECT* suggested)
{
    dpi = newDpi;
    ReleaseBitmap(frame);
    ReleaseBitmap(picture);
    if (font != nullptr)
        DeleteObject(font);
    font = MessageFont(dpi, systemDpi);
    if (suggested != nullptr) {
        SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoA(MonitorFromRect(&anchor, MONITOR_DEFAULTTONEAREST), &monitor);
        const int width = Scaled(HISTORY_WIDTH, dpi), height = Scaled(HISTORY_HEIGHT, dpi);
        const RECT& work = monitor.rcWork;
        GraphPoint at = PlacePopup({anchor.left, anchor.top, anchor.right, anchor.bottom},
                                   {work.left, work.top, work.right, work.bottom}, width, height,
                                   Scaled(8, dpi));
        SetWindowPos(hwnd, nullptr, at.x, at.y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Measure();
    Relayout(true);
}

void HistoryWindow::Measure()
{
    HDC dc = GetDC(hwnd);
    if (dc == nullptr)
        return;
    HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
    SIZE label = {0, 0};
    GetTextExtentPoint32W(dc, L"-100 \u00B0C ", 7, &label);
    textHeight = label.cy;
    labelWidth = label.cx;
    RECT client;
    GetClientRect(hwnd, &client);
    const int names[LEGEND_ENTRIES] = {IDS_LEGEND_TEMPERATURE, IDS_LEGEND_STATE, IDS_LEGEND_PAUSED,
                                       IDS_LEGEND_PERFORMANCE};
    for (int i = 0; i < LEGEND_ENTRIES; ++i)
        legendNames[i] = TextWidth(dc, (*view.words)[names[i]]);
    // From the right: the last range, then each before it, each with room for its frame.
    const int pad = textHeight / 3;
    int right = client.right - textHeight / 2;
    for (int i = RangeCount() - 1; i >= 0; --i) {
        char16_t text[LABEL_SIZE];
        RangeLabel(text, HISTORY_RANGES[i], *view.words);
        const int width = TextWidth(dc, text) + 2 * pad;
        rangeBoxes[i] = {right - width, textHeight / 4 - pad / 2, right,
                         textHeight / 4 + textHeight + pad / 2};
        right -= width + pad;
    }
    if (previous != nullptr)
        SelectObject(dc, previous);
    ReleaseDC(hwnd, dc);
}

void HistoryWindow::ComposeText()
{
    ComposeHistoryText(line, TOOLTIP_SIZE, view.facts, *view.words);
    summary[0] = u'\0';
    if (range == HISTORY_BY_DAY && view.kept != nullptr)
        ComposeDaysSummary(summary, TOOLTIP_SIZE, SumUpDays(*view.kept, view.today), *view.words);
    else if (view.day != nullptr)
        ComposeDaySummary(summary, TOOLTIP_SIZE, view.day->today, *view.words);
    const char16_t* inserts[] = {line};
    TextWriter writer(name, HISTORY_NAME_SIZE);
    writer.AddPattern((*view.words)[IDS_HISTORY_NAME], inserts, 1);
    // Over the day and the days, a screen reader hears their summary too.
    if (ShowsSummary() && summary[0] != u'\0')
        writer.Add(u"   ").Add(summary);
}

bool HistoryWindow::ShowsPerformance() const
{
    return view.performance != nullptr && range == HISTORY_HALF_HOUR;
}

void HistoryWindow::Relayout(bool always)
{
    RECT client;
    GetClientRect(hwnd, &client);
    const bool day = range == HISTORY_DAY && view.day != nullptr;
    LayOutLegendOf(false, legend);
    GraphInput input = {client.right,    client.bottom,      textHeight,  labelWidth,   view.nowMs,
                        view.throttleAt, ShowsPerformance(), legend.rows, SummaryRows()};
    // The band decides whether the legend names a pause, and the legend's rows where the band
    // lies: a pause that needs a row more is laid out again.
    for (int pass = 0; pass < 2; ++pass) {
        if (range == HISTORY_WEEK && view.kept != nullptr)
            LayOutWeek(input, *view.kept, view.nowUtcMinute, next);
        else if (range == HISTORY_BY_DAY && view.kept != nullptr)
            LayOutDays(input, *view.kept, view.today, next);
        else if (day)
            LayOutDay(input, *view.day, view.nowMinute, next);
        else
            LayOutHistory(input, *view.readings, view.performance, next);
        if (!BandShowsPause(next))
            break;
        LayOutLegendOf(true, legend);
        if (legend.rows == input.legendRows)
            break;
        input.legendRows = legend.rows;
    }
    if (!always && SameLayout(graph, next))
        return;
    // The legend, part of the frame, names a pause only while the band shows one.
    const bool sameFrame = SameFrame(graph, next) && BandShowsPause(graph) == BandShowsPause(next);
    if (!sameFrame)
        frameDrawn = false;
    graph = next;
    // Where only the lines, the columns or the band have moved, only the plot and the band go to
    // the screen again.
    const RECT plot = {graph.plot.left - 2, graph.plot.top - 2, graph.plot.right + 2,
                       graph.band.bottom + 2};
    InvalidateRect(hwnd, sameFrame && !always ? &plot : nullptr, FALSE);
}

// The legend starts under the plot's left edge and may run to the window's right margin.
void HistoryWindow::LayOutLegendOf(bool pause, LegendLayout& laidOut) const
{
    RECT client;
    GetClientRect(hwnd, &client);
    const bool shown[LEGEND_ENTRIES] = {true, true, pause, ShowsPerformance()};
    int32_t widths[LEGEND_ENTRIES];
    for (int i = 0; i < LEGEND_ENTRIES; ++i)
        widths[i] = !shown[i] ? 0 : legendNames[i] > 0 ? legendNames[i] : 1;
    LayOutLegend(widths, labelWidth, client.right - textHeight / 2, textHeight, laidOut);
}

void HistoryWindow::Show(const HistoryView& shown)
{
    const int offered = RangeCount();
    view = shown;
    if (hwnd == nullptr)
        return;
    // A kept history that comes or goes offers other ranges: the choice is measured anew.
    if (RangeCount() != offered) {
        Measure();
        frameDrawn = false;
        if (IsHistoryRange(wanted) && SteppedRange(wanted, 0, RangeCount(), false) == wanted)
            range = wanted;
        else if (!IsHistoryRange(range) || SteppedRange(range, 0, RangeCount(), false) != range)
            range = HISTORY_HALF_HOUR;
    }
    char16_t before[HISTORY_NAME_SIZE];
    char16_t summaryBefore[TOOLTIP_SIZE];
    TextWriter(before, HISTORY_NAME_SIZE).Add(name);
    TextWriter(summaryBefore, TOOLTIP_SIZE).Add(summary);
    ComposeText();
    // Set only when it changes: a screen reader hears of each change.
    const bool named = wcscmp(Wide(before), Wide(name)) != 0;
    if (named)
        SetWindowTextW(hwnd, Wide(name));
    Relayout(named || (ShowsSummary() && wcscmp(Wide(summaryBefore), Wide(summary)) != 0));
}

int64_t HistoryWindow::ColumnMs() const
{
    const int64_t columns = graph.plot.right - graph.plot.left;
    const int64_t span = range == HISTORY_HALF_HOUR ? graph.spanMinutes : int64_t(range);
    return columns > 0 ? span * 60000 / columns : 0;
}

void HistoryWindow::ChooseRange(int32_t minutes)
{
    if (minutes == range)
        return;
    range = wanted = minutes;
    frameDrawn = false;
    ComposeText();
    SetWindowTextW(hwnd, Wide(name));
    Relayout(true);
    PostMessageW(owner, rangeMessage, static_cast<WPARAM>(range), 0);
}

void HistoryWindow::OnClick(int x, int y)
{
    const POINT at = {x, y};
    for (int i = 0; i < RangeCount(); ++i) {
        if (PtInRect(&rangeBoxes[i], at))
            ChooseRange(HISTORY_RANGES[i]);
    }
}

void HistoryWindow::OnLookChange()
{
    palette = CurrentHistoryPalette();
    frameDrawn = false;
    InvalidateRect(hwnd, nullptr, FALSE);
}

void HistoryWindow::Release()
{
    if (hwnd != nullptr) {
        // Its last messages (the loss of activation among them) find no object any more.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        DestroyWindow(hwnd);
        hwnd = nullptr;
    }
    ReleaseBitmap(frame);
    ReleaseBitmap(picture);
    if (font != nullptr) {
        DeleteObject(font);
        font = nullptr;
    }
}

LRESULT CALLBACK HistoryWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The object is bound at the first message and unbound before the window is destroyed.
    if (message == WM_NCCREATE) {
        void* created = reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    HistoryWindow* self =
        reinterpret_cast<HistoryWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->Handle(window, message, wParam, lParam);
}

LRESULT HistoryWindow::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
        if (IsLookChange(message, wParam, lParam))
            OnLookChange();
        break;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            PostMessageW(owner, closeMessage, HISTORY_CLOSE_KEY, 0);
        else if (wParam == VK_TAB)
            ChooseRange(
                SteppedRange(range, GetKeyState(VK_SHIFT) < 0 ? -1 : 1, RangeCount(), true));
        else if (wParam == VK_LEFT || wParam == VK_RIGHT)
            ChooseRange(SteppedRange(range, wParam == VK_LEFT ? -1 : 1, RangeCount(), false));
        return 0;
    case WM_LBUTTONDOWN:
        OnClick(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE)
            PostMessageW(owner, closeMessage, HISTORY_CLOSE_DEACTIVATED, 0);
        break;
    case DPI_CHANGED_MESSAGE:
        Rescale(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_ERASEBKGND:
        return 1; // everything is painted from the memory bitmap
    case WM_PAINT:
        Paint(window);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The frame is copied from its bitmap, what changes is drawn over it in the picture, and the
// picture goes to the screen in one blit, so the window never flickers.
void HistoryWindow::Paint(HWND window)
{
    PAINTSTRUCT paint;
    HDC target = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    bool newFrame = false, newPicture = false;
    const bool kept = view.kept != nullptr;
    const HistoryPicture shown = {&graph,
                                  &legend,
                                  range,
                                  rangeBoxes,
                                  RangeCount(),
                                  &palette,
                                  view.words,
                                  font,
                                  dpi,
                                  textHeight,
                                  line,
                                  summary,
                                  SummaryRows(),
                                  (range == HISTORY_DAY && view.day != nullptr) ||
                                      (range == HISTORY_WEEK && kept),
                                  range == HISTORY_BY_DAY && kept,
                                  ShowsPerformance()};
    if (PrepareBitmap(frame, target, client.right, client.bottom, newFrame) &&
        PrepareBitmap(picture, target, client.right, client.bottom, newPicture)) {
        if (newFrame || !frameDrawn) {
            DrawHistoryFrame(frame.dc, shown, client.right, client.bottom);
            frameDrawn = true;
            ++framesDrawn;
        }
        // Only what is due goes to the screen, so only that much of the picture is made anew.
        const RECT& due = paint.rcPaint;
        BitBlt(picture.dc, due.left, due.top, due.right - due.left, due.bottom - due.top, frame.dc,
               due.left, due.top, SRCCOPY);
        DrawHistoryContent(picture.dc, shown, due);
        BitBlt(target, due.left, due.top, due.right - due.left, due.bottom - due.top, picture.dc,
               due.left, due.top, SRCCOPY);
    }
    ++paints;
    EndPaint(window, &paint);
}
