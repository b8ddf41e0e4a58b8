// Time per TrayIcon::UpdateTrayIcon against the bare sequence that any update of this icon must
// run: one 16-entry colour-table write, one blit into the mask at the icon's size (the designed
// size for this display's small icons), one icon creation and destruction and one NIM_MODIFY.
// Both run in the same process against the same shell, in alternating batches, and the figures
// are printed with their ratio. A last figure is the cost of a rebuild at another size
// (TrayIcon::ResizeTrayIcon, alternating 16 and 32 pixels), which only a change of display scale
// asks for. Nothing is asserted on time.
//
//   ambrel_icon_bench [--quick] [--batches N] [--updates N]
#include "ui/DigitColours.h"
#include "ui/IconSize.h"
#include "ui/TrayIcon.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

const char kWindowClass[] = "AmbrelIconBenchWindow";

struct Settings {
    int batches = 15;
    int updatesPerBatch = 400;
};

bool ParseSettings(int argc, char** argv, Settings& settings)
{
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--quick") == 0) {
            settings.batches = 3;
            settings.updatesPerBatch = 40;
        } else if (std::strcmp(argv[i], "--batches") == 0 && hasValue) {
            settings.batches = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--updates") == 0 && hasValue) {
            settings.updatesPerBatch = std::atoi(argv[++i]);
        } else {
            return false;
        }
    }
    return settings.batches > 0 && settings.updatesPerBatch > 0;
}

HWND CreateHiddenWindow()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, kWindowClass, "icon bench", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

// The (temperature, mode) pairs that both sides show, in turn: every update changes the icon.
struct Reading {
    int t;
    int mode;
};

Reading ReadingAt(int i)
{
    return {20 + i % 90, i % 3};
}

using ColourTable = std::vector<RGBQUAD>;

ColourTable TableOf(const Reading& reading)
{
    const DigitColourTable colours = ComputeDigitColours(reading.t, reading.mode);
    ColourTable table(DIGIT_COLOUR_COUNT);
    for (int i = 0; i < DIGIT_COLOUR_COUNT; ++i)
        table[i] = {colours[i].blue, colours[i].green, colours[i].red, colours[i].reserved};
    return table;
}

// The minimum that an update needs, with everything it can prepare made beforehand: the
// bitmaps stay selected and the colour tables are computed once.
class BareIcon
{
  public:
    bool Open(HWND owner, int count, int iconSize)
    {
        window = owner;
        size = iconSize;
        colourBitmap = static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr),
                                                       MAKEINTRESOURCEA(TempIconResource(size)),
                                                       IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        maskBitmap = CreateBitmap(size, size, 1, 1, nullptr);
        colourDc = CreateCompatibleDC(nullptr);
        maskDc = CreateCompatibleDC(nullptr);
        if (!colourBitmap || !maskBitmap || !colourDc || !maskDc)
            return false;
        colourPrevious = SelectObject(colourDc, colourBitmap);
        maskPrevious = SelectObject(maskDc, maskBitmap);
        for (int i = 0; i < count; ++i)
            tables.push_back(TableOf(ReadingAt(i)));
        NOTIFYICONDATAA data = Notify(CreateIcon());
        const BOOL added = Shell_NotifyIconA(NIM_ADD, &data);
        DestroyIcon(data.hIcon);
        return added != FALSE;
    }

    // Returns false when the icon could not be made or the shell refused it. Without the shell
    // it times the GDI share alone, to show how much of an update is the shell's round trip.
    bool Update(int i, bool withShell)
    {
        SetDIBColorTable(colourDc, 0, DIGIT_COLOUR_COUNT, tables[i % tables.size()].data());
        BitBlt(maskDc, 0, 0, size, size, colourDc, 0, 0, SRCCOPY);
        NOTIFYICONDATAA data = Notify(CreateIcon());
        const bool shown = data.hIcon && (!withShell || Shell_NotifyIconA(NIM_MODIFY, &data));
        DestroyIcon(data.hIcon);
        return shown;
    }

    void Close()
    {
        NOTIFYICONDATAA data = Notify(nullptr);
        Shell_NotifyIconA(NIM_DELETE, &data);
        if (colourPrevious)
            SelectObject(colourDc, colourPrevious);
        if (maskPrevious)
            SelectObject(maskDc, maskPrevious);
        DeleteDC(colourDc);
        DeleteDC(maskDc);
        DeleteObject(colourBitmap);
        DeleteObject(maskBitmap);
    }

  private:
    HICON CreateIcon() const
    {
        ICONINFO info = {};
        info.fIcon = TRUE;
        info.hbmMask = maskBitmap;
        info.hbmColor = colourBitmap;
        return CreateIconIndirect(&info);
    }

    NOTIFYICONDATAA Notify(HICON icon) const
    {
        NOTIFYICONDATAA data = {};
        data.cbSize = sizeof data;
        data.hWnd = window;
        data.uID = 0;
        data.uFlags = icon ? NIF_ICON : 0;
        data.hIcon = icon;
        return data;
    }

    HWND window = nullptr;
    int size = 0;
    HBITMAP colourBitmap = nullptr;
    HBITMAP maskBitmap = nullptr;
    HDC colourDc = nullptr;
    HDC maskDc = nullptr;
    HGDIOBJ colourPrevious = nullptr;
    HGDIOBJ maskPrevious = nullptr;
    std::vector<ColourTable> tables;
};

