// The band's COM faces as a host sees them: band info, site, persistence,
// window and input-object operations, and the interfaces it answers; and the
// band's refresh reaching a browser it did not write, the platform's own.
#include <gtest/gtest.h>

#include <string.h>

#include "TandrelLib.h"
#include "host/BrowserControl.h"
#include "host/PageDocument.h"
#include "resources/resource.h"
#include "tests/band/BandHarness.h"
#include "tests/common/LoopbackHttpServer.h"

namespace {

const DWORD kAllBandInfoBits = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE |
                               DBIM_MODEFLAGS | DBIM_BKCOLOR;

DESKBANDINFO FilledBandInfo(DWORD mask)
{
    DESKBANDINFO info;
    memset(&info, 0xCD, sizeof(info));
    info.dwMask = mask;
    return info;
}

TEST(BandInfo, NullInfoIsInvalidArgument)
{
    CInterfacePtr<IDeskBand> band = NewBand();
    ASSERT_TRUE(band);
    EXPECT_EQ(E_INVALIDARG, band->GetBandInfo(0, DBIF_VIEWMODE_NORMAL, nullptr));
}

TEST(BandInfo, EmptyMaskTouchesNothing)
{
    CInterfacePtr<IDeskBand> band = NewBand();
    DESKBANDINFO info = FilledBandInfo(0);
    const DESKBANDINFO before = info;
    EXPECT_EQ(S_OK, band->GetBandInfo(0, DBIF_VIEWMODE_NORMAL, &info));
    EXPECT_EQ(0, memcmp(&before, &info, sizeof(info)));
}

TEST(BandInfo, EveryBitFillsItsFieldAndBackgroundColourIsLeftToTheHost)
{
    CInterfacePtr<IDeskBand> band = NewBand();
    DESKBANDINFO info = FilledBandInfo(kAllBandInfoBits);
    const COLORREF background = info.crBkgnd;
    EXPECT_EQ(S_OK, band->GetBandInfo(7, DBIF_VIEWMODE_VERTICAL, &info));
    EXPECT_EQ(kAllBandInfoBits & ~DBIM_BKCOLOR, info.dwMask);
    EXPECT_EQ(200, info.ptMinSize.x);
    EXPECT_EQ(25, info.ptMinSize.y);
    EXPECT_EQ(-1, info.ptMaxSize.x);
    EXPECT_EQ(30, info.ptMaxSize.y);
    EXPECT_EQ(1, info.ptIntegral.x);
    EXPECT_EQ(1, info.ptIntegral.y);
    EXPECT_EQ(200, info.ptActual.x);
    EXPECT_EQ(25, info.ptActual.y);
    EXPECT_STREQ(L"Refresher", info.wszTitle);
    EXPECT_EQ(static_cast<DWORD>(DBIMF_VARIABLEHEIGHT), info.dwModeFlags);
    EXPECT_EQ(background, info.crBkgnd);
}

TEST(BandInfo, EachBitFillsOnlyItsOwnField)
{
    CInterfacePtr<IDeskBand> band = NewBand();
    const DESKBANDINFO untouched = FilledBandInfo(0);
    struct {
        DWORD bit;
        size_t offset;
        size_t size;
    } const fields[] = {
        {DBIM_MINSIZE, offsetof(DESKBANDINFO, ptMinSize), sizeof(POINTL)},
        {DBIM_MAXSIZE, offsetof(DESKBANDINFO, ptMaxSize), sizeof(POINTL)},
        {DBIM_INTEGRAL, offsetof(DESKBANDINFO, ptIntegral), sizeof(POINTL)},
        {DBIM_ACTUAL, offsetof(DESKBANDINFO, ptActual), sizeof(POINTL)},
        {DBIM_TITLE, offsetof(DESKBANDINFO, wszTitle), sizeof(untouched.wszTitle)},
        {DBIM_MODEFLAGS, offsetof(DESKBANDINFO, dwModeFlags), sizeof(DWORD)},
    };
    for (const auto& field : fields) {
        DESKBANDINFO info = FilledBandInfo(field.bit);
        ASSERT_EQ(S_OK, band->GetBandInfo(0, DBIF_VIEWMODE_NORMAL, &info));
        EXPECT_EQ(field.bit, info.dwMask);
        const BYTE* before = reinterpret_cast<const BYTE*>(&untouched);
        const BYTE* after = reinterpret_cast<const BYTE*>(&info);
        const size_t fieldEnd = field.offset + field.size;
        EXPECT_EQ(0, memcmp(before + sizeof(DWORD), after + sizeof(DWORD), field.offset - sizeof(DWORD)))
            << "bit " << field.bit;
        EXPECT_EQ(0, memcmp(before + fieldEnd, after + fieldEnd, sizeof(info) - fieldEnd)) << "bit " << field.bit;
        EXPECT_NE(0, memcmp(before + field.offset, after + field.offset, field.size)) << "bit " << field.bit;
    }
}

// The sizes are given for 96 DPI and follow the band window's scale; the
// width without limit and the step are no lengths and stay.
TEST(BandInfo, SizesFollowTheDpiOfTheBandWindow)
{
    struct {
        UINT dpi;
        POINTL minSize;
        LONG maxHeight;
        POINTL actual;
    } const scales[] = {
        {96, {200, 25}, 30, {200, 25}},
        {144, {300, 38}, 45, {300, 38}},
        {192, {400, 50}, 60, {400, 50}},
    };
    for (const auto& scale : scales) {
        CWindowDpiAnswer dpi(scale.dpi);
        CBandHarness host;
        ASSERT_EQ(S_OK, host.Open());
        const DESKBANDINFO& info = host.Info();
        EXPECT_EQ(scale.minSize.x, info.ptMinSize.x) << scale.dpi;
        EXPECT_EQ(scale.minSize.y, info.ptMinSize.y) << scale.dpi;
        EXPECT_EQ(-1, info.ptMaxSize.x) << scale.dpi;
        EXPECT_EQ(scale.maxHeight, info.ptMaxSize.y) << scale.dpi;
        EXPECT_EQ(1, info.ptIntegral.x) << scale.dpi;
        EXPECT_EQ(1, info.ptIntegral.y) << scale.dpi;
        EXPECT_EQ(scale.actual.x, info.ptActual.x) << scale.dpi;
        EXPECT_EQ(scale.actual.y, info.ptActual.y) << scale.dpi;
    }
    // A system without GetDpiForWindow has one scale, its device contexts'.
    const HDC screen = GetDC(nullptr);
    const UINT contextDpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    DESKBANDINFO answered = {};
    {
        CWindowDpiAnswer dpi(contextDpi);
        CBandHarness host;
        ASSERT_EQ(S_OK, host.Open());
        answered = host.Info();
    }
    CWindowDpiAnswer none(0);
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    EXPECT_EQ(0, memcmp(&answered, &host.Info(), sizeof(answered)));
}

TEST(BandSite, GetSiteWithoutSiteFailsWithNullAnswer)
{
    CInterfacePtr<IDeskBand> band = NewBand();
    CInterfacePtr<IObjectWithSite> withSite = QueryBand<IObjectWithSite>(band.Get(), IID_IObjectWithSite);
    ASSERT_TRUE(withSite);
    void* site = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_FAIL, withSite->GetSite(IID_IUnknown, &site));
    EXPECT_EQ(nullptr, site);
    EXPECT_EQ(E_POINTER, withSite->GetSite(IID_IUnknown, nullptr));
    EXPECT_EQ(S_OK, withSite->SetSite(nullptr));
    site = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_FAIL, withSite->GetSite(IID_IUnknown, &site));
    EXPECT_EQ(nullptr, site);
}

