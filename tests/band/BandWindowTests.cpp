// The band window: its class and placement, the text it paints, the command
// table, the refresh timer's calls, clicks, and how the window ends.
#include <algorithm>

#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/band/BandHarness.h"

namespace {

const UINT kBandTextFormat = DT_SINGLELINE | DT_VCENTER | DT_CENTER;

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

// The class goes when the module unloads, so that a later load, possibly of
// another build at the same address, registers its own with its own window
// procedure.
TEST(BandWindow, ClassGoesWithTheUnloadedModuleAndALaterLoadRegistersItsOwn)
{
    CDllCopy copy;
    ASSERT_TRUE(copy.Copied());
    CInterfacePtr<CHostBrowser> browser = MakeHostObject<CHostBrowser>();
    CInterfacePtr<CHostSite> site = MakeHostObject<CHostSite>(TestParentWindow(), browser.Get());
    HINSTANCE firstLoad = nullptr;
    WNDCLASSEXA info = {};
    info.cbSize = sizeof(info);
    {
        CTandrelLibrary library(copy.Path());
        ASSERT_TRUE(library.IsLoaded());
        firstLoad = library.Handle();
        CInterfacePtr<IDeskBand> band;
        ASSERT_EQ(S_OK, library.CreateBand(IID_IDeskBand, band.ReceiveVoid()));
        CHostedBand hosted;
        ASSERT_EQ(S_OK, hosted.Open(std::move(band), static_cast<IOleWindow*>(site.Get())));
        ASSERT_TRUE(GetClassInfoExA(firstLoad, "tandrel 1.0 class", &info));
        hosted.Close();
        EXPECT_EQ(S_OK, library.CanUnloadNow());
    }
    EXPECT_FALSE(GetClassInfoExA(firstLoad, "tandrel 1.0 class", &info));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST), GetLastError());
    CTandrelLibrary library(copy.Path());
    ASSERT_TRUE(library.IsLoaded());
    CInterfacePtr<IDeskBand> band;
    ASSERT_EQ(S_OK, library.CreateBand(IID_IDeskBand, band.ReceiveVoid()));
    CHostedBand hosted;
    ASSERT_EQ(S_OK, hosted.Open(std::move(band), static_cast<IOleWindow*>(site.Get())));
    ASSERT_TRUE(IsWindow(hosted.Window()));
    EXPECT_TRUE(GetClassInfoExA(library.Handle(), "tandrel 1.0 class", &info));
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

TEST(BandTimer, OnlyTimerOneRefreshesTheBrowser)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
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
