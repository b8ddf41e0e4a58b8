#include "ui/HistoryWindow.h"

#include "base/TextWriter.h"
#include "ui/DigitColours.h"

#include <cwchar>

static_assert(sizeof(GraphPoint) == sizeof(POINT), "a laid-out point is drawn as a POINT");

namespace
{

const char CLASS_NAME[] = "Ambrel History";
const char TITLE[] = "Ambrel history";

const COLORREF BACKGROUND = RGB(255, 255, 255);
const COLORREF GRID = RGB(228, 228, 228);
const COLORREF TEXT = RGB(32, 32, 32);
const COLORREF TEMPERATURE = RGB(20, 80, 200);
const COLORREF THRESHOLD = RGB(230, 130, 0);
const COLORREF PERFORMANCE = RGB(150, 60, 170);

// Shell_NotifyIconGetRect and its argument, Windows 7 on; older headers lack both.
struct IconIdentifier {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    GUID guidItem;
};
typedef HRESULT(WINAPI* GetRectFunction)(const IconIdentifier*, RECT*);

bool RegisterOnce(HINSTANCE instance, WNDPROC procedure)
{
    WNDCLASSEXA found = {};
    found.cbSize = sizeof found;
    if (GetClassInfoExA(instance, CLASS_NAME, &found))
        return true;
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = CLASS_NAME;
    return RegisterClassExA(&windowClass) != 0;
}

int Scaled(int logical, int dpi)
{
    return MulDiv(logical, dpi, 96);
}

HFONT MessageFont()
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return nullptr;
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

void Number(HDC dc, int x, int y, int value, const char16_t* unit, UINT align)
{
    char16_t text[LABEL_SIZE];
    TextWriter(text, LABEL_SIZE).AddNumber(value).Add(unit);
    Text(dc, x, y, Wide(text), align);
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

void DrawScales(HDC dc, const HistoryGraph& graph, int textHeight, bool performance)
{
    const GraphBox& plot = graph.plot;
    const int pad = textHeight / 3;
    SelectedPen grid = SelectPen(dc, PS_SOLID, 1, GRID);
    for (int t = graph.lowest; t <= graph.highest; t += graph.step) {
        const int y = TemperatureY(graph, t);
        HorizontalLine(dc, plot.left, plot.right, y);
        Number(dc, plot.left - pad, y - textHeight / 2, t, u" \u00B0C", TA_RIGHT | TA_TOP);
    }
    // Labels from the left; one that would run into the last one drawn is left out.
    int free = plot.left - textHeight;
    for (int minutes = graph.spanMinutes; minutes >= 0; minutes -= graph.tickMinutes) {
        const int x = MinutesAgoX(graph, minutes);
        MoveToEx(dc, x, plot.top, nullptr);
        LineTo(dc, x, graph.band.bottom);
        char16_t label[LABEL_SIZE];
        TextWriter writer(label, LABEL_SIZE);
        if (minutes == 0)
            writer.Add(u"now");
        else
            writer.AddNumber(minutes).Add(minutes == graph.spanMinutes ? u" min ago" : u"");
        SIZE size = {0, 0};
        GetTextExtentPoint32W(dc, Wide(label), static_cast<int>(wcslen(Wide(label))), &size);
        const int left = minutes == graph.spanMinutes ? x
                         : minutes == 0               ? x - size.cx
                                                      : x - size.cx / 2;
        if (left < free)
            continue;
        Text(dc, left, graph.band.bottom + textHeight / 8, Wide(label), TA_LEFT | TA_TOP);
        free = left + size.cx + pad;
    }
    DropPen(dc, grid);
    if (!performance)
        return;
    for (int percent = 0; percent <= 100; percent += 50)
        Number(dc, plot.right + pad, PercentY(graph, percent) - textHeight / 2, percent, u" %",
               TA_LEFT | TA_TOP);
}

} // namespace

bool HistoryWindow::Open(HWND ownerWindow, UINT closeMessageId, const RECT& anchor,
                         const HistoryView& shown)
{
    Release();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterOnce(instance, Procedure))
        return false;
    owner = ownerWindow;
    closeMessage = closeMessageId;
    view = shown;
    HDC screen = GetDC(nullptr);
    dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    ReleaseDC(nullptr, screen);
    font = MessageFont();
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromRect(&anchor, MONITOR_DEFAULTTONEAREST), &monitor);
    const int width = Scaled(HISTORY_WIDTH, dpi), height = Scaled(HISTORY_HEIGHT, dpi);
    const RECT& work = monitor.rcWork;
    GraphPoint at =
        PlacePopup({anchor.left, anchor.top, anchor.right, anchor.bottom},
                   {work.left, work.top, work.right, work.bottom}, width, height, Scaled(8, dpi));
    hwnd =
        CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, CLASS_NAME, TITLE, WS_POPUP | WS_BORDER,
                        at.x, at.y, width, height, owner, nullptr, instance, this);
    if (hwnd == nullptr) {
        Release();
        return false;
    }
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    return true;
}

void HistoryWindow::Show(const HistoryView& shown)
{
    view = shown;
    if (hwnd != nullptr)
        InvalidateRect(hwnd, nullptr, FALSE);
}

void HistoryWindow::Release()
{
    if (hwnd != nullptr) {
        // Its last messages (the loss of activation among them) find no object any more.
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
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
        void* created = reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    HistoryWindow* self =
        reinterpret_cast<HistoryWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    return self->Handle(window, message, wParam, lParam);
}

LRESULT HistoryWindow::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            PostMessageA(owner, closeMessage, HISTORY_CLOSE_KEY, 0);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE)
            PostMessageA(owner, closeMessage, HISTORY_CLOSE_DEACTIVATED, 0);
        break;
    case WM_ERASEBKGND:
        return 1; // everything is painted from the memory bitmap
    case WM_PAINT:
        Paint(window);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
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

void HistoryWindow::Draw(HDC dc, int width, int height)
{
    FillBox(dc, 0, 0, width, height, BACKGROUND);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, TEXT);
    SIZE label = {0, 0};
    GetTextExtentPoint32W(dc, L"-100 \u00B0C ", 7, &label);
    const bool performance = view.performance != nullptr;
    GraphInput input = {width,      height,          label.cy,   label.cx,
                        view.nowMs, view.throttleAt, performance};
    LayOutHistory(input, *view.readings, view.performance, graph);

    char16_t line[TOOLTIP_SIZE];
    ComposeHistoryText(line, TOOLTIP_SIZE, view.facts);
    Text(dc, graph.plot.left, label.cy / 4, Wide(line), TA_LEFT | TA_TOP);
    DrawScales(dc, graph, label.cy, performance);
    for (int i = 0; i < graph.segmentCount; ++i) {
        const BandSegment& segment = graph.segments[i];
        // In the icon's bar colours.
        const ColourEntry colour = ModeBarColour(segment.mode);
        FillBox(dc, segment.left, graph.band.top, segment.right, graph.band.bottom,
                RGB(colour.red, colour.green, colour.blue));
    }
    SelectedPen pen = SelectPen(dc, PS_DASH, 1, THRESHOLD);
    HorizontalLine(dc, graph.plot.left, graph.plot.right, graph.throttleY);
    HorizontalLine(dc, graph.plot.left, graph.plot.right, graph.releaseY);
    DropPen(dc, pen);
    if (performance) {
        pen = SelectPen(dc, PS_SOLID, 1, PERFORMANCE);
        DrawLine(dc, graph.performance);
        DropPen(dc, pen);
    }
    pen = SelectPen(dc, PS_SOLID, Scaled(2, dpi), TEMPERATURE);
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