TEST(BandSite, GetSiteGivesTheSitesOwnAnswer)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    CInterfacePtr<IObjectWithSite> withSite = QueryBand<IObjectWithSite>(host.Band(), IID_IObjectWithSite);
    CInterfacePtr<IOleWindow> siteWindow;
    EXPECT_EQ(S_OK, withSite->GetSite(IID_IOleWindow, siteWindow.ReceiveVoid()));
    EXPECT_EQ(static_cast<IOleWindow*>(&host.Site()), siteWindow.Get());
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, withSite->GetSite(IID_IDispatch, &none));
    EXPECT_EQ(nullptr, none);
    siteWindow.Reset();
    host.Close();
}

TEST(BandSite, UnsitingGivesBackEveryReferenceToSiteAndBrowser)
{
    CBandHarness host;
    const ULONG siteReferences = host.Site().References();
    const ULONG browserReferences = host.Browser().References();
    ASSERT_EQ(S_OK, host.Open());
    EXPECT_GT(host.Site().References(), siteReferences);
    EXPECT_EQ(browserReferences + 1, host.Browser().References());
    CInterfacePtr<IObjectWithSite> withSite = QueryBand<IObjectWithSite>(host.Band(), IID_IObjectWithSite);
    EXPECT_EQ(S_OK, withSite->SetSite(nullptr));
    EXPECT_EQ(siteReferences, host.Site().References());
    EXPECT_EQ(browserReferences, host.Browser().References());
}

