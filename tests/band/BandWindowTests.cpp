// The band window: its class and placement, the text it paints, the command
// table, the refresh timer's calls, clicks, and how the window ends.
#include <string.h>

#include <algorithm>

#include <gtest/gtest.h>
#include <oleacc.h>

#include <functional>

#include "resources/resource.h"
#include "tests/band/BandHarness.h"

#include <commctrl.h>

namespace {

const UINT kBandTextFormat = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
// What a child window hears when it has moved to a screen of another scale.
const UINT kDpiChangedAfterParent = 0x02E3;

// The timer calls made since the last clear.
std::vector<TimerCall> TakeTimerCalls()
{
    std::vector<TimerCall> calls;
    calls.swap(TimerCalls());
    return calls;
}

bool RepaintPending(HWND hwnd)
{
    return GetUpdateRect(hwnd, nullptr, FALSE) != FALSE;
}

// The window painted and validated, with no timer calls on record.
void Settle(HWND hwnd)
{
    UpdateWindow(hwnd);
    TimerCalls().clear();
}

void ExpectRestartedWithPeriod(const std::vector<TimerCall>& calls, HWND hwnd, UINT period)
{
    ASSERT_EQ(2u, calls.size());
    EXPECT_FALSE(calls[0].set);
    EXPECT_EQ(hwnd, calls[0].window);
    EXPECT_EQ(1u, calls[0].id);
    EXPECT_TRUE(calls[1].set);
    EXPECT_EQ(hwnd, calls[1].window);
    EXPECT_EQ(1u, calls[1].id);
    EXPECT_EQ(period, calls[1].period);
}

TEST(BandWindow, IsAHiddenChildFillingTheSiteWindowUntilShown)
{
    CBandHarness host;
    CInterfacePtr<IDeskBand> band = NewBand();
    CInterfacePtr<IObjectWithSite> withSite = QueryBand<IObjectWithSite>(band.Get(), IID_IObjectWithSite);
    ASSERT_EQ(S_OK, withSite->SetSite(host.SiteUnknown()));
    HWND hwnd = nullptr;
    ASSERT_EQ(S_OK, band->GetWindow(&hwnd));
    ASSERT_TRUE(IsWindow(hwnd));
    CHAR className[64] = "";
    GetClassNameA(hwnd, className, sizeof(className));
    EXPECT_STREQ("tandrel 1.0 class", className);
    EXPECT_EQ(host.Parent(), GetParent(hwnd));
    EXPECT_EQ(static_cast<LONG>(WS_CHILD | WS_CLIPSIBLINGS | WS_BORDER), GetWindowLongA(hwnd, GWL_STYLE));
    // The system adds the window edge that goes with a modal frame.
    EXPECT_EQ(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE, GetWindowLongA(hwnd, GWL_EXSTYLE));
    RECT parentClient;
    GetClientRect(host.Parent(), &parentClient);
    RECT window;
    GetWindowRect(hwnd, &window);
    MapWindowPoints(nullptr, host.Parent(), reinterpret_cast<POINT*>(&window), 2);
    EXPECT_EQ(parentClient.left, window.left);
    EXPECT_EQ(parentClient.top, window.top);
    EXPECT_EQ(parentClient.right, window.right);
    EXPECT_EQ(parentClient.bottom, window.bottom);
    EXPECT_EQ(S_OK, band->ShowDW(TRUE));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(S_OK, band->ShowDW(FALSE));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(S_OK, band->CloseDW(0));
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(S_OK, withSite->SetSite(nullptr));
}

TEST(BandWindow, ClassIsRegisteredOnceWithRedrawStylesArrowCursorAndButtonFace)
{
    CBandHarness first;
    CBandHarness second;
    ASSERT_EQ(S_OK, first.Open());
    ASSERT_EQ(S_OK, second.Open());
    WNDCLASSA info = {};
    ASSERT_TRUE(GetClassInfoA(Tandrel().Handle(), "tandrel 1.0 class", &info));
    EXPECT_EQ(static_cast<UINT>(CS_HREDRAW | CS_VREDRAW), info.style);
    EXPECT_EQ(0, info.cbClsExtra);
    EXPECT_EQ(0, info.cbWndExtra);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), info.hbrBackground);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), info.hCursor);
    EXPECT_EQ(nullptr, info.hIcon);
    EXPECT_EQ(nullptr, info.lpszMenuName);
    EXPECT_NE(first.BandWindow(), second.BandWindow());
}

