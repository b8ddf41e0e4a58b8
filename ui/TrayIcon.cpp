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
        std::memcpy(data.szTip, tip, sizeof data.szTip);
    return data;
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
    // Entries 0 to 15 now hold no white, so every mask bit becomes 0.
    DeriveMask();
    maskFromUpdate = true;
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
    maskFromUpdate = false;
    // Sent even when no window is stored; the shell then just fails the call.
    NOTIFYICONDATAW data = NotifyData(trayWindow, 0, nullptr);
    Shell_NotifyIconW(NIM_DELETE, &data);
    trayWindow = nullptr;
}

BOOL TrayIcon::RestoreTrayIcon()
{
    if (!trayWindow)
        return FALSE;
    // The mask keeps its last derivation, so the icon comes back exactly as it was shown.
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
    // The new mask comes from the stored colour table, as the first icon's did; an icon that
    // has been updated since had its mask derived again from the shown colours.
    if (maskFromUpdate) {
        SelectMaskBitmap();
        DeriveMask();
        DeselectMaskBitmap();
    }
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

// Loads the segment bitmap drawn at designedSize, makes both DCs and the mask, derives the mask
// from the stored colour table (whose first white entry is 6, so the mask is 1 exactly at the
// pixels of the ones digit's middle segment) and shows t and mode. The colour bitmap is left
// selected.
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
    SelectMaskBitmap();
    DeriveMask();
    DeselectMaskBitmap();
    SetDigits(t, mode);
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
// colour (white) into 1 and all others into 0.
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
    size_t length = 0;
    while (length + 1 < TOOLTIP_SIZE && text[length] != u'\0')
        ++length;
    std::memcpy(tip, text, length * sizeof tip[0]);
    tip[length] = L'\0';
}

// The tooltip travels with the icon, so it costs no call of its own.
BOOL TrayIcon::AddToShell(HICON icon) const
{
    NOTIFYICONDATAW data = NotifyData(trayWindow, NIF_MESSAGE | NIF_ICON | NIF_TIP, icon, tip);
    return Shell_NotifyIconW(NIM_ADD, &data);
}

BOOL TrayIcon::ModifyInShell(HICON icon) const
{
    NOTIFYICONDATAW data = NotifyData(trayWindow, NIF_ICON | NIF_TIP, icon, tip);
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
