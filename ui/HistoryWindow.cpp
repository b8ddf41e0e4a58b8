#include "ui/HistoryWindow.h"

#include "base/TextWriter.h"
#include "power/Ambrel.h"
#include "ui/SystemLook.h"

#include <cwchar>

static_assert(sizeof(GraphPoint) == sizeof(POINT), "a laid-out point is drawn as a POINT");

namespace
{

const wchar_t CLASS_NAME[] = L"Ambrel History";

// Sent from Windows 8.1 on to a per-monitor aware window whose display scale has changed; the
// headers define it only for newer targets than this program's.
const UINT DPI_CHANGED_MESSAGE = 0x02E0;

COLORREF Colour(PaletteColour colour)
{
    return RGB(colour.red, colour.green, colour.blue);
}

// Shell_NotifyIconGetRect and its argument, Windows 7 on; older headers lack both.
struct IconIdentifier {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    GUID guidItem;
};
typedef HRESULT(WINAPI* GetRectFunction)(const IconIdentifier*, RECT*);

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

int Scaled(int logical, int dpi)
{
    return MulDiv(logical, dpi, 96);
}

// The system's message font, given for systemDpi, at the scale of dpi.
HFONT MessageFont(int dpi, int systemDpi)
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return nullptr;
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, systemDpi);
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

void Text(HDC dc, int x, int y, const wchar_t* text, UINT align)
{
    SetTextAlign(dc, align);
    TextOutW(dc, x, y, text, static_cast<int>(wcslen(text)));
}

// Labels are composed as UTF-16, which is what the W functions take as wchar_t on Windows.
const wchar_t* Wide(const char16_t* text)
{
    return reinterpret_cast<const wchar_t*>(text);
}

const int LABEL_SIZE = 24;

void Number(HDC dc, int x, int y, int value, int pattern, const TextTable& words, UINT align)
{
    char16_t text[LABEL_SIZE];
    ComposeQuantity(text, LABEL_SIZE, value, pattern, words);
    Text(dc, x, y, Wide(text), align);
}

int TextWidth(HDC dc, const char16_t* text)
{
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, Wide(text), static_cast<int>(wcslen(Wide(text))), &size);
    return size.cx;
}

void HorizontalLine(HDC dc, int left, int right, int y)
{
    MoveToEx(dc, left, y, nullptr);
    LineTo(dc, right, y);
}

void DrawLine(HDC dc, const GraphLine& line)
{
    int start = 0;
    for (int r = 0; r < line.runCount; start = line.runEnds[r++]) {
        const POINT* points = reinterpret_cast<const POINT*>(&line.points[start]);
        const int count = line.runEnds[r] - start;
        if (count > 1)
            Polyline(dc, points, count);
        else
            HorizontalLine(dc, points[0].x, points[0].x + 2, points[0].y);
    }
}

// A pen made for one drawing step: selected into the DC, then deselected and deleted again.
struct SelectedPen {
    HPEN pen;
    HGDIOBJ previous;
};

SelectedPen SelectPen(HDC dc, int style, int width, COLORREF colour)
{
    SelectedPen selected = {CreatePen(style, width, colour), nullptr};
    if (selected.pen != nullptr)
        selected.previous = SelectObject(dc, selected.pen);
    return selected;
}

void DropPen(HDC dc, SelectedPen& selected)
{
    if (selected.pen == nullptr)
        return;
    SelectObject(dc, selected.previous);
    DeleteObject(selected.pen);
    selected = SelectedPen{};
}

void FillBox(HDC dc, int left, int top, int right, int bottom, COLORREF colour)
{
    RECT box = {left, top, right, bottom};
    SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &box, nullptr, 0, nullptr);
}

// A stretch of the band in a mode: its colour, or, in high contrast, its hatching over the
// window's colour, framed so that the user's own values show as an empty box.
void BandBox(HDC dc, const RECT& box, int mode, const HistoryPalette& palette)
{
    const int index = mode >= 0 && mode <= AMBREL_PAUSED_MODE ? mode : 2;
    if (!palette.hatched) {
        FillBox(dc, box.left, box.top, box.right, box.bottom, Colour(palette.band[index]));
        return;
    }
    FillBox(dc, box.left, box.top, box.right, box.bottom, Colour(palette.background));
    const BandHatch hatch = HatchOfMode(mode);
    if (hatch != BandHatch::None) {
        const int style = hatch == BandHatch::Diagonal     ? HS_BDIAGONAL
                          : hatch == BandHatch::Horizontal ? HS_HORIZONTAL
                                                           : HS_DIAGCROSS;
        HBRUSH brush = CreateHatchBrush(style, Colour(palette.band[index]));
        if (brush != nullptr) {
            FillRect(dc, &box, brush);
            DeleteObject(brush);
        }
    }
    HBRUSH frame = CreateSolidBrush(Colour(palette.band[index]));
    if (frame != nullptr) {
        FrameRect(dc, &box, frame);
        DeleteObject(frame);
    }
}

