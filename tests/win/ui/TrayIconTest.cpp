// TrayIcon against a real hidden window, Wine's shell tray and the GDI objects it builds: the
// colour tables and masks it leaves behind, its shell registrations and its resource use.
#include "TrayTestSupport.h"

#include "roles/TrayRole.h"
#include "ui/TrayIcon.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

namespace
{

using namespace traytest;

const std::set<int> kLit47 = {0, 1, 2, 8, 9, 12, 13};

// Each row is shown by one update, in this order, after a create that shows 47 in mode 0.
const Shown kUpdates[] = {
    {5, 0, {0, 2, 3, 5, 6, /**/ 7, 8, 9, 10, 11, 12}, kGreen},
    {100, 2, {0, 1, 2, 3, 4, 5, /**/ 7, 8, 9, 10, 11, 12, /**/ 14}, kRed},
    {99, 1, {0, 1, 2, 3, 5, 6, /**/ 7, 8, 9, 10, 12, 13}, kYellow},
    {215, 0, {0, 2, 3, 5, 6, /**/ 8, 9, /**/ 14}, kGreen},
    {-5, 1, {0, 2, 3, 5, 6, /**/ 13}, kYellow},
    {-273, 2, {6, /**/ 13}, kRed},
    {47, 0, {0, 1, 2, /**/ 8, 9, 12, 13}, kGreen},
};

void ExpectEmpty(const TrayIcon& icon)
{
    EXPECT_EQ(icon.trayWindow, nullptr);
    EXPECT_EQ(icon.colourDc, nullptr);
    EXPECT_EQ(icon.colourDcPrevious, nullptr);
    EXPECT_EQ(icon.colourBitmap, nullptr);
    EXPECT_EQ(icon.maskDc, nullptr);
    EXPECT_EQ(icon.maskDcPrevious, nullptr);
    EXPECT_EQ(icon.maskBitmap, nullptr);
    EXPECT_EQ(icon.width, 0);
    EXPECT_EQ(icon.height, 0);
}

bool IsDefaultBitmapOf(HDC dc)
{
    BITMAP info = {};
    return GetObjectA(GetCurrentObject(dc, OBJ_BITMAP), sizeof info, &info) && info.bmWidth == 1 &&
           info.bmHeight == 1 && info.bmBitsPixel == 1;
}

void ExpectNothingSelected(const TrayIcon& icon)
{
    EXPECT_EQ(icon.colourDcPrevious, nullptr);
    EXPECT_EQ(icon.maskDcPrevious, nullptr);
    EXPECT_TRUE(IsDefaultBitmapOf(icon.colourDc)) << "colour bitmap still selected";
    EXPECT_TRUE(IsDefaultBitmapOf(icon.maskDc)) << "mask still selected";
}

// Entries 0 to 15 show the row; entries 16 to 255 are as stored in the resource.
void ExpectShows(const TrayIcon& icon, const Shown& shown)
{
    SCOPED_TRACE(testing::Message() << "t=" << shown.t << " mode=" << shown.mode);
    const std::vector<RGBQUAD> table = ReadColourTable(icon.colourBitmap);
    const std::vector<RGBQUAD> stored = StoredColourTable();
    ASSERT_EQ(table.size(), 256u) << "colour table unreadable";
    ASSERT_EQ(stored.size(), 256u);
    for (int entry = 0; entry < 15; ++entry) {
        const int level = shown.lit.count(entry) ? 240 : 0;
        EXPECT_EQ(RgbOf(table[entry]), (Rgb{level, level, level})) << "entry " << entry;
    }
    EXPECT_EQ(RgbOf(table[15]), shown.bar);
    for (int entry = 16; entry < 256; ++entry)
        EXPECT_EQ(RgbOf(table[entry]), RgbOf(stored[entry])) << "entry " << entry;
}

// Every icon is opaque, the first one included: its mask is all 0. (Derived from the stored
// colour table, the first mask would be 1 where the pixel index is 6, and the shell would
// combine that segment with the taskbar.)
void ExpectOpaqueMask(const TrayIcon& icon)
{
    const std::vector<std::vector<int>> mask = ReadMask(icon.maskBitmap);
    const PixelMap map = LoadPixelMap(icon.width);
    ASSERT_EQ(mask.size(), static_cast<size_t>(icon.width)) << "mask unreadable";
    ASSERT_EQ(map.size, icon.width);
    int wrong = 0;
    for (int row = 0; row < map.size; ++row)
        for (int column = 0; column < map.size; ++column) {
            if (mask[row][column] != 0 && ++wrong <= 5)
                ADD_FAILURE() << "mask at row " << row << " column " << column << " (index "
                              << map.Index(row, column) << ") is " << mask[row][column];
        }
    EXPECT_EQ(wrong, 0);
}

class TrayIconTest : public testing::Test
{
  protected:
    void SetUp() override { ASSERT_NE(window.handle, nullptr); }
    void TearDown() override { icon.ReleaseTrayIcon(); }