TEST(BandWindow, ClassRegisteredMeanwhileByAnotherBandIsUsedWithoutComplaint)
{
    CBandHarness first;
    ASSERT_EQ(S_OK, first.Open());
    CBandHarness second;
    bool errorShown = false;
    {
        CUserThread user([&](const CUser& u) {
            const HWND box = u.WaitForWindow("Tandrel", "#32770", 1500);
            errorShown = box != nullptr;
            if (box)
                PostMessageA(box, WM_COMMAND, IDOK, 0);
        });
        MissNextClassLookup();
        EXPECT_EQ(S_OK, second.Open());
    }
    EXPECT_FALSE(errorShown);
    EXPECT_TRUE(IsWindow(second.BandWindow()));
    EXPECT_EQ(first.Parent(), GetParent(second.BandWindow()));
}

// A copy of the DLL under a name of its own, which FreeLibrary unloads for
// real whatever holds the test program's Tandrel.DLL.
class CDllCopy {
public:
    CDllCopy() : m_path(CopyPath())
    {
        CHAR original[MAX_PATH] = "";
        GetModuleFileNameA(Tandrel().Handle(), original, MAX_PATH);
        m_bCopied = CopyFileA(original, m_path.c_str(), FALSE) != FALSE;
    }
    ~CDllCopy() { DeleteFileA(m_path.c_str()); }
    CDllCopy(const CDllCopy&) = delete;
    CDllCopy& operator=(const CDllCopy&) = delete;

    bool Copied() const { return m_bCopied; }
    LPCSTR Path() const { return m_path.c_str(); }

private:
    static std::string CopyPath()
    {
        CHAR folder[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, folder);
        return std::string(folder) + "TandrelUnloadTest.DLL";
    }

    std::string m_path;
    bool m_bCopied;
};

// A band of library, shown in the test window on site.
HRESULT OpenBandOf(const CTandrelLibrary& library, CHostSite* site, CHostedBand& hosted)
{
    CInterfacePtr<IDeskBand> band;
    const HRESULT hr = library.CreateBand(IID_IDeskBand, band.ReceiveVoid());
    return FAILED(hr) ? hr : hosted.Open(band.Detach(), static_cast<IOleWindow*>(site));
}

bool ClassRegisteredBy(HINSTANCE module)
{
    WNDCLASSEXA info = {};
    info.cbSize = sizeof(info);
    return GetClassInfoExA(module, "tandrel 1.0 class", &info) != FALSE;
}

// Bands of a copy of the DLL that can be unloaded for real, on a site of
// their own.
class BandOfAnUnloadableCopy : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(copy.Copied()); }

    CDllCopy copy;
    CInterfacePtr<CHostBrowser> browser = MakeHostObject<CHostBrowser>();
    CInterfacePtr<CHostSite> site = MakeHostObject<CHostSite>(TestParentWindow(), browser.Get());
};

// The class goes when the module unloads, so that a later load, possibly of
// another build at the same address, registers its own with its own window
// procedure.
TEST_F(BandOfAnUnloadableCopy, ClassGoesWithTheUnloadedModuleAndALaterLoadRegistersItsOwn)
{
    HINSTANCE firstLoad = nullptr;
    {
        CTandrelLibrary library(copy.Path());
        ASSERT_TRUE(library.IsLoaded());
        firstLoad = library.Handle();
        CHostedBand hosted;
        ASSERT_EQ(S_OK, OpenBandOf(library, site.Get(), hosted));
        ASSERT_TRUE(ClassRegisteredBy(firstLoad));
        hosted.Close();
        EXPECT_EQ(S_OK, library.CanUnloadNow());
    }
    EXPECT_FALSE(ClassRegisteredBy(firstLoad));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST), GetLastError());
    CTandrelLibrary library(copy.Path());
    ASSERT_TRUE(library.IsLoaded());
    CHostedBand hosted;
    ASSERT_EQ(S_OK, OpenBandOf(library, site.Get(), hosted));
    ASSERT_TRUE(IsWindow(hosted.Window()));
    EXPECT_TRUE(ClassRegisteredBy(library.Handle()));
    SendMessageA(hosted.Window(), WM_COMMAND, ID_REFRESH_10SEC, 0);
    SendMessageA(hosted.Window(), WM_TIMER, 1, 0);
    EXPECT_EQ(1, browser->RefreshCount());
    hosted.Close();
}

TEST(BandPainting, ShowsTheSettingAsOneCentredBlackLine)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    const HWND hwnd = host.BandWindow();
    EXPECT_EQ("No Refresh", PaintedText(hwnd));
    ASSERT_FALSE(DrawTextCalls().empty());
    const DrawTextCall& call = DrawTextCalls().back();
    EXPECT_EQ(kBandTextFormat, call.format);
    EXPECT_EQ(RGB(0, 0, 0), call.textColor);
    EXPECT_EQ(TRANSPARENT, call.bkMode);
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_TRUE(EqualRect(&client, &call.rect));
    host.Command(ID_REFRESH_1MIN);
    EXPECT_EQ("Every 60 seconds", PaintedText(hwnd));
    host.Command(ID_REFRESH_10MIN);
    EXPECT_EQ("Every 600 seconds", PaintedText(hwnd));
}

