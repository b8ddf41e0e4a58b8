#include "TrayTestSupport.h"

#include "res/resource.h"

#include <shellapi.h>

#include <ostream>

namespace traytest
{

const char* const kPixelMap[ICON_SIZE] = {
    "................................", "................................",
    "........77777777......00000000..", ".......7777777777....0000000000.",
    "..ee..cc7777777788..550000000011", ".eee..ccc......888..555......111",
    ".eee..ccc......888..555......111", ".eee..ccc......888..555......111",
    ".eee..ccc......888..555......111", ".eee..ccc......888..555......111",
    ".eee..ccc......888..555......111", ".eee..ccc......888..555......111",
    ".eee..ccc......888..555......111", ".ee....ccdddddd88....5566666611.",
    "........dddddddd......66666666..", ".ee....bbdddddd99....4466666622.",
    ".eee..bbb......999..444......222", ".eee..bbb......999..444......222",
    ".eee..bbb......999..444......222", ".eee..bbb......999..444......222",
    ".eee..bbb......999..444......222", ".eee..bbb......999..444......222",
    ".eee..bbb......999..444......222", ".eee..bbb......999..444......222",
    "..ee..bbaaaaaaaa99..443333333322", ".......aaaaaaaaaa....3333333333.",
    "........aaaaaaaa......33333333..", "................................",
    "ffffffffffffffffffffffffffffffff", "ffffffffffffffffffffffffffffffff",
    ".ffffffffffffffffffffffffffffff.", "..ffffffffffffffffffffffffffff..",
};

const Rgb kGreen = {11, 137, 67};
const Rgb kYellow = {218, 218, 35};
const Rgb kRed = {218, 35, 41};

int PixelIndex(int row, int column)
{
    const char c = kPixelMap[row][column];
    if (c == '.')
        return 16;
    return c <= '9' ? c - '0' : c - 'a' + 10;
}

namespace
{

const char* const kWindowClass = "AmbrelTrayTestWindow";

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

HiddenWindow::HiddenWindow()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = TestWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass); // fails harmlessly when already registered
    handle = CreateWindowExA(0, kWindowClass, "tray test", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
}

HiddenWindow::~HiddenWindow()
{
    if (handle)
        DestroyWindow(handle);
}

bool operator==(const Rgb& a, const Rgb& b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

std::ostream& operator<<(std::ostream& out, const Rgb& c)
{
    return out << "(" << c.red << ", " << c.green << ", " << c.blue << ")";
}

Rgb RgbOf(const RGBQUAD& entry)
{
    return {entry.rgbRed, entry.rgbGreen, entry.rgbBlue};
}

std::vector<RGBQUAD> ReadColourTable(HBITMAP bitmap)
{
    std::vector<RGBQUAD> table(256);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    const UINT read = previous ? GetDIBColorTable(dc, 0, 256, table.data()) : 0;
    if (previous)
        SelectObject(dc, previous);
    DeleteDC(dc);
    if (read != 256)
        table.clear();
    return table;
}

std::vector<RGBQUAD> StoredColourTable()
{
    std::vector<RGBQUAD> table;
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDB_TEMPICON), MAKEINTRESOURCEA(2));
    const auto* header =
        found ? static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, found)))
              : nullptr;
    if (header) {
        const auto* entries = reinterpret_cast<const RGBQUAD*>(header + 1);
        table.assign(entries, entries + 256);
    }
    return table;
}

std::vector<std::vector<int>> ReadMask(HBITMAP mask)
{
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } info = {};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = ICON_SIZE;
    info.header.biHeight = -ICON_SIZE; // top-down
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.header.biCompression = BI_RGB;
    // Rows of 1-bpp DIBs are padded to 4 bytes.
    const int stride = 4;
    std::vector<BYTE> bits(stride * ICON_SIZE);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, mask, 0, ICON_SIZE, bits.data(),
                               reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    std::vector<std::vector<int>> result;
    if (rows != ICON_SIZE)
        return result;
    // Bit value 1 selects colour-table entry 1 of the returned table; report it as mask bit 1
    // only when that entry is the white of a monochrome bitmap.
    const bool oneIsWhite = info.colours[1].rgbRed == 255;
    for (int row = 0; row < ICON_SIZE; ++row) {
        std::vector<int> line(ICON_SIZE);
        for (int column = 0; column < ICON_SIZE; ++column) {
            const int bit = (bits[row * stride + column / 8] >> (7 - column % 8)) & 1;
            line[column] = oneIsWhite ? bit : 1 - bit;
        }
        result.push_back(line);
    }
    return result;
}

// Sends the shell a request about the window's icon (id 0) that carries no data of its own.
static bool AskShellAboutIcon(DWORD request, HWND window)
{
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 0;
    return Shell_NotifyIconA(request, &data) != FALSE;
}

bool ShellHasIcon(HWND window)
{
    // A modification that changes nothing succeeds exactly when the shell knows the icon.
    return AskShellAboutIcon(NIM_MODIFY, window);
}

bool ShellForgetIcon(HWND window)
{
    return AskShellAboutIcon(NIM_DELETE, window);
}

} // namespace traytest
