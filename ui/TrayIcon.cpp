#include "ui/TrayIcon.h"

#include "ui/DigitColours.h"
#include "ui/IconSize.h"

#include <shellapi.h>

#include <cstring>

#ifdef _WIN64
static_assert(sizeof(NOTIFYICONDATAW) == 976, "the shell expects the full-size NOTIFYICONDATAW");
#endif
static_assert(sizeof(wchar_t) == sizeof(char16_t), "the tooltip is UTF-16");
static_assert(sizeof(NOTIFYICONDATAW::szTip) == TOOLTIP_SIZE * sizeof(wchar_t),
              "the tooltip fills the shell's buffer");

namespace
{

const UINT TRAY_ICON_ID = 0;

// Windows 7 on; older shells ignore the flag.
#ifndef NIIF_RESPECT_QUIET_TIME
#define NIIF_RESPECT_QUIET_TIME 0x00000080
#endif

// What the tooltip says before the first reading has composed one.
const wchar_t DEFAULT_TIP[] = L"Ambrel";

// The Unicode variant, so that the tooltip shows on every system code page.
NOTIFYICONDATAW NotifyData(HWND window, UINT flags, HICON icon, const wchar_t* tip = nullptr)
{
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = TRAY_ICON_ID;
    data.uFlags = flags;
    data.hIcon = icon;
    if (flags & NIF_MESSAGE)
        data.uCallbackMessage = WM_FROMTRAY;
    if (tip != nullptr)
        std::memcpy(data.szTip, tip[0] ? tip : DEFAULT_TIP,
                    tip[0] ? sizeof data.szTip : sizeof DEFAULT_TIP);
    return data;
}

// Copies UTF-16 text into a shell buffer of size characters, cut to fit.
void CopyText(wchar_t* buffer, size_t size, const char16_t* text)
{
    size_t length = 0;
    while (length + 1 < size && text[length] != u'\0')
        ++length;
    std::memcpy(buffer, text, length * sizeof buffer[0]);
    buffer[length] = L'\0';
}

void DeleteDcAndBitmap(HDC& dc, HGDIOBJ& previous, HBITMAP& bitmap)
{
    if (dc) {
        if (previous) {
            SelectObject(dc, previous);
            previous = nullptr;
        }
        DeleteDC(dc);
        dc = nullptr;
    }
    if (bitmap) {
        DeleteObject(bitmap);
        bitmap = nullptr;
    }
}

} // namespace

BOOL TrayIcon::CreateTrayIcon(HWND window, int t, int mode)
{
    // A second set of GDI objects would leak the first one.
    if (trayWindow || colourDc || colourBitmap || maskDc || maskBitmap)
        return FALSE;

    MakeBitmaps(DesignedIconSize(GetSystemMetrics(SM_CXSMICON)), t, mode);
    DeselectColourBitmap();

    const HICON icon = BuildIcon();
    trayWindow = window;
    const BOOL added = AddToShell(icon);
    DestroyIcon(icon);
    return added;
}

void TrayIcon::UpdateTrayIcon(int t, int mode)
{
    SelectColourBitmap();
    SetDigits(t, mode);
    SelectMaskBitmap();
    DeriveMask();
    DeselectMaskBitmap();
    DeselectColourBitmap();

    const HICON icon = BuildIcon();
    ShowInShell(icon);
    DestroyIcon(icon);
}

void TrayIcon::ReleaseTrayIcon()
{
    DeleteDcAndBitmap(colourDc, colourDcPrevious, colourBitmap);
    DeleteDcAndBitmap(maskDc, maskDcPrevious, maskBitmap);
    width = 0;
    height = 0;
    shownT = 0;
    shownMode = 0;
    // Sent even when no window is stored; the shell then just fails the call.
    NOTIFYICONDATAW data = NotifyData(trayWindow, 0, nullptr);
    Shell_NotifyIconW(NIM_DELETE, &data);
    trayWindow = nullptr;
}