TEST(BandPainting, PixelsMatchTheTextDrawnOnTheButtonFace)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    const HWND hwnd = host.BandWindow();
    const SIZE size = ClientSize(hwnd);
    struct {
        WORD command;
        const char* text;
    } const settings[] = {
        {ID_REFRESH_OFF, "No Refresh"},
        {ID_REFRESH_1MIN, "Every 60 seconds"},
        {ID_REFRESH_10MIN, "Every 600 seconds"},
    };
    std::vector<std::vector<DWORD>> shown;
    for (const auto& setting : settings) {
        host.Command(setting.command);
        UpdateWindow(hwnd);
        shown.push_back(CaptureClient(hwnd));
        EXPECT_TRUE(shown.back() == RenderBandText(setting.text, size)) << setting.text;
    }
    EXPECT_FALSE(shown[0] == shown[1]);
    EXPECT_FALSE(shown[1] == shown[2]);
}

// The band as its host lays it out after asking for its band info: at the
// size it asks for, painted.
std::vector<DWORD> ShownAtItsOwnSize(CBandHarness& host)
{
    EXPECT_EQ(S_OK, host.FetchInfo());
    const POINTL size = host.Info().ptActual;
    MoveWindow(host.BandWindow(), 0, 0, size.x, size.y, TRUE);
    UpdateWindow(host.BandWindow());
    return CaptureClient(host.BandWindow());
}

// Moved to a screen of twice the scale, the band asks its host for its size
// again, and the room it gets holds the whole text, twice as tall.
TEST(BandPainting, AtTwiceTheDpiTheTextIsWholeAndTwiceAsTall)
{
    CWindowDpiAnswer dpi(96);
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    const HWND hwnd = host.BandWindow();
    host.Command(ID_REFRESH_10SEC);
    const std::vector<DWORD> shownAt96 = ShownAtItsOwnSize(host);
    const RECT at96 = InkBounds(shownAt96, ClientSize(hwnd));
    ASSERT_FALSE(IsRectEmpty(&at96));
    dpi.Answer(192);
    SendMessageA(hwnd, kDpiChangedAfterParent, 0, 0);
    EXPECT_EQ(1, host.Site().BandInfoChanges());
    const std::vector<DWORD> shownAt192 = ShownAtItsOwnSize(host);
    const SIZE client = ClientSize(hwnd);
    const RECT at192 = InkBounds(shownAt192, client);
    EXPECT_GT(at192.left, 0);
    EXPECT_GT(at192.top, 0);
    EXPECT_LT(at192.right, client.cx);
    EXPECT_LT(at192.bottom, client.cy);
    // Each edge of a glyph falls on a whole pixel: text of twice the size may
    // ink one row less than twice as many.
    const LONG rowsAt96 = at96.bottom - at96.top;
    const LONG rowsAt192 = at192.bottom - at192.top;
    EXPECT_GE(rowsAt192 + 1, 2 * rowsAt96) << "rows " << at96.top << "-" << at96.bottom - 1 << " at 96, "
                                          << at192.top << "-" << at192.bottom - 1 << " at 192";
}

TEST(BandCommands, FixedIntervalsSetTheIntervalAndRestartTheTimer)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    const HWND hwnd = host.BandWindow();
    struct {
        WORD command;
        LONG seconds;
    } const intervals[] = {
        {ID_REFRESH_10SEC, 10}, {ID_REFRESH_15SEC, 15}, {ID_REFRESH_20SEC, 20},  {ID_REFRESH_30SEC, 30},
        {ID_REFRESH_1MIN, 60},  {ID_REFRESH_2MIN, 120}, {ID_REFRESH_5MIN, 300}, {ID_REFRESH_10MIN, 600},
        {ID_REFRESH_10MIN, 600},
    };
    for (const auto& interval : intervals) {
        Settle(hwnd);
        host.Command(interval.command);
        EXPECT_TRUE(RepaintPending(hwnd)) << interval.seconds;
        ExpectRestartedWithPeriod(TakeTimerCalls(), hwnd, interval.seconds * 1000);
        EXPECT_EQ("Every " + std::to_string(interval.seconds) + " seconds", PaintedText(hwnd));
    }
}

TEST(BandCommands, TurnOffStopsTheTimerAndRepaints)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    const HWND hwnd = host.BandWindow();
    host.Command(ID_REFRESH_30SEC);
    Settle(hwnd);
    host.Command(ID_REFRESH_OFF);
    std::vector<TimerCall> calls = TakeTimerCalls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_FALSE(calls[0].set);
    EXPECT_EQ(1u, calls[0].id);
    EXPECT_TRUE(RepaintPending(hwnd));
    EXPECT_EQ("No Refresh", PaintedText(hwnd));

    Settle(hwnd);
    host.Command(ID_REFRESH_OFF);
    calls = TakeTimerCalls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_FALSE(calls[0].set);
    EXPECT_TRUE(RepaintPending(hwnd));
}