// The minutes along the bottom: "−30 min" at the left, "−25" ... in between, "now" at the right.
void MinuteLabel(char16_t* label, int minutes, const HistoryGraph& graph, const TextTable& words)
{
    TextWriter writer(label, LABEL_SIZE);
    if (minutes == 0) {
        writer.Add(words[IDS_AXIS_NOW]);
        return;
    }
    if (minutes == graph.spanMinutes) {
        ComposeQuantity(label, LABEL_SIZE, minutes, IDS_AXIS_START, words);
        return;
    }
    char16_t number[NUMBER_SIZE];
    words.Number(minutes, number);
    writer.Add(u"\u2212").Add(number);
}

void DrawScales(HDC dc, const HistoryGraph& graph, int textHeight, bool performance,
                const HistoryPalette& palette, const TextTable& words)
{
    const GraphBox& plot = graph.plot;
    const int pad = textHeight / 3;
    SelectedPen grid = SelectPen(dc, PS_SOLID, 1, Colour(palette.grid));
    for (int t = graph.lowest; t <= graph.highest; t += graph.step) {
        const int y = TemperatureY(graph, t);
        HorizontalLine(dc, plot.left, plot.right, y);
        Number(dc, plot.left - pad, y - textHeight / 2, t, IDS_DEGREES, words, TA_RIGHT | TA_TOP);
    }
    // Labels from the left; one that would run into the last one drawn is left out.
    int free = plot.left - textHeight;
    for (int minutes = graph.spanMinutes; minutes >= 0; minutes -= graph.tickMinutes) {
        const int x = MinutesAgoX(graph, minutes);
        MoveToEx(dc, x, plot.top, nullptr);
        LineTo(dc, x, graph.band.bottom);
        char16_t label[LABEL_SIZE];
        MinuteLabel(label, minutes, graph, words);
        const int width = TextWidth(dc, label);
        const int left = minutes == graph.spanMinutes ? x
                         : minutes == 0               ? x - width
                                                      : x - width / 2;
        if (left < free)
            continue;
        Text(dc, left, graph.band.bottom + textHeight / 8, Wide(label), TA_LEFT | TA_TOP);
        free = left + width + pad;
    }
    DropPen(dc, grid);
    if (!performance)
        return;
    const int step = graph.percentTop <= 4 * PERCENT_STEP ? PERCENT_STEP : 2 * PERCENT_STEP;
    for (int percent = 0; percent <= graph.percentTop; percent += step)
        Number(dc, plot.right + pad, PercentY(graph, percent) - textHeight / 2, percent,
               IDS_PERCENT, words, TA_LEFT | TA_TOP);
}

// A short line as the legend's mark of a line in the graph.
void LineMark(HDC dc, int left, int right, int y, int width, COLORREF colour)
{
    SelectedPen pen = SelectPen(dc, PS_SOLID, width, colour);
    HorizontalLine(dc, left, right, y);
    DropPen(dc, pen);
}

} // namespace

bool HistoryWindow::Open(HWND ownerWindow, UINT closeMessageId, const RECT& besides,
                         const HistoryView& shown)
{
    Release();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterOnce(instance, Procedure))
        return false;
    owner = ownerWindow;
    closeMessage = closeMessageId;
    view = shown;
    anchor = besides;
    palette = CurrentHistoryPalette();
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

void HistoryWindow::Rescale(int newDpi, const RECT* suggested)
{
    dpi = newDpi;
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
    InvalidateRect(hwnd, nullptr, FALSE);
}

void HistoryWindow::ComposeText()
{
    ComposeHistoryText(line, TOOLTIP_SIZE, view.facts, *view.words);
    const char16_t* inserts[] = {line};
    TextWriter(name, HISTORY_NAME_SIZE).AddPattern((*view.words)[IDS_HISTORY_NAME], inserts, 1);
}

void HistoryWindow::Show(const HistoryView& shown)
{
    view = shown;
    if (hwnd == nullptr)
        return;
    char16_t before[HISTORY_NAME_SIZE];
    TextWriter(before, HISTORY_NAME_SIZE).Add(name);
    ComposeText();
    // Set only when it changes: a screen reader hears of each change.
    if (wcscmp(Wide(before), Wide(name)) != 0)
        SetWindowTextW(hwnd, Wide(name));
    InvalidateRect(hwnd, nullptr, FALSE);
}

