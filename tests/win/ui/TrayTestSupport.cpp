#include "TrayTestSupport.h"

#include "res/resource.h"

#include <shellapi.h>

#include "ui/IconSize.h"

#include <ostream>
#include <sstream>

namespace traytest
{

const Rgb kGreen = {11, 137, 67};
const Rgb kYellow = {218, 218, 35};
const Rgb kRed = {218, 35, 41};
const Rgb kGrey = {140, 140, 140};

int SystemIconSize()
{
    return DesignedIconSize(GetSystemMetrics(SM_CXSMICON));
}

int PixelMap::Index(int row, int column) const
{
    const char c = rows[row][column];
    if (c == '.')
        return 16;
    return c <= '9' ? c - '0' : c - 'a' + 10;
}

PixelMap LoadPixelMap(int size)
{
    PixelMap map;
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(size), MAKEINTRESOURCEA(10));
    const char* text =
        found ? static_cast<const char*>(LockResource(LoadResource(nullptr, found))) : nullptr;
    if (!text)
        return map;
    std::istringstream lines(std::string(text, SizeofResource(nullptr, found)));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string number;
        std::string pixels;
        if (line.empty() || line[0] == '#' || !(fields >> number >> pixels))
            continue;
        map.rows.push_back(pixels);
    }
    map.size = static_cast<int>(map.rows.size());
    return map;
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
    BITMAP size = {};
    GetObjectA(mask, sizeof size, &size);
    const int side = size.bmWidth;
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } info = {};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = side;
    info.header.biHeight = -side; // top-down
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.header.biCompression = BI_RGB;
    // Rows of 1-bpp DIBs are padded to 4 bytes.
    const int stride = (side + 31) / 32 * 4;
    std::vector<BYTE> bits(stride * side);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, mask, 0, side, bits.data(),
                               reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    std::vector<std::vector<int>> result;
    if (side == 0 || rows != side)
        return result;
    // Bit value 1 selects colour-table entry 1 of the returned table; report it as mask bit 1
    // only when that entry is the white of a monochrome bitmap.
    const bool oneIsWhite = info.colours[1].rgbRed == 255;
    for (int row = 0; row < side; ++row) {
        std::vector<int> line(side);
        for (int column = 0; column < side; ++column) {
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