TEST(BandCommands, UnknownIdentifiersChangeNothingButRestartAndRepaint)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    const HWND hwnd = host.BandWindow();
    const WORD unknown[] = {32769, 32780, 32781, 32782, 32783, 32785, 0, 100, 40000, 0xFFFF};
    for (WORD id : unknown) {
        Settle(hwnd);
        host.Command(id);
        EXPECT_TRUE(TakeTimerCalls().empty()) << id;
        EXPECT_TRUE(RepaintPending(hwnd)) << id;
        EXPECT_EQ("No Refresh", PaintedText(hwnd)) << id;
    }
    host.Command(ID_REFRESH_20SEC);
    for (WORD id : unknown) {
        Settle(hwnd);
        host.Command(id);
        ExpectRestartedWithPeriod(TakeTimerCalls(), hwnd, 20000);
        EXPECT_TRUE(RepaintPending(hwnd)) << id;
        EXPECT_EQ("Every 20 seconds", PaintedText(hwnd)) << id;
    }
}

// Anyone may post a tick: while the band shows "No Refresh" none refreshes.
TEST(BandTimer, OnlyTimerOneRefreshesTheBrowserAndOnlyWhileRefreshingIsOn)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    SendMessageA(host.BandWindow(), WM_TIMER, 1, 0);
    EXPECT_EQ(0, host.Browser().RefreshCount());
    host.Command(ID_REFRESH_10SEC);
    SendMessageA(host.BandWindow(), WM_TIMER, 2, 0);
    SendMessageA(host.BandWindow(), WM_TIMER, 0, 0);
    EXPECT_EQ(0, host.Browser().RefreshCount());
    SendMessageA(host.BandWindow(), WM_TIMER, 1, 0);
    EXPECT_EQ(1, host.Browser().RefreshCount());
}

TEST(BandTimer, UnsitingStopsTheIntervalAndLaterTicksHaveNoBrowserToRefresh)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    const HWND hwnd = host.BandWindow();
    host.Command(ID_REFRESH_10SEC);
    Settle(hwnd);
    CInterfacePtr<IObjectWithSite> withSite = QueryBand<IObjectWithSite>(host.Band(), IID_IObjectWithSite);
    ASSERT_EQ(S_OK, withSite->SetSite(nullptr));
    EXPECT_TRUE(std::any_of(TimerCalls().begin(), TimerCalls().end(),
                            [&](const TimerCall& call) { return !call.set && call.window == hwnd && call.id == 1; }));
    SendMessageA(hwnd, WM_TIMER, 1, 0);
    SetFocus(hwnd);
    SetFocus(host.Parent());
    EXPECT_EQ(0, host.Browser().RefreshCount());
    EXPECT_TRUE(host.Site().FocusChanges().empty());
}

TEST(BandClicks, RightClickGetsTheDefaultHandlingAndNoMenu)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    bool menuShown = true;
    {
        CUserThread user([&](const CUser& u) { menuShown = u.WaitForWindow(nullptr, "#32768", 500) != nullptr; });
        SendMessageA(host.BandWindow(), WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
        PumpFor(600);
    }
    EXPECT_FALSE(menuShown);
}