    HiddenWindow window;
    TrayIcon icon;
};

TEST_F(TrayIconTest, ZeroInitialisedInsideAnAggregate)
{
    struct Holder {
        TrayIcon tray;
        int other;
    } holder = {};
    ExpectEmpty(holder.tray);
}

TEST_F(TrayIconTest, CreateRegistersAnOpaqueFirstIcon)
{
    ASSERT_TRUE(icon.CreateTrayIcon(window.handle, 47, 0));
    EXPECT_EQ(icon.trayWindow, window.handle);
    EXPECT_EQ(icon.width, SystemIconSize());
    EXPECT_EQ(icon.height, SystemIconSize());
    EXPECT_NE(icon.colourBitmap, nullptr);
    EXPECT_NE(icon.maskBitmap, nullptr);
    EXPECT_NE(icon.colourDc, nullptr);
    EXPECT_NE(icon.maskDc, nullptr);
    ExpectNothingSelected(icon);
    ExpectShows(icon, {47, 0, kLit47, kGreen});
    ExpectOpaqueMask(icon);
    EXPECT_TRUE(ShellHasIcon(window.handle));
    EXPECT_TRUE(
        icon.ShowNotice(u"Ambrel lowered the maximum processor state to 99 % at 86 \u00B0C"));
}

TEST_F(TrayIconTest, EachUpdateRewritesTheTableAndKeepsTheIconOpaque)
{
    ASSERT_TRUE(icon.CreateTrayIcon(window.handle, 47, 0));
    for (const Shown& row : kUpdates) {
        icon.UpdateTrayIcon(row.t, row.mode);
        ExpectNothingSelected(icon);
        ExpectShows(icon, row);
        ExpectOpaqueMask(icon);
        EXPECT_TRUE(ShellHasIcon(window.handle));
    }
}

TEST_F(TrayIconTest, ReleaseRemovesEverythingAndALaterUpdateChangesNothing)
{
    ASSERT_TRUE(icon.CreateTrayIcon(window.handle, 47, 0));
    icon.UpdateTrayIcon(60, 1);
    icon.ReleaseTrayIcon();
    ExpectEmpty(icon);
    EXPECT_FALSE(ShellHasIcon(window.handle));

    const int gdiBefore = GdiObjectCount();
    icon.UpdateTrayIcon(61, 2);
    ExpectEmpty(icon);
    EXPECT_FALSE(ShellHasIcon(window.handle)) << "a late update brought the icon back";
    EXPECT_FALSE(icon.RestoreTrayIcon());
    EXPECT_FALSE(ShellHasIcon(window.handle)) << "restore brought the icon back";
    EXPECT_FALSE(icon.ShowNotice(u"no icon, no notice"));
    EXPECT_EQ(GdiObjectCount(), gdiBefore);

    icon.ReleaseTrayIcon();
    ExpectEmpty(icon);
}

TEST_F(TrayIconTest, ReleaseBeforeCreateIsHarmless)
{
    icon.ReleaseTrayIcon();
    icon.ReleaseTrayIcon();
    ExpectEmpty(icon);
    ASSERT_TRUE(icon.CreateTrayIcon(window.handle, 47, 0));
    ExpectShows(icon, {47, 0, kLit47, kGreen});
}

TEST_F(TrayIconTest, SecondCreateReturnsFalseAndChangesNothing)
{
    HiddenWindow otherWindow;
    ASSERT_TRUE(icon.CreateTrayIcon(window.handle, 47, 0));
    const TrayIcon before = icon;
    const int gdiBefore = GdiObjectCount();

    EXPECT_FALSE(icon.CreateTrayIcon(otherWindow.handle, 99, 2));

    EXPECT_EQ(GdiObjectCount(), gdiBefore);
    EXPECT_EQ(icon.trayWindow, before.trayWindow);
    EXPECT_EQ(icon.colourDc, before.colourDc);
    EXPECT_EQ(icon.colourBitmap, before.colourBitmap);
    EXPECT_EQ(icon.maskDc, before.maskDc);
    EXPECT_EQ(icon.maskBitmap, before.maskBitmap);
    ExpectNothingSelected(icon);
    ExpectShows(icon, {47, 0, kLit47, kGreen});
    ExpectOpaqueMask(icon);
    EXPECT_TRUE(ShellHasIcon(window.handle));
    EXPECT_FALSE(ShellHasIcon(otherWindow.handle));
}

TEST_F(TrayIconTest, UpdateRegistersAgainWhenTheShellLostTheIcon)
{
    ASSERT_TRUE(icon.CreateTrayIcon(window.handle, 47, 0));
    ASSERT_TRUE(ShellForgetIcon(window.handle));
    ASSERT_FALSE(ShellHasIcon(window.handle));
    icon.UpdateTrayIcon(99, 1);
    EXPECT_TRUE(ShellHasIcon(window.handle));
    ExpectShows(icon, kUpdates[2]);
}

TEST_F(TrayIconTest, UpdateRegistersWhenTheFirstRegistrationFailed)
{
    // Another registration under the same window and id makes the icon's own one fail.
    TrayIcon rival;
    ASSERT_TRUE(rival.CreateTrayIcon(window.handle, 10, 0));
    EXPECT_FALSE(icon.CreateTrayIcon(window.handle, 47, 0));
    EXPECT_EQ(icon.trayWindow, window.handle);
    ShellForgetIcon(window.handle);
    rival.ReleaseTrayIcon(); // nothing left to remove in the shell

    icon.UpdateTrayIcon(5, 0);
    EXPECT_TRUE(ShellHasIcon(window.handle));
    ExpectShows(icon, kUpdates[0]);
}

TEST_F(TrayIconTest, RestoreRegistersTheIconAsLastShown)
{
    ASSERT_TRUE(icon.CreateTrayIcon(window.handle, 47, 0));
    ASSERT_TRUE(ShellForgetIcon(window.handle));
    const int gdiBefore = GdiObjectCount();
    EXPECT_TRUE(icon.RestoreTrayIcon());
    EXPECT_TRUE(ShellHasIcon(window.handle));
    EXPECT_EQ(GdiObjectCount(), gdiBefore);
    ExpectNothingSelected(icon);
    ExpectShows(icon, {47, 0, kLit47, kGreen});
    ExpectOpaqueMask(icon);
}

// Each pair: the size asked for, the designed size that the icon must end at.
const int kResizes[][2] = {{32, 32}, {16, 16}, {24, 24}, {20, 20},
                           {36, 32}, {12, 16}, {22, 20}, {31, 24}};

TEST_F(TrayIconTest, ResizeRebuildsAtTheDesignedSizeShowingTheSameIcon)
{
    ASSERT_TRUE(icon.CreateTrayIcon(window.handle, 47, 0));
    ExpectOpaqueMask(icon); // lets the read-back make its one-time GDI objects
    const int gdiBefore = GdiObjectCount();
    bool updated = false;
    for (const auto& resize : kResizes) {
        SCOPED_TRACE(testing::Message() << "asked " << resize[0]);
        const bool changes = resize[1] != icon.width;
        const HBITMAP before = icon.colourBitmap;
        EXPECT_EQ(icon.ResizeTrayIcon(resize[0]), changes ? TRUE : FALSE);
        EXPECT_EQ(icon.colourBitmap == before, !changes) << "rebuilt without a change of size";
        EXPECT_EQ(icon.width, resize[1]);
        EXPECT_EQ(icon.height, resize[1]);
        ExpectNothingSelected(icon);
        ExpectShows(icon, updated ? kUpdates[2] : Shown{47, 0, kLit47, kGreen});
        ExpectOpaqueMask(icon);
        EXPECT_TRUE(ShellHasIcon(window.handle));
        EXPECT_EQ(GdiObjectCount(), gdiBefore);
        // From the second size on the icon has been updated.
        icon.UpdateTrayIcon(99, 1);
        updated = true;
    }
    ASSERT_TRUE(ShellForgetIcon(window.handle));
    EXPECT_TRUE(icon.ResizeTrayIcon(16));
    EXPECT_TRUE(ShellHasIcon(window.handle)) << "not registered again after a lost icon";
    icon.ReleaseTrayIcon();
    EXPECT_FALSE(icon.ResizeTrayIcon(32));
    ExpectEmpty(icon);
}

// The window handler rebuilds the icon at this display's size on every message that can follow
// a change of display scale; after "TaskbarCreated" the shell has the icon again either way.
TEST_F(TrayIconTest, ScaleMessagesFitTheIconToTheSmallIconSize)
{
    const UINT messages[] = {WM_SETTINGCHANGE, 0x02E0 /* WM_DPICHANGED */,
                             RegisterWindowMessageA("TaskbarCreated")};
    TrayRole app{};
    ASSERT_TRUE(app.presenter.Icon().CreateTrayIcon(window.handle, 47, 0));
    for (UINT message : messages)
        for (bool resized : {true, false}) {
            SCOPED_TRACE(testing::Message() << "message " << message << " resized " << resized);
            if (resized)
                app.presenter.Icon().ResizeTrayIcon(SystemIconSize() == 32 ? 16 : 32);
            ShellForgetIcon(window.handle);
            TrayWndProc(&app, message, 0, 0);
            EXPECT_EQ(app.presenter.Icon().width, SystemIconSize());
            EXPECT_EQ(ShellHasIcon(window.handle), resized || message == messages[2]);
            ExpectShows(app.presenter.Icon(), {47, 0, kLit47, kGreen});
        }
    app.presenter.Icon().ReleaseTrayIcon();
}

int LeakTestUpdates()
{
    const char* value = std::getenv("AMBREL_TRAY_LEAK_UPDATES");
    const int updates = value ? std::atoi(value) : 0;
    return updates > 0 ? updates : 5000;
}

// A leak of one GDI object, handle or icon per update must show up: the counts are exact and
// the memory margin is far below what that many leaked icons would take.
TEST_F(TrayIconTest, ManyUpdatesLeaveResourcesWhereTheyWere)
{
    const int updates = LeakTestUpdates();
    ASSERT_TRUE(icon.CreateTrayIcon(window.handle, 47, 0));
    // Warm-up: lets the platform make its one-time caches.
    for (int i = 0; i < 200; ++i)
        icon.UpdateTrayIcon(i, i % 3);
    const int gdiBefore = GdiObjectCount();
    const int handlesBefore = KernelHandleCount();
    const size_t bytesBefore = PrivateBytes();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < updates; ++i)
        icon.UpdateTrayIcon(i % 250 - 20, i % 3);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int gdiAfter = GdiObjectCount();
    const int handlesAfter = KernelHandleCount();
    const size_t bytesAfter = PrivateBytes();
    std::cout << updates << " updates in " << seconds << " s; GDI objects " << gdiBefore << " -> "
              << gdiAfter << ", handles " << handlesBefore << " -> " << handlesAfter
              << ", private bytes " << bytesBefore << " -> " << bytesAfter << "\n";

    EXPECT_GT(gdiBefore, 0);
    EXPECT_LE(gdiAfter, gdiBefore + 2);
    EXPECT_LE(handlesAfter, handlesBefore + 4);
    const size_t margin = 2 * 1024 * 1024;
    EXPECT_LE(bytesAfter, bytesBefore + margin);
    // Still working after all of them.
    icon.UpdateTrayIcon(47, 0);
    ExpectShows(icon, {47, 0, kLit47, kGreen});
    EXPECT_TRUE(ShellHasIcon(window.handle));
}

} // namespace