TEST(BandSite, SiteWithoutInputObjectSiteGivesWindowButNoBrowserNorFocusNews)
{
    CBandHarness host(kSiteOleWindow | kSiteCommandTarget | kSiteServiceProvider);
    const ULONG browserReferences = host.Browser().References();
    ASSERT_EQ(S_OK, host.Open());
    ASSERT_TRUE(IsWindow(host.BandWindow()));
    EXPECT_EQ(browserReferences, host.Browser().References());
    host.Command(ID_REFRESH_10SEC);
    SendMessageA(host.BandWindow(), WM_TIMER, 1, 0);
    EXPECT_EQ(0, host.Browser().RefreshCount());
    CInterfacePtr<IInputObject> input = QueryBand<IInputObject>(host.Band(), IID_IInputObject);
    EXPECT_EQ(S_OK, input->UIActivateIO(TRUE, nullptr));
    EXPECT_EQ(host.BandWindow(), GetFocus());
    SetFocus(host.Parent());
    EXPECT_TRUE(host.Site().FocusChanges().empty());
}

TEST(BandSite, SiteWithoutBrowserServiceLeavesTicksWithNothingToRefresh)
{
    CBandHarness host(kSiteOleWindow | kSiteInputObjectSite | kSiteCommandTarget);
    const ULONG browserReferences = host.Browser().References();
    ASSERT_EQ(S_OK, host.Open());
    host.Command(ID_REFRESH_10SEC);
    SendMessageA(host.BandWindow(), WM_TIMER, 1, 0);
    EXPECT_EQ(browserReferences, host.Browser().References());
    EXPECT_EQ(0, host.Browser().RefreshCount());
}

TEST(BandSite, SiteWithoutOleWindowGivesNoWindow)
{
    CBandHarness host(kSiteInputObjectSite | kSiteCommandTarget | kSiteServiceProvider);
    TimerCalls().clear();
    ASSERT_EQ(S_OK, host.Open());
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(S_OK, host.Band()->GetWindow(&window));
    EXPECT_EQ(nullptr, window);
    EXPECT_TRUE(TimerCalls().empty());
}

TEST(BandPersistence, KeepsNothingInTheHostsStream)
{
    CInterfacePtr<IDeskBand> band = NewBand();
    CInterfacePtr<IPersistStream> persist = QueryBand<IPersistStream>(band.Get(), IID_IPersistStream);
    ASSERT_TRUE(persist);
    CLSID classId = {};
    EXPECT_EQ(S_OK, persist->GetClassID(&classId));
    EXPECT_TRUE(IsEqualCLSID(CLSID_RefresherBand, classId));
    EXPECT_EQ(E_POINTER, persist->GetClassID(nullptr));
    EXPECT_EQ(S_FALSE, persist->IsDirty());
    CInterfacePtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, stream.Receive()));
    EXPECT_EQ(S_OK, persist->Save(stream.Get(), TRUE));
    STATSTG stat = {};
    ASSERT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(0u, stat.cbSize.QuadPart);
    EXPECT_EQ(S_OK, persist->Load(stream.Get()));
    ULARGE_INTEGER size = {};
    EXPECT_EQ(E_NOTIMPL, persist->GetSizeMax(&size));
}