TEST(BandClicks, LeftClickOpensThePopupMenuWhoseItemsAreCommands)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    host.Command(ID_REFRESH_30SEC);
    bool menuShown = false;
    {
        CUserThread user([&](const CUser& u) {
            const HWND menu = u.WaitForWindow(nullptr, "#32768");
            menuShown = menu != nullptr;
            // The mnemonic of "&Turn off refresh".
            PostMessageA(menu, WM_CHAR, 't', 1);
            u.WaitUntilGone(menu);
        });
        SendMessageA(host.BandWindow(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        PumpUntil([&] { return PaintedText(host.BandWindow()) == "No Refresh"; }, 5000);
    }
    EXPECT_TRUE(menuShown);
    EXPECT_EQ("No Refresh", PaintedText(host.BandWindow()));
}

// The host lets go of the band, the band's window and, with the last band
// window, the popup menu while that menu is open.
TEST(BandLifetime, HostReleasingTheBandWhileItsMenuIsOpenIsSafe)
{
    const LONG menusBefore = CountProcessResources().menuHandles;
    CBandHarness host;
    const ULONG siteReferences = host.Site().References();
    ASSERT_EQ(S_OK, host.Open());
    const HWND band = host.BandWindow();
    bool menuShown = false;
    {
        CUserThread user([&](const CUser& u) {
            const HWND menu = u.WaitForWindow(nullptr, "#32768");
            menuShown = menu != nullptr;
            u.WaitUntilGone(band);
            if (menu && IsWindow(menu))
                PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        });
        RunFromTimer(300, [&] { host.Close(); });
        SendMessageA(band, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        PumpFor(100);
    }
    EXPECT_TRUE(menuShown);
    EXPECT_FALSE(IsWindow(band));
    EXPECT_EQ(nullptr, host.Band());
    EXPECT_EQ(siteReferences, host.Site().References());
    EXPECT_EQ(menusBefore, CountProcessResources().menuHandles);
    EXPECT_EQ(S_OK, Tandrel().CanUnloadNow());
}

TEST(BandLifetime, ClosingForgetsTheWindowHandle)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    const HWND hwnd = host.BandWindow();
    EXPECT_EQ(S_OK, host.Band()->CloseDW(0));
    EXPECT_FALSE(IsWindow(hwnd));
    HWND after = reinterpret_cast<HWND>(1);
    EXPECT_EQ(S_OK, host.Band()->GetWindow(&after));
    EXPECT_EQ(nullptr, after);
    EXPECT_EQ(S_OK, host.Band()->ShowDW(TRUE));
    EXPECT_EQ(S_OK, host.Band()->CloseDW(0));
    CInterfacePtr<IInputObject> input = QueryBand<IInputObject>(host.Band(), IID_IInputObject);
    SetFocus(host.Parent());
    EXPECT_EQ(S_OK, input->UIActivateIO(TRUE, nullptr));
    EXPECT_EQ(host.Parent(), GetFocus());
}

TEST(BandLifetime, ParentDestroyedFirstLeavesNoStaleHandle)
{
    CBandHarness host;
    const HWND parent = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 300, 30, host.Parent(),
                                        nullptr, nullptr, nullptr);
    CHostSite* site = new CHostSite(parent, &host.Browser());
    CInterfacePtr<CHostSite> siteOwner = CInterfacePtr<CHostSite>::Adopt(site);
    CInterfacePtr<IDeskBand> band = NewBand();
    CInterfacePtr<IObjectWithSite> withSite = QueryBand<IObjectWithSite>(band.Get(), IID_IObjectWithSite);
    ASSERT_EQ(S_OK, withSite->SetSite(static_cast<IOleWindow*>(site)));
    HWND hwnd = nullptr;
    band->GetWindow(&hwnd);
    ASSERT_TRUE(IsWindow(hwnd));
    DestroyWindow(parent);
    EXPECT_FALSE(IsWindow(hwnd));
    HWND after = reinterpret_cast<HWND>(1);
    EXPECT_EQ(S_OK, band->GetWindow(&after));
    EXPECT_EQ(nullptr, after);
    EXPECT_EQ(S_OK, withSite->SetSite(nullptr));
}

TEST(BandLifetime, ReleaseWhileSitedDestroysTheWindowAndGivesEverythingBack)
{
    CBandHarness host;
    const ULONG siteReferences = host.Site().References();
    const ULONG browserReferences = host.Browser().References();
    CInterfacePtr<IDeskBand> band = NewBand();
    CInterfacePtr<IObjectWithSite> withSite = QueryBand<IObjectWithSite>(band.Get(), IID_IObjectWithSite);
    ASSERT_EQ(S_OK, withSite->SetSite(host.SiteUnknown()));
    band->ShowDW(TRUE);
    HWND hwnd = nullptr;
    band->GetWindow(&hwnd);
    SendMessageA(hwnd, WM_COMMAND, ID_REFRESH_10SEC, 0);
    withSite.Reset();
    band.Reset();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(siteReferences, host.Site().References());
    EXPECT_EQ(browserReferences, host.Browser().References());
    EXPECT_EQ(S_OK, Tandrel().CanUnloadNow());
}

TEST(BandLifetime, SecondSiteReplacesTheFirstWindow)
{
    CBandHarness first;
    CBandHarness second;
    const ULONG firstSiteReferences = first.Site().References();
    CInterfacePtr<IDeskBand> band = NewBand();
    CInterfacePtr<IObjectWithSite> withSite = QueryBand<IObjectWithSite>(band.Get(), IID_IObjectWithSite);
    ASSERT_EQ(S_OK, withSite->SetSite(first.SiteUnknown()));
    HWND firstWindow = nullptr;
    band->GetWindow(&firstWindow);
    ASSERT_TRUE(IsWindow(firstWindow));
    ASSERT_EQ(S_OK, withSite->SetSite(second.SiteUnknown()));
    HWND secondWindow = nullptr;
    band->GetWindow(&secondWindow);
    EXPECT_FALSE(IsWindow(firstWindow));
    EXPECT_TRUE(IsWindow(secondWindow));
    EXPECT_EQ(firstSiteReferences, first.Site().References());
    band->CloseDW(0);
    withSite->SetSite(nullptr);
}

} // namespace