using Clock = std::chrono::steady_clock;

double MicrosecondsSince(Clock::time_point start, int calls)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / calls;
}

struct Figures {
    double median;
    double mean;
    double low;
    double high;
};

Figures FiguresOf(std::vector<double> perCall)
{
    std::sort(perCall.begin(), perCall.end());
    const size_t n = perCall.size();
    const double median = n % 2 ? perCall[n / 2] : (perCall[n / 2 - 1] + perCall[n / 2]) / 2;
    double sum = 0;
    for (double value : perCall)
        sum += value;
    return {median, sum / n, perCall.front(), perCall.back()};
}

void PrintFigures(const char* name, const Figures& figures)
{
    std::printf("%-26s median %9.1f us  mean %9.1f us  (batches %.1f .. %.1f us)\n", name,
                figures.median, figures.mean, figures.low, figures.high);
}

} // namespace

int main(int argc, char** argv)
{
    Settings settings;
    if (!ParseSettings(argc, argv, settings)) {
        std::fprintf(stderr, "usage: ambrel_icon_bench [--quick] [--batches N] [--updates N]\n");
        return 2;
    }
    const HWND trayWindow = CreateHiddenWindow();
    const HWND bareWindow = CreateHiddenWindow();
    TrayIcon icon = {};
    BareIcon bare;
    if (!trayWindow || !bareWindow || !icon.CreateTrayIcon(trayWindow, 47, 0) ||
        !bare.Open(bareWindow, settings.updatesPerBatch, icon.width)) {
        std::fprintf(stderr, "icon bench: cannot set up the icons (is there a display?)\n");
        return 1;
    }

    // One batch of each first, untimed, so that both find the shell and GDI warmed up.
    std::vector<double> trayTimes;
    std::vector<double> bareTimes;
    std::vector<double> gdiTimes;
    int bareFailures = 0;
    for (int batch = -1; batch < settings.batches; ++batch) {
        Clock::time_point start = Clock::now();
        for (int i = 0; i < settings.updatesPerBatch; ++i) {
            const Reading reading = ReadingAt(i);
            icon.UpdateTrayIcon(reading.t, reading.mode);
        }
        const double trayPerCall = MicrosecondsSince(start, settings.updatesPerBatch);
        start = Clock::now();
        for (int i = 0; i < settings.updatesPerBatch; ++i)
            bareFailures += bare.Update(i, true) ? 0 : 1;
        const double barePerCall = MicrosecondsSince(start, settings.updatesPerBatch);
        start = Clock::now();
        for (int i = 0; i < settings.updatesPerBatch; ++i)
            bareFailures += bare.Update(i, false) ? 0 : 1;
        const double gdiPerCall = MicrosecondsSince(start, settings.updatesPerBatch);
        if (batch >= 0) {
            trayTimes.push_back(trayPerCall);
            bareTimes.push_back(barePerCall);
            gdiTimes.push_back(gdiPerCall);
        }
    }
    bare.Close();
    const int iconSize = icon.width;
    std::vector<double> resizeTimes;
    for (int batch = 0; batch < settings.batches; ++batch) {
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < settings.updatesPerBatch; ++i)
            icon.ResizeTrayIcon(i % 2 ? 32 : 16);
        resizeTimes.push_back(MicrosecondsSince(start, settings.updatesPerBatch));
    }
    icon.ReleaseTrayIcon();

    const Figures tray = FiguresOf(trayTimes);
    const Figures floor = FiguresOf(bareTimes);
    std::printf("icon update at %d x %d px (small icons %d px): %d batches of %d updates each "
                "side, alternating\n",
                iconSize, iconSize, GetSystemMetrics(SM_CXSMICON), settings.batches,
                settings.updatesPerBatch);
    PrintFigures("UpdateTrayIcon", tray);
    PrintFigures("bare sequence", floor);
    PrintFigures("bare, without NIM_MODIFY", FiguresOf(gdiTimes));
    std::printf("ratio UpdateTrayIcon / bare: median %.2f, mean %.2f\n", tray.median / floor.median,
                tray.mean / floor.mean);
    PrintFigures("rebuild at another size", FiguresOf(resizeTimes));
    if (bareFailures != 0) {
        std::fprintf(stderr, "icon bench: the bare sequence failed %d times\n", bareFailures);
        return 1;
    }
    return 0;
}
