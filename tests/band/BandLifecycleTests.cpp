// Lifecycle abuse: bands created, sited, shown, closed, unsited and released
// a thousand times leave no window, menu, GDI object or heap block behind.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/band/BandHarness.h"

namespace {

// The spies' records are emptied after every cycle, so that only the band's
// own allocations can grow the heap.
void RunFullCycle(CBandHarness& host)
{
    ASSERT_EQ(S_OK, host.Open());
    UpdateWindow(host.BandWindow());
    host.Close();
    DrawTextCalls().clear();
    TimerCalls().clear();
}

TEST(ResourceProbe, SeesAMenuAndABrushLeftBehind)
{
    const ProcessResourceCounts before = CountProcessResources();
    CMenuHandle menu(CreatePopupMenu());
    CUniqueAny<HBRUSH, DeleteObject> brush(CreateSolidBrush(RGB(1, 2, 3)));
    const ProcessResourceCounts during = CountProcessResources();
    menu.Reset();
    brush.Reset();
    const ProcessResourceCounts after = CountProcessResources();
    EXPECT_GT(during.menuHandles, before.menuHandles);
    EXPECT_GT(during.gdiHandles, before.gdiHandles);
    EXPECT_EQ(before.menuHandles, after.menuHandles);
    EXPECT_EQ(before.gdiHandles, after.gdiHandles);
}

TEST(BandPopupMenu, OneMenuForAllBandWindowsAndNoneWhenTheLastCloses)
{
    const LONG withoutBands = CountProcessResources().menuHandles;
    CBandHarness first;
    ASSERT_EQ(S_OK, first.Open());
    const LONG withOneBand = CountProcessResources().menuHandles;
    EXPECT_GT(withOneBand, withoutBands);
    {
        CBandHarness second;
        ASSERT_EQ(S_OK, second.Open());
        EXPECT_EQ(withOneBand, CountProcessResources().menuHandles);
    }
    EXPECT_EQ(withOneBand, CountProcessResources().menuHandles);
    first.Close();
    EXPECT_EQ(withoutBands, CountProcessResources().menuHandles);
}

// A browser window on another thread opens and closes its band while the
// band here tracks its menu: the menu being tracked stays, and every copy
// goes with the last band window of its thread.
TEST(BandPopupMenu, BandOnAnotherThreadLeavesTheTrackedMenuAlone)
{
    const LONG withoutBands = CountProcessResources().menuHandles;
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    HMENU tracked = nullptr;
    bool otherBandOpened = false;
    bool trackedWhileOtherOpen = false;
    bool trackedAfterOtherClosed = false;
    {
        CUserThread user([&](const CUser& u) {
            const HWND menuWindow = u.WaitForWindow(nullptr, "#32768");
            tracked = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
            const HWND otherParent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 30, nullptr, nullptr,
                                                     nullptr, nullptr);
            {
                CInterfacePtr<CHostSite> otherSite = MakeHostObject<CHostSite>(otherParent, nullptr, kSiteOleWindow);
                CHostedBand other;
                otherBandOpened = other.Open(NewBand().Detach(), static_cast<IOleWindow*>(otherSite.Get())) == S_OK &&
                                  IsWindow(other.Window());
                trackedWhileOtherOpen = IsMenu(tracked) != FALSE;
            }
            trackedAfterOtherClosed = IsMenu(tracked) != FALSE;
            DestroyWindow(otherParent);
            PostMessageA(menuWindow, WM_KEYDOWN, VK_ESCAPE, 0);
            u.WaitUntilGone(menuWindow);
        });
        SendMessageA(host.BandWindow(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    }
    ASSERT_NE(nullptr, tracked);
    EXPECT_TRUE(otherBandOpened);
    EXPECT_TRUE(trackedWhileOtherOpen);
    EXPECT_TRUE(trackedAfterOtherClosed);
    EXPECT_TRUE(IsMenu(tracked));
    host.Close();
    EXPECT_FALSE(IsMenu(tracked));
    EXPECT_EQ(withoutBands, CountProcessResources().menuHandles);
}

TEST(BandLifecycle, ThousandCyclesLeaveWindowsMenusGdiAndHeapWhereTheyWere)
{
    CBandHarness host;
    const ULONG siteReferences = host.Site().References();
    const ULONG browserReferences = host.Browser().References();
    // Warm up the caches of the window system and the runtime.
    for (int i = 0; i < 20; ++i)
        RunFullCycle(host);
    PumpFor(50);
    const ProcessResourceCounts before = CountProcessResources();
    for (int i = 0; i < 1000; ++i) {
        RunFullCycle(host);
        if (i % 100 == 0)
            PumpFor(1);
    }
    PumpFor(50);
    const ProcessResourceCounts after = CountProcessResources();
    EXPECT_EQ(before.userObjects, after.userObjects);
    EXPECT_EQ(before.gdiObjects, after.gdiObjects);
    EXPECT_EQ(before.windows, after.windows);
    EXPECT_EQ(before.menuHandles, after.menuHandles);
    EXPECT_EQ(before.gdiHandles, after.gdiHandles);
    // A leak of even 8 bytes a cycle would show; small, one-off growth of
    // the system's own caches does not count.
    EXPECT_LT(static_cast<LONGLONG>(after.heapBytes) - static_cast<LONGLONG>(before.heapBytes), 8000);
    EXPECT_EQ(siteReferences, host.Site().References());
    EXPECT_EQ(browserReferences, host.Browser().References());
    EXPECT_EQ(S_OK, Tandrel().CanUnloadNow());
}

TEST(BandLifecycle, ReleasingBandsInEveryStateLeavesNothingBehind)
{
    CBandHarness host;
    RunFullCycle(host);
    const ProcessResourceCounts before = CountProcessResources();
    for (int i = 0; i < 200; ++i) {
        CInterfacePtr<IDeskBand> band = NewBand();
        CInterfacePtr<IObjectWithSite> withSite = QueryBand<IObjectWithSite>(band.Get(), IID_IObjectWithSite);
        withSite->SetSite(host.SiteUnknown());
        if (i % 2)
            band->ShowDW(TRUE);
        if (i % 3 == 0)
            withSite->SetSite(host.SiteUnknown());
        if (i % 5 == 0)
            band->CloseDW(0);
        HWND hwnd = nullptr;
        band->GetWindow(&hwnd);
        if (hwnd)
            SendMessageA(hwnd, WM_COMMAND, ID_REFRESH_10SEC, 0);
        DrawTextCalls().clear();
        TimerCalls().clear();
    }
    PumpFor(50);
    const ProcessResourceCounts after = CountProcessResources();
    EXPECT_EQ(before.windows, after.windows);
    EXPECT_EQ(before.menuHandles, after.menuHandles);
    EXPECT_EQ(before.gdiHandles, after.gdiHandles);
    EXPECT_LT(static_cast<LONGLONG>(after.heapBytes) - static_cast<LONGLONG>(before.heapBytes), 8000);
    EXPECT_EQ(1u, host.Site().References());
    EXPECT_EQ(2u, host.Browser().References());
    EXPECT_EQ(S_OK, Tandrel().CanUnloadNow());
}

} // namespace