namespace {

std::vector<TimerCall> CountdownTimerCalls()
{
    std::vector<TimerCall> countdown;
    for (const TimerCall& call : TimerCalls()) {
        if (call.id != 1)
            countdown.push_back(call);
    }
    return countdown;
}

TEST(BandTip, CountsDownToTheNextRefreshOnlyWhileShown)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    const HWND hwnd = host.BandWindow();
    host.Command(ID_REFRESH_10SEC);
    TimerCalls().clear();
    const HWND tip = PointAtBand(hwnd);
    ASSERT_NE(nullptr, tip);
    const std::string first = TipText(tip, hwnd);
    EXPECT_TRUE(first == "Next refresh in 0:10" || first == "Next refresh in 0:09") << first;
    PumpFor(2600);
    const std::string later = TipText(tip, hwnd);
    EXPECT_TRUE(later == "Next refresh in 0:07" || later == "Next refresh in 0:08") << later;
    host.Command(ID_REFRESH_OFF);
    EXPECT_EQ("Refreshing is off", TipText(tip, hwnd));
    ASSERT_TRUE(PointAwayFrom(tip));
    PumpFor(1200);
    // One once-a-second timer, set while the pointer is on the band or the
    // tip shows, and gone within a second once neither is so.
    const std::vector<TimerCall> countdown = CountdownTimerCalls();
    ASSERT_GE(countdown.size(), 2u);
    for (const TimerCall& call : countdown) {
        EXPECT_EQ(hwnd, call.window);
        EXPECT_EQ(countdown[0].id, call.id);
        if (call.set) {
            EXPECT_EQ(1000u, call.period);
        }
    }
    EXPECT_TRUE(countdown.front().set);
    EXPECT_FALSE(countdown.back().set);
    // The band's top-level ancestor owns the tooltip; the band takes it along.
    host.Close();
    EXPECT_FALSE(IsWindow(tip));
}

} // namespace

namespace {

// The key state of the test thread, with Shift held down for as long as it
// lives.
class CShiftHeld {
public:
    CShiftHeld()
    {
        GetKeyboardState(m_saved);
        BYTE held[256];
        memcpy(held, m_saved, sizeof(held));
        held[VK_SHIFT] = 0x80;
        SetKeyboardState(held);
    }
    ~CShiftHeld() { SetKeyboardState(m_saved); }

private:
    BYTE m_saved[256];
};

void PostKey(UINT message, UINT key, LPARAM flags = 0)
{
    PostMessageA(GetFocus(), message, key, 1 | flags);
    PostMessageA(GetFocus(), message == WM_KEYDOWN ? WM_KEYUP : WM_SYSKEYUP, key, 0xC0000001 | flags);
}

CInterfacePtr<IAccessible> AccessibleBand(HWND band)
{
    CInterfacePtr<IAccessible> accessible;
    AccessibleObjectFromWindow(band, OBJID_CLIENT, __uuidof(IAccessible), accessible.ReceiveVoid());
    return accessible;
}

VARIANT Self()
{
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    return self;
}

std::string AccessibleText(HRESULT (STDMETHODCALLTYPE IAccessible::*getter)(VARIANT, BSTR*), IAccessible* object)
{
    BSTR text = nullptr;
    if ((object->*getter)(Self(), &text) != S_OK || !text)
        return "(none)";
    CHAR ansi[256] = "";
    WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof(ansi), nullptr, nullptr);
    SysFreeString(text);
    return ansi;
}

LONG AccessibleState(IAccessible* object)
{
    VARIANT state;
    VariantInit(&state);
    EXPECT_EQ(S_OK, object->get_accState(Self(), &state));
    return state.vt == VT_I4 ? state.lVal : 0;
}