BOOL TrayIcon::RestoreTrayIcon()
{
    if (!trayWindow)
        return FALSE;
    const HICON icon = BuildIcon();
    const BOOL added = AddToShell(icon);
    DestroyIcon(icon);
    return added;
}

BOOL TrayIcon::ResizeTrayIcon(int smallIconSize)
{
    const int size = DesignedIconSize(smallIconSize);
    if (!trayWindow || size == width)
        return FALSE;
    DeleteDcAndBitmap(colourDc, colourDcPrevious, colourBitmap);
    DeleteDcAndBitmap(maskDc, maskDcPrevious, maskBitmap);
    MakeBitmaps(size, shownT, shownMode);
    DeselectColourBitmap();

    const HICON icon = BuildIcon();
    ShowInShell(icon);
    DestroyIcon(icon);
    return TRUE;
}

void TrayIcon::SetDigits(int t, int mode)
{
    shownT = t;
    shownMode = mode;
    const DigitColourTable colours = ComputeDigitColours(t, mode);
    RGBQUAD table[DIGIT_COLOUR_COUNT] = {};
    for (int i = 0; i < DIGIT_COLOUR_COUNT; ++i) {
        table[i].rgbBlue = colours[i].blue;
        table[i].rgbGreen = colours[i].green;
        table[i].rgbRed = colours[i].red;
        table[i].rgbReserved = colours[i].reserved;
    }
    SetDIBColorTable(colourDc, 0, DIGIT_COLOUR_COUNT, table);
}

// Loads the segment bitmap drawn at designedSize, makes both DCs and the mask, shows t and mode
// and derives the mask from the colours shown. The colour bitmap is left selected.
void TrayIcon::MakeBitmaps(int designedSize, int t, int mode)
{
    colourBitmap = static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr),
                                                   MAKEINTRESOURCEA(TempIconResource(designedSize)),
                                                   IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    BITMAP info = {};
    if (GetObjectA(colourBitmap, sizeof info, &info)) {
        width = info.bmWidth;
        height = info.bmHeight;
    }
    colourDc = CreateCompatibleDC(nullptr);
    SelectColourBitmap();
    maskBitmap = CreateBitmap(width, height, 1, 1, nullptr);
    maskDc = CreateCompatibleDC(nullptr);
    // The mask comes from the colours shown, never from the stored table: that one's entry 6 is
    // white, and the shell would combine the ones digit's middle segment with the taskbar by
    // exclusive-or (on a light taskbar 50 would show as 58).
    SetDigits(t, mode);
    SelectMaskBitmap();
    DeriveMask();
    DeselectMaskBitmap();
}

void TrayIcon::SelectColourBitmap()
{
    if (colourDc)
        colourDcPrevious = SelectObject(colourDc, colourBitmap);
}

void TrayIcon::SelectMaskBitmap()
{
    if (maskDc)
        maskDcPrevious = SelectObject(maskDc, maskBitmap);
}

void TrayIcon::DeselectMaskBitmap()
{
    if (maskDc && maskDcPrevious) {
        SelectObject(maskDc, maskDcPrevious);
        maskDcPrevious = nullptr;
    }
}

void TrayIcon::DeselectColourBitmap()
{
    if (colourDc && colourDcPrevious) {
        SelectObject(colourDc, colourDcPrevious);
        colourDcPrevious = nullptr;
    }
}

// The colour-to-monochrome blit turns the pixels whose colour is the colour DC's background
// colour (white) into 1 and all others into 0. The shown entries 0 to 15 hold no white and 16 is
// black, so every mask bit becomes 0: the icon is opaque.
void TrayIcon::DeriveMask()
{
    BitBlt(maskDc, 0, 0, width, height, colourDc, 0, 0, SRCCOPY);
}