TEST(BandWindowFace, AnswersOnTheDeskBandFaceOnly)
{
    CInterfacePtr<IDeskBand> band = NewBand();
    EXPECT_EQ(E_POINTER, band->GetWindow(nullptr));
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(S_OK, band->GetWindow(&window));
    EXPECT_EQ(nullptr, window);
    EXPECT_EQ(E_NOTIMPL, band->ContextSensitiveHelp(TRUE));
    RECT border = {};
    EXPECT_EQ(E_NOTIMPL, band->ResizeBorderDW(&border, nullptr, FALSE));
    EXPECT_EQ(S_OK, band->ShowDW(TRUE));
    EXPECT_EQ(S_OK, band->CloseDW(0));
    for (const IID* iid : {&IID_IOleWindow, &IID_IDockingWindow}) {
        void* face = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, band->QueryInterface(*iid, &face));
        EXPECT_EQ(nullptr, face);
    }
}

TEST(BandInterfaces, MapAnswersItsSevenRowsWithTheirFaces)
{
    CInterfacePtr<IDeskBand> band = NewBand();
    CInterfacePtr<IUnknown> identity = QueryBand<IUnknown>(band.Get(), IID_IUnknown);
    CInterfacePtr<IUnknown> dispatch = QueryBand<IUnknown>(band.Get(), IID_IDispatch);
    CInterfacePtr<IUnknown> refresher = QueryBand<IUnknown>(band.Get(), IID_IRefresherBand);
    CInterfacePtr<IUnknown> persist = QueryBand<IUnknown>(band.Get(), IID_IPersist);
    CInterfacePtr<IUnknown> persistStream = QueryBand<IUnknown>(band.Get(), IID_IPersistStream);
    CInterfacePtr<IUnknown> deskBand = QueryBand<IUnknown>(band.Get(), IID_IDeskBand);
    CInterfacePtr<IUnknown> input = QueryBand<IUnknown>(band.Get(), IID_IInputObject);
    CInterfacePtr<IUnknown> withSite = QueryBand<IUnknown>(band.Get(), IID_IObjectWithSite);
    EXPECT_EQ(identity.Get(), dispatch.Get());
    EXPECT_EQ(identity.Get(), refresher.Get());
    EXPECT_EQ(persist.Get(), persistStream.Get());
    EXPECT_EQ(static_cast<IUnknown*>(band.Get()), deskBand.Get());
    EXPECT_TRUE(input && withSite);
    EXPECT_NE(identity.Get(), deskBand.Get());
    IDispatch* dispatchFace = static_cast<IDispatch*>(static_cast<IUnknown*>(dispatch.Get()));
    UINT count = 0;
    EXPECT_EQ(S_OK, dispatchFace->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(E_POINTER, dispatchFace->GetTypeInfoCount(nullptr));
}

TEST(BandInputObject, ActivationFocusesTheWindowAndTheSiteHearsOfIt)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    CInterfacePtr<IInputObject> input = QueryBand<IInputObject>(host.Band(), IID_IInputObject);
    SetFocus(host.Parent());
    EXPECT_EQ(S_OK, input->UIActivateIO(FALSE, nullptr));
    EXPECT_EQ(host.Parent(), GetFocus());
    EXPECT_EQ(S_OK, input->UIActivateIO(TRUE, nullptr));
    EXPECT_EQ(host.BandWindow(), GetFocus());
    EXPECT_EQ(S_FALSE, input->HasFocusIO());
    MSG msg = {};
    EXPECT_EQ(S_FALSE, input->TranslateAcceleratorIO(&msg));
    SetFocus(host.Parent());
    const auto& changes = host.Site().FocusChanges();
    ASSERT_EQ(2u, changes.size());
    EXPECT_EQ(static_cast<IUnknown*>(host.Band()), changes[0].object);
    EXPECT_TRUE(changes[0].gained);
    EXPECT_EQ(static_cast<IUnknown*>(host.Band()), changes[1].object);
    EXPECT_FALSE(changes[1].gained);
}