// Each way a keyboard user (or a screen reader) opens the menu: the menu
// hangs from the band's lower-left corner, and its third item sets the
// interval as a click on it does.
TEST(BandKeyboard, EveryMenuKeyOpensTheMenuWhoseCommandsRunAsAClicksWould)
{
    struct {
        const char* name;
        std::function<void(HWND)> open;
    } const openers[] = {
        {"Space", [](HWND) { PostKey(WM_KEYDOWN, VK_SPACE); }},
        {"Enter", [](HWND) { PostKey(WM_KEYDOWN, VK_RETURN); }},
        {"F4", [](HWND) { PostKey(WM_KEYDOWN, VK_F4); }},
        {"Alt+Down", [](HWND) { PostKey(WM_SYSKEYDOWN, VK_DOWN, KF_ALTDOWN << 16); }},
        {"Shift+F10",
         [](HWND) {
             CShiftHeld shift;
             SendMessageA(GetFocus(), WM_SYSKEYDOWN, VK_F10, 1);
         }},
        {"Applications", [](HWND) { PostKey(WM_KEYDOWN, VK_APPS); }},
        {"default action", [](HWND band) { EXPECT_EQ(S_OK, AccessibleBand(band)->accDoDefaultAction(Self())); }},
    };
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    const HWND hwnd = host.BandWindow();
    CInterfacePtr<IInputObject> input = QueryBand<IInputObject>(host.Band(), IID_IInputObject);
    for (const auto& opener : openers) {
        host.Command(ID_REFRESH_OFF);
        ASSERT_EQ(S_OK, input->UIActivateIO(TRUE, nullptr));
        ASSERT_EQ(hwnd, GetFocus());
        RECT band;
        GetWindowRect(hwnd, &band);
        RECT menuPlace = {};
        bool menuShown = false;
        {
            CUserThread user([&](const CUser& u) {
                const HWND menu = u.WaitForWindow(nullptr, "#32768");
                menuShown = menu != nullptr;
                if (!menu)
                    return;
                GetWindowRect(menu, &menuPlace);
                for (UINT key : {VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}) {
                    PostMessageA(menu, WM_KEYDOWN, key, 1);
                    Sleep(100);
                }
                u.WaitUntilGone(menu);
            });
            opener.open(hwnd);
            PumpUntil([&] { return PaintedText(hwnd) == "Every 15 seconds"; }, 5000);
        }
        EXPECT_TRUE(menuShown) << opener.name;
        EXPECT_EQ(band.left, menuPlace.left) << opener.name;
        EXPECT_EQ(band.bottom, menuPlace.top) << opener.name;
        EXPECT_EQ("Every 15 seconds", PaintedText(hwnd)) << opener.name;
    }
}

TEST(BandKeyboard, FocusRectangleShowsOnlyWhileFocused)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    const HWND hwnd = host.BandWindow();
    const std::vector<DWORD> unfocused = RenderBandText("No Refresh", ClientSize(hwnd));
    CInterfacePtr<IInputObject> input = QueryBand<IInputObject>(host.Band(), IID_IInputObject);
    ASSERT_EQ(S_OK, input->UIActivateIO(TRUE, nullptr));
    UpdateWindow(hwnd);
    EXPECT_FALSE(CaptureClient(hwnd) == unfocused);
    EXPECT_EQ(S_FALSE, input->HasFocusIO());
    SetFocus(host.Parent());
    UpdateWindow(hwnd);
    EXPECT_TRUE(CaptureClient(hwnd) == unfocused);
}

std::vector<HWND> g_valueChanges;

void CALLBACK RecordValueChange(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD, DWORD)
{
    if (event == EVENT_OBJECT_VALUECHANGE && object == OBJID_CLIENT && child == CHILDID_SELF)
        g_valueChanges.push_back(hwnd);
}

TEST(BandAccessibility, ClientObjectIsAMenuButtonNamedForTheIntervalItShows)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    const HWND hwnd = host.BandWindow();
    CInterfacePtr<IAccessible> accessible = AccessibleBand(hwnd);
    ASSERT_TRUE(accessible);
    EXPECT_EQ("Refresh interval", AccessibleText(&IAccessible::get_accName, accessible.Get()));
    EXPECT_EQ("No Refresh", AccessibleText(&IAccessible::get_accValue, accessible.Get()));
    EXPECT_EQ("Open", AccessibleText(&IAccessible::get_accDefaultAction, accessible.Get()));
    VARIANT role;
    VariantInit(&role);
    ASSERT_EQ(S_OK, accessible->get_accRole(Self(), &role));
    EXPECT_EQ(VT_I4, role.vt);
    EXPECT_EQ(ROLE_SYSTEM_BUTTONMENU, role.lVal);
    EXPECT_EQ(STATE_SYSTEM_FOCUSABLE, AccessibleState(accessible.Get()) & (STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED));
    SetFocus(hwnd);
    EXPECT_EQ(STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED,
              AccessibleState(accessible.Get()) & (STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED));
    SetFocus(host.Parent());

    g_valueChanges.clear();
    const HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
                                               RecordValueChange, GetCurrentProcessId(), GetCurrentThreadId(),
                                               WINEVENT_OUTOFCONTEXT);
    host.Command(ID_REFRESH_30SEC);
    host.Command(ID_REFRESH_30SEC);
    PumpFor(200);
    UnhookWinEvent(hook);
    EXPECT_EQ("Every 30 seconds", AccessibleText(&IAccessible::get_accValue, accessible.Get()));
    ASSERT_EQ(1u, g_valueChanges.size());
    EXPECT_EQ(hwnd, g_valueChanges[0]);

    // A screen reader may hold the object after the band has gone.
    host.Close();
    BSTR value = nullptr;
    EXPECT_EQ(E_FAIL, accessible->get_accValue(Self(), &value));
    EXPECT_EQ(nullptr, value);
    EXPECT_EQ(E_FAIL, accessible->accDoDefaultAction(Self()));
}