HICON TrayIcon::BuildIcon() const
{
    ICONINFO info = {};
    info.fIcon = TRUE;
    info.xHotspot = 0;
    info.yHotspot = 0;
    info.hbmMask = maskBitmap;
    info.hbmColor = colourBitmap;
    return CreateIconIndirect(&info);
}

void TrayIcon::SetTip(const char16_t* text)
{
    CopyText(tip, TOOLTIP_SIZE, text);
}

BOOL TrayIcon::ShowNotice(const char16_t* text) const
{
    if (!trayWindow)
        return FALSE;
    // The tooltip goes along, so that no call leaves the shell without NIF_SHOWTIP.
    NOTIFYICONDATAW data =
        NotifyData(trayWindow, NIF_INFO | NIF_REALTIME | NIF_TIP | NIF_SHOWTIP, nullptr, tip);
    CopyText(data.szInfo, sizeof data.szInfo / sizeof data.szInfo[0], text);
    CopyText(data.szInfoTitle, sizeof data.szInfoTitle / sizeof data.szInfoTitle[0], u"Ambrel");
    data.dwInfoFlags = NIIF_INFO | NIIF_RESPECT_QUIET_TIME;
    return Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayIcon::ReturnFocusToShell() const
{
    if (!trayWindow)
        return;
    NOTIFYICONDATAW data = NotifyData(trayWindow, 0, nullptr);
    Shell_NotifyIconW(NIM_SETFOCUS, &data);
}

// The tooltip travels with the icon, so it costs no call of its own. The shell forgets the
// version with the icon, so it is asked for after every registration; with version 4 the
// standard tooltip shows only with NIF_SHOWTIP.
BOOL TrayIcon::AddToShell(HICON icon) const
{
    NOTIFYICONDATAW data =
        NotifyData(trayWindow, NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP, icon, tip);
    if (!Shell_NotifyIconW(NIM_ADD, &data))
        return FALSE;
    data.uVersion = NOTIFYICON_VERSION_4;
    Shell_NotifyIconW(NIM_SETVERSION, &data);
    return TRUE;
}

BOOL TrayIcon::ModifyInShell(HICON icon) const
{
    NOTIFYICONDATAW data = NotifyData(trayWindow, NIF_ICON | NIF_TIP | NIF_SHOWTIP, icon, tip);
    return Shell_NotifyIconW(NIM_MODIFY, &data);
}

// The shell forgets the icon when the taskbar restarts (also after a change of scale), and the
// first registration can fail early in a logon: register it again then, but never after
// ReleaseTrayIcon.
void TrayIcon::ShowInShell(HICON icon) const
{
    if (!ModifyInShell(icon) && trayWindow)
        AddToShell(icon);
}

namespace
{

// Shell_NotifyIconGetRect and its argument, Windows 7 on; older headers lack both.
struct IconIdentifier {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    GUID guidItem;
};
typedef HRESULT(WINAPI* GetRectFunction)(const IconIdentifier*, RECT*);

} // namespace

RECT TrayIconAnchor(HWND trayWindow, UINT iconId, const POINT* seenAt)
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
    if (seenAt != nullptr)
        return {seenAt->x, seenAt->y, seenAt->x + 1, seenAt->y + 1};
    // The notification area ends a taskbar along the bottom or the top at the right, one at the
    // left or the right side at the bottom.
    APPBARDATA taskbar = {};
    taskbar.cbSize = sizeof taskbar;
    if (SHAppBarMessage(ABM_GETTASKBARPOS, &taskbar) != 0 && taskbar.rc.right > taskbar.rc.left &&
        taskbar.rc.bottom > taskbar.rc.top) {
        const RECT& bar = taskbar.rc;
        if (taskbar.uEdge == ABE_LEFT || taskbar.uEdge == ABE_RIGHT)
            return {bar.left, bar.bottom - 1, bar.right, bar.bottom};
        return {bar.right - 1, bar.top, bar.right, bar.bottom};
    }
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    return {cursor.x, cursor.y, cursor.x + 1, cursor.y + 1};
}