// ---- The platform's browser: the system's WebBrowser control, in the test
// window, as the browser behind the band's site, pointed at a server of the
// test's own on the loopback address. The project's Wine environment turns
// Wine's HTML engine off (it would need Gecko): the pages are of a type whose
// document the host makes.

const char kPageType[] = "application/x-tandrel-test-page";
// The control's first start is slow under emulation.
const DWORD kNavigationTimeout = 30000;
const RECT kControlPlace = {220, 0, 418, 58};

class PlatformBrowser : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_oleInitialized = SUCCEEDED(OleInitialize(nullptr));
        ASSERT_TRUE(m_oleInitialized);
        ASSERT_TRUE(m_server.IsListening());
        ASSERT_EQ(S_OK, m_pages.Register(kPageType));
        ASSERT_EQ(S_OK, m_control.Create(TestParentWindow(), kControlPlace));
    }

    void TearDown() override
    {
        m_band.Close();
        m_site.Reset();
        m_control.Close();
        m_pages.Revoke();
        if (m_oleInitialized)
            OleUninitialize();
    }

    HRESULT Navigate(const char* path) { return m_control.Navigate(m_server.Url(path)); }

    // A band sited with the control as its browser.
    HRESULT OpenBand()
    {
        m_site = MakeHostObject<CHostSite>(TestParentWindow(), m_control.Browser());
        return m_band.Open(NewBand().Detach(), static_cast<IOleWindow*>(m_site.Get()));
    }

    CLoopbackHttpServer m_server{{{"/page", kPageType}, {"/html", "text/html"}}};
    CPageDocumentClass m_pages;
    CBrowserControl m_control;
    CInterfacePtr<CHostSite> m_site;
    CHostedBand m_band;
    bool m_oleInitialized = false;
};

// One request a tick: the requests after the first come a second apart.
TEST_F(PlatformBrowser, EveryTickMakesTheControlFetchItsPageAgain)
{
    ASSERT_EQ(S_OK, Navigate("/page"));
    ASSERT_TRUE(PumpUntil([&] { return m_pages.Loads() == 1; }, kNavigationTimeout));
    ASSERT_EQ(1u, m_server.RequestCount());
    ASSERT_EQ(S_OK, OpenBand());
    ASSERT_TRUE(ChooseCustomInterval(m_band.Window(), "1"));
    ASSERT_TRUE(PumpUntil([&] { return m_server.RequestCount() >= 4; }, 10000));
    const std::vector<HttpRequest> requests = m_server.Requests();
    EXPECT_EQ(static_cast<LONG>(requests.size()), m_pages.Loads());
    for (size_t i = 2; i < requests.size(); ++i)
        EXPECT_NEAR(1000, requests[i].time - requests[i - 1].time, 250) << "request " << i;
    for (const HttpRequest& request : requests)
        EXPECT_EQ("GET /page", request.method + " " + request.path);
}

// Without an HTML engine the control makes no document of a text/html page:
// its Refresh has nothing to refresh. The band's ticks go on all the same:
// once the control shows a page it can refresh, they refresh it.
TEST_F(PlatformBrowser, PageTheControlCannotShowFailsItsRefreshAndTheBandTicksOn)
{
    ASSERT_EQ(S_OK, Navigate("/html"));
    ASSERT_TRUE(PumpUntil([&] { return m_server.RequestCount() == 1; }, kNavigationTimeout));
    EXPECT_EQ(E_FAIL, m_control.Browser()->Refresh());
    ASSERT_EQ(S_OK, OpenBand());
    const HWND band = m_band.Window();
    ASSERT_TRUE(ChooseCustomInterval(band, "1"));
    PumpFor(2500);
    EXPECT_EQ(1u, m_server.RequestCount());
    EXPECT_EQ("Every 1 seconds", PaintedText(band));
    ASSERT_EQ(S_OK, Navigate("/page"));
    EXPECT_TRUE(PumpUntil([&] { return m_pages.Loads() >= 2; }, kNavigationTimeout));
    m_band.Close();
    EXPECT_FALSE(IsWindow(band));
    EXPECT_EQ(1u, m_site->References());
}

} // namespace