// The parameters of forged messages, all in one buffer of the test's own:
// every pointer a forged message carries points into it, so that any write
// through one is seen, and none can fault.
struct ForgedParameters {
    NMTTDISPINFOA textQuestionA;
    NMTTDISPINFOW textQuestionW;
    NMHDR tipShown;
    CHAR text[200];
    CREATESTRUCTA creation;
    CHAR name[8];
    RECT suggested;
};

void Forge(ForgedParameters& forged, HWND tip, HWND band)
{
    memset(&forged, 'x', sizeof(forged));
    const UINT_PTR tool = reinterpret_cast<UINT_PTR>(band);
    forged.textQuestionA.hdr = {tip, tool, static_cast<UINT>(TTN_GETDISPINFOA)};
    forged.textQuestionW.hdr = {tip, tool, static_cast<UINT>(TTN_GETDISPINFOW)};
    forged.tipShown = {tip, tool, static_cast<UINT>(TTN_SHOW)};
    forged.creation = {};
    forged.creation.lpCreateParams = &forged;
    forged.creation.lpszName = forged.name;
    forged.creation.lpszClass = forged.name;
    forged.name[sizeof(forged.name) - 1] = '\0';
    forged.suggested = {0, 0, 800, 100};
}

// Any program on the desktop may send or post the band's window any message
// with any parameters, and write the window's user data. Each row carries a
// pointer or speaks of the window's life, and each once made the band write
// where the message pointed, follow the pointer or give up its window (whose
// procedure then outlived the unloaded module). Sent and posted from another
// thread, none may: the band stays whole, closes when its host closes it, and
// its class goes with the module.
TEST_F(BandOfAnUnloadableCopy, MessagesFromAnotherThreadWriteNothingAndEndNothing)
{
    HINSTANCE loaded = nullptr;
    {
        CTandrelLibrary library(copy.Path());
        ASSERT_TRUE(library.IsLoaded());
        loaded = library.Handle();
        CHostedBand hosted;
        ASSERT_EQ(S_OK, OpenBandOf(library, site.Get(), hosted));
        const HWND hwnd = hosted.Window();
        SendMessageA(hwnd, WM_COMMAND, ID_REFRESH_10SEC, 0);
        // A tip that exists, hidden so that it covers none of the band's
        // pixels.
        const HWND tip = PointAtBand(hwnd);
        ASSERT_NE(nullptr, tip);
        ASSERT_TRUE(PointAwayFrom(tip));
        ForgedParameters forged;
        Forge(forged, tip, hwnd);
        const ForgedParameters before = forged;
        const struct {
            const char* name;
            UINT message;
            WPARAM wParam;
            void* lParam;
        } rows[] = {
            {"tip text question (ANSI)", WM_NOTIFY, 0, &forged.textQuestionA},
            {"tip text question (Unicode)", WM_NOTIFY, 0, &forged.textQuestionW},
            {"tip shown", WM_NOTIFY, 0, &forged.tipShown},
            {"band text", RegisterWindowMessageA("Tandrel band text"), sizeof(forged.text), forged.text},
            {"creation", WM_NCCREATE, 0, &forged.creation},
            {"scale change", WM_DPICHANGED, MAKEWPARAM(192, 192), &forged.suggested},
            {"close", WM_CLOSE, 0, nullptr},
            {"destruction", WM_DESTROY, 0, nullptr},
            {"final destruction", WM_NCDESTROY, 0, nullptr},
        };
        for (const auto& row : rows) {
            const LPARAM lParam = reinterpret_cast<LPARAM>(row.lParam);
            {
                CUserThread sender([&](const CUser&) {
                    SendMessageA(hwnd, row.message, row.wParam, lParam);
                    PostMessageA(hwnd, row.message, row.wParam, lParam);
                });
            }
            PumpFor(100);
            EXPECT_EQ(0, memcmp(&before, &forged, sizeof(forged))) << row.name;
            HWND bandWindow = nullptr;
            hosted.Band()->GetWindow(&bandWindow);
            ASSERT_EQ(hwnd, bandWindow) << row.name;
            UpdateWindow(hwnd);
            EXPECT_TRUE(CaptureClient(hwnd) == RenderBandText("Every 10 seconds", ClientSize(hwnd))) << row.name;
        }
        // A window's user data belongs to its class, and any program may
        // write it.
        {
            CUserThread writer([&](const CUser&) {
                SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&forged));
            });
        }
        SendMessageA(hwnd, WM_COMMAND, ID_REFRESH_30SEC, 0);
        UpdateWindow(hwnd);
        EXPECT_EQ(0, memcmp(&before, &forged, sizeof(forged)));
        EXPECT_TRUE(CaptureClient(hwnd) == RenderBandText("Every 30 seconds", ClientSize(hwnd)));
        hosted.Close();
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_EQ(S_OK, library.CanUnloadNow());
    }
    EXPECT_FALSE(ClassRegisteredBy(loaded));
}

} // namespace