void HistoryWindow::OnLookChange()
{
    palette = CurrentHistoryPalette();
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

// Drawn into a memory bitmap and copied in one blit, so the window never flickers.
void HistoryWindow::Paint(HWND window)
{
    PAINTSTRUCT paint;
    HDC target = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    HDC dc = CreateCompatibleDC(target);
    HBITMAP bitmap = CreateCompatibleBitmap(target, client.right, client.bottom);
    if (dc != nullptr && bitmap != nullptr) {
        HGDIOBJ previousBitmap = SelectObject(dc, bitmap);
        HGDIOBJ previousFont = font != nullptr ? SelectObject(dc, font) : nullptr;
        Draw(dc, client.right, client.bottom);
        BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
        if (previousFont != nullptr)
            SelectObject(dc, previousFont);
        SelectObject(dc, previousBitmap);
    }
    if (bitmap != nullptr)
        DeleteObject(bitmap);
    if (dc != nullptr)
        DeleteDC(dc);
    EndPaint(window, &paint);
}

// Each mark is as high as the text beside it; the names follow one another along the row.
void HistoryWindow::DrawLegend(HDC dc, int textHeight, bool performance) const
{
    const TextTable& words = *view.words;
    const int mark = textHeight * 3 / 2, gap = textHeight / 3;
    const int top = graph.legendTop, middle = top + textHeight / 2;
    int x = graph.plot.left;
    LineMark(dc, x, x + mark, middle, Scaled(2, dpi), Colour(palette.temperature));
    x += mark + gap;
    Text(dc, x, top, Wide(words[IDS_LEGEND_TEMPERATURE]), TA_LEFT | TA_TOP);
    x += TextWidth(dc, words[IDS_LEGEND_TEMPERATURE]) + textHeight;
    // The band's three modes side by side.
    for (int mode = 0; mode < 3; ++mode) {
        const RECT box = {x + mode * mark / 3, top + textHeight / 4,
                          x + (mode + 1) * mark / 3 + (palette.hatched ? 1 : 0),
                          top + textHeight * 3 / 4 + 1};
        BandBox(dc, box, mode, palette);
    }
    x += mark + gap;
    Text(dc, x, top, Wide(words[IDS_LEGEND_STATE]), TA_LEFT | TA_TOP);
    x += TextWidth(dc, words[IDS_LEGEND_STATE]) + textHeight;
    // A pause is named only where the band shows one: the row keeps its room otherwise.
    if (ShowsPause()) {
        const RECT box = {x, top + textHeight / 4, x + mark, top + textHeight * 3 / 4 + 1};
        BandBox(dc, box, AMBREL_PAUSED_MODE, palette);
        x += mark + gap;
        Text(dc, x, top, Wide(words[IDS_LEGEND_PAUSED]), TA_LEFT | TA_TOP);
        x += TextWidth(dc, words[IDS_LEGEND_PAUSED]) + textHeight;
    }
    if (!performance)
        return;
    LineMark(dc, x, x + mark, middle, 1, Colour(palette.performance));
    x += mark + gap;
    Text(dc, x, top, Wide(words[IDS_LEGEND_PERFORMANCE]), TA_LEFT | TA_TOP);
}

bool HistoryWindow::ShowsPause() const
{
    for (int i = 0; i < graph.segmentCount; ++i) {
        if (graph.segments[i].mode == AMBREL_PAUSED_MODE)
            return true;
    }
    return false;
}

void HistoryWindow::DrawBand(HDC dc) const
{
    for (int i = 0; i < graph.segmentCount; ++i) {
        const BandSegment& segment = graph.segments[i];
        const RECT box = {segment.left, graph.band.top, segment.right, graph.band.bottom};
        BandBox(dc, box, segment.mode, palette);
    }
}

void HistoryWindow::Draw(HDC dc, int width, int height)
{
    FillBox(dc, 0, 0, width, height, Colour(palette.background));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Colour(palette.text));
    SIZE label = {0, 0};
    GetTextExtentPoint32W(dc, L"-100 \u00B0C ", 7, &label);
    const bool performance = view.performance != nullptr;
    GraphInput input = {width,      height,          label.cy,    label.cx,
                        view.nowMs, view.throttleAt, performance, true};
    LayOutHistory(input, *view.readings, view.performance, graph);

    Text(dc, graph.plot.left, label.cy / 4, Wide(line), TA_LEFT | TA_TOP);
    DrawLegend(dc, label.cy, performance);
    DrawScales(dc, graph, label.cy, performance, palette, *view.words);
    DrawBand(dc);
    SelectedPen pen = SelectPen(dc, PS_DASH, 1, Colour(palette.threshold));
    HorizontalLine(dc, graph.plot.left, graph.plot.right, graph.throttleY);
    HorizontalLine(dc, graph.plot.left, graph.plot.right, graph.releaseY);
    DropPen(dc, pen);
    if (performance) {
        pen = SelectPen(dc, PS_SOLID, 1, Colour(palette.performance));
        DrawLine(dc, graph.performance);
        DropPen(dc, pen);
    }
    pen = SelectPen(dc, PS_SOLID, Scaled(2, dpi), Colour(palette.temperature));
    DrawLine(dc, graph.temperature);
    DropPen(dc, pen);
}

RECT TrayIconAnchor(HWND trayWindow, UINT iconId)
{
    RECT anchor = {0, 0, 0, 0};
    HMODULE shell = GetModuleHandleA("shell32.dll");
    GetRectFunction getRect = shell != nullptr
                                  ? reinterpret_cast<GetRectFunction>(reinterpret_cast<void (*)()>(
                                        GetProcAddress(shell, "Shell_NotifyIconGetRect")))
                                  : nullptr;
    IconIdentifier icon = {};
    icon.cbSize = sizeof icon;
    icon.hWnd = trayWindow;
    icon.uID = iconId;
    if (getRect != nullptr && getRect(&icon, &anchor) == S_OK && anchor.right > anchor.left)
        return anchor;
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    return {cursor.x, cursor.y, cursor.x + 1, cursor.y + 1};
}
