// TandrelDemo: the band in a window laid out like a browser's, a toolbar
// area (a rebar) holding the band above a page area in which the platform's
// WebBrowser control shows the page at URL. The band is created by its class
// id through the registry, as a browser creates the bands listed under its
// toolbar key, so Tandrel.DLL must have been registered (scripts/demo runs
// regsvr32); its site hands it the control as the browser to refresh.
// Pages of content type TYPE are shown by the demo's own document class,
// registered for that type while the demo runs.
//
//   TandrelDemo --url URL --page-type TYPE [--headless] [--interval SECONDS]
//               [--refreshes COUNT] [--hold-until FILE] [--timeout SECONDS]
//
// Interactive, it runs until its window is closed. Headless, it picks a
// custom interval through the band's own menu command and dialog, waits
// until the page has been received COUNT times after the first, rests the
// pointer on the band until its tooltip shows, prints its window's place on
// the screen and "ready", keeps the window up until FILE exists (a
// screenshot, say), then closes the band and the control.
//
// It declares itself aware of the display's DPI, as Internet Explorer does,
// so that the system shows it in real pixels rather than stretched; its own
// lengths, like the band's, are given for 96 DPI and scaled.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "host/BrowserControl.h"
#include "host/HostSite.h"
#include "host/HostedBand.h"
#include "host/PageDocument.h"
#include "TandrelLib.h"
#include "resources/resource.h"

namespace {

const char kHostClassName[] = "TandrelDemoHost";
const char kPageClassName[] = "TandrelDemoPage";
const char kHostTitle[] = "Tandrel demo host";
const UINT_PTR kDriverTimer = 1;
const UINT kDriverPeriod = 100;
// At 96 DPI.
const POINT kHostPlace = {40, 40};
const SIZE kHostSize = {640, 360};

struct DemoOptions {
    std::string url;
    std::string pageType;
    bool headless = false;
    std::string interval = "2";
    LONG refreshes = 3;
    std::string holdUntil;
    DWORD timeoutSeconds = 60;
};

DemoOptions ParseOptions(int argc, char** argv)
{
    DemoOptions options;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!strcmp(argv[i], "--headless"))
            options.headless = true;
        else if (!strcmp(argv[i], "--url") && hasValue)
            options.url = argv[++i];
        else if (!strcmp(argv[i], "--page-type") && hasValue)
            options.pageType = argv[++i];
        else if (!strcmp(argv[i], "--interval") && hasValue)
            options.interval = argv[++i];
        else if (!strcmp(argv[i], "--refreshes") && hasValue)
            options.refreshes = atol(argv[++i]);
        else if (!strcmp(argv[i], "--hold-until") && hasValue)
            options.holdUntil = argv[++i];
        else if (!strcmp(argv[i], "--timeout") && hasValue)
            options.timeoutSeconds = strtoul(argv[++i], nullptr, 10);
    }
    return options;
}

void Report(const char* format, LONG value)
{
    printf(format, value);
    fflush(stdout);
}

// The screen's DPI on each axis.
POINT ScreenDpi()
{
    const HDC screen = GetDC(nullptr);
    const POINT dpi = {GetDeviceCaps(screen, LOGPIXELSX), GetDeviceCaps(screen, LOGPIXELSY)};
    ReleaseDC(nullptr, screen);
    return dpi;
}

int Scaled(int pixels, LONG dpi)
{
    return MulDiv(pixels, dpi, USER_DEFAULT_SCREEN_DPI);
}

// The host window at the screen's scale, as far as the screen holds it.
SIZE HostWindowSize()
{
    const POINT dpi = ScreenDpi();
    const SIZE wanted = {Scaled(kHostSize.cx, dpi.x), Scaled(kHostSize.cy, dpi.y)};
    return {std::min(wanted.cx, static_cast<LONG>(GetSystemMetrics(SM_CXSCREEN) - kHostPlace.x)),
            std::min(wanted.cy, static_cast<LONG>(GetSystemMetrics(SM_CYSCREEN) - kHostPlace.y))};
}

// The steps of a headless run, one per tick of the driver timer; the timer
// keeps ticking inside the band's dialog, whose message loop delivers it.
enum class DriverStep { OpenCustomDialog, FillCustomDialog, AwaitRefreshes, AwaitTooltip, HoldForScreenshot, Done };

class CDemoHost {
public:
    explicit CDemoHost(const DemoOptions& options) : m_options(options) {}

    bool Create(HINSTANCE hInstance);
    int Run();

private:
    static LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    bool CreateChildren(HWND hwnd);
    RECT PagePlace() const;
    bool OpenBrowser();
    bool OpenBand();
    REBARBANDINFOA BandRow(CHAR (&title)[256]) const;
    void InsertBandIntoRebar();
    void OnBandInfoChanged();
    void Layout();
    void CloseBandAndBrowser();
    void DriveHeadlessRun();
    void RestPointerOnBand();
    bool TooltipShown() const;
    void ReportPlace() const;

    DemoOptions m_options;
    HINSTANCE m_hInstance = nullptr;
    HWND m_hWnd = nullptr;
    HWND m_hRebar = nullptr;
    HWND m_hPage = nullptr;
    CPageDocumentClass m_pages;
    CBrowserControl m_browser;
    CHostReference<CHostSite> m_site;
    CHostedBand m_band;
    DriverStep m_step = DriverStep::OpenCustomDialog;
    DWORD m_startTick = 0;
    int m_exitCode = 0;
};

bool CDemoHost::Create(HINSTANCE hInstance)
{
    m_hInstance = hInstance;
    WNDCLASSA hostClass = {};
    hostClass.lpfnWndProc = HostWindowProc;
    hostClass.hInstance = hInstance;
    hostClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    hostClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    hostClass.lpszClassName = kHostClassName;
    WNDCLASSA pageClass = hostClass;
    pageClass.lpfnWndProc = DefWindowProcA;
    pageClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    pageClass.lpszClassName = kPageClassName;
    if (!RegisterClassA(&hostClass) || !RegisterClassA(&pageClass))
        return false;
    const SIZE size = HostWindowSize();
    CreateWindowExA(0, kHostClassName, kHostTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, kHostPlace.x, kHostPlace.y,
                    size.cx, size.cy, nullptr, nullptr, hInstance, this);
    if (!m_hWnd || !OpenBrowser() || !OpenBand())
        return false;
    ShowWindow(m_hWnd, SW_SHOW);
    UpdateWindow(m_hWnd);
    if (m_options.headless) {
        m_startTick = GetTickCount();
        SetTimer(m_hWnd, kDriverTimer, kDriverPeriod, nullptr);
    }
    return true;
}

bool CDemoHost::CreateChildren(HWND hwnd)
{
    m_hWnd = hwnd;
    m_hRebar = CreateWindowExA(WS_EX_TOOLWINDOW, REBARCLASSNAMEA, nullptr,
                               WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_VARHEIGHT |
                                   RBS_BANDBORDERS | CCS_NODIVIDER,
                               0, 0, 0, 0, hwnd, nullptr, m_hInstance, nullptr);
    m_hPage = CreateWindowExA(WS_EX_CLIENTEDGE, kPageClassName, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                              0, 0, 0, hwnd, nullptr, m_hInstance, nullptr);
    return m_hRebar && m_hPage;
}

// The whole of the page area.
RECT CDemoHost::PagePlace() const
{
    RECT place;
    GetClientRect(m_hPage, &place);
    return place;
}

// The page's document class first: the control looks it up when the page
// arrives.
bool CDemoHost::OpenBrowser()
{
    HRESULT hr = m_pages.Register(m_options.pageType);
    if (SUCCEEDED(hr))
        hr = m_browser.Create(m_hPage, PagePlace());
    if (SUCCEEDED(hr) && !m_options.url.empty())
        hr = m_browser.Navigate(m_options.url);
    if (FAILED(hr)) {
        Report("TandrelDemo: the browser control could not be made to show the page (0x%08lX)\n", hr);
        return false;
    }
    return true;
}

bool CDemoHost::OpenBand()
{
    m_site.reset(new CHostSite(m_hRebar, m_browser.Browser()));

    IDeskBand* band = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_RefresherBand, nullptr, CLSCTX_INPROC_SERVER, IID_IDeskBand,
                                  reinterpret_cast<void**>(&band));
    if (SUCCEEDED(hr))
        hr = m_band.Open(band, static_cast<IOleWindow*>(m_site.get()));
    if (FAILED(hr)) {
        Report("TandrelDemo: the band could not be created and opened (0x%08lX); is Tandrel.DLL registered?\n", hr);
        return false;
    }
    InsertBandIntoRebar();
    m_site->SetBandInfoObserver([this] { OnBandInfoChanged(); });
    Layout();
    return true;
}

// The rebar band takes its sizes from the band's own GetBandInfo, which
// gives them at the band window's scale.
REBARBANDINFOA CDemoHost::BandRow(CHAR (&title)[256]) const
{
    const DESKBANDINFO& info = m_band.Info();
    WideCharToMultiByte(CP_ACP, 0, info.wszTitle, -1, title, sizeof(title), nullptr, nullptr);
    REBARBANDINFOA rebarBand = {};
    rebarBand.cbSize = sizeof(rebarBand);
    rebarBand.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_TEXT | RBBIM_STYLE | RBBIM_IDEALSIZE;
    rebarBand.fStyle = RBBS_CHILDEDGE | RBBS_GRIPPERALWAYS;
    rebarBand.lpText = title;
    rebarBand.hwndChild = m_band.Window();
    rebarBand.cxMinChild = info.ptMinSize.x;
    rebarBand.cyMinChild = info.ptMinSize.y;
    rebarBand.cyMaxChild = info.ptMaxSize.y;
    rebarBand.cyIntegral = info.ptIntegral.y;
    rebarBand.cyChild = info.ptActual.y;
    rebarBand.cx = info.ptActual.x;
    rebarBand.cxIdeal = info.ptActual.x;
    return rebarBand;
}

void CDemoHost::InsertBandIntoRebar()
{
    CHAR title[256];
    REBARBANDINFOA rebarBand = BandRow(title);
    SendMessageA(m_hRebar, RB_INSERTBANDA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&rebarBand));
}

// The band moved to a screen of another scale: its row follows.
void CDemoHost::OnBandInfoChanged()
{
    if (FAILED(m_band.FetchInfo()))
        return;
    CHAR title[256];
    REBARBANDINFOA rebarBand = BandRow(title);
    SendMessageA(m_hRebar, RB_SETBANDINFOA, 0, reinterpret_cast<LPARAM>(&rebarBand));
    Layout();
}

void CDemoHost::Layout()
{
    RECT client;
    GetClientRect(m_hWnd, &client);
    SendMessageA(m_hRebar, WM_SIZE, 0, 0);
    RECT rebar;
    GetWindowRect(m_hRebar, &rebar);
    const int top = rebar.bottom - rebar.top;
    MoveWindow(m_hPage, 0, top, client.right, client.bottom - top, TRUE);
    m_browser.Move(PagePlace());
}

// The band lets go of the control before the control closes; its document
// class goes last.
void CDemoHost::CloseBandAndBrowser()
{
    m_band.Close();
    m_site.reset();
    m_browser.Close();
    m_pages.Revoke();
}

// The pointer moved onto the band as a user's would be, with the move the
// window system reports.
void CDemoHost::RestPointerOnBand()
{
    RECT band;
    GetWindowRect(m_band.Window(), &band);
    SetCursorPos(band.left + 40, (band.top + band.bottom) / 2);
    PostMessageA(m_band.Window(), WM_MOUSEMOVE, 0, MAKELPARAM(40, (band.bottom - band.top) / 2));
}

bool CDemoHost::TooltipShown() const
{
    const HWND tip = FindWindowA(TOOLTIPS_CLASSA, nullptr);
    return tip && IsWindowVisible(tip);
}

// For a screenshot of the window: its size and place as X11 geometry.
void CDemoHost::ReportPlace() const
{
    RECT place;
    GetWindowRect(m_hWnd, &place);
    printf("window: %ldx%ld+%ld+%ld\n", place.right - place.left, place.bottom - place.top, place.left, place.top);
}

void CDemoHost::DriveHeadlessRun()
{
    if (GetTickCount() - m_startTick > m_options.timeoutSeconds * 1000) {
        Report("TandrelDemo: headless run timed out at step %ld\n", static_cast<LONG>(m_step));
        m_exitCode = 1;
        m_step = DriverStep::Done;
        PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
        return;
    }
    switch (m_step) {
    case DriverStep::OpenCustomDialog:
        PostMessageA(m_band.Window(), WM_COMMAND, ID_REFRESH_CUSTOM, 0);
        m_step = DriverStep::FillCustomDialog;
        break;
    case DriverStep::FillCustomDialog: {
        const HWND dialog = FindWindowA(nullptr, "Refresh Settings");
        if (!dialog)
            break;
        const HWND field = GetDlgItem(dialog, IDC_INTERVAL);
        for (char c : m_options.interval)
            SendMessageA(field, WM_CHAR, static_cast<WPARAM>(c), 0);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        m_step = DriverStep::AwaitRefreshes;
        break;
    }
    case DriverStep::AwaitRefreshes:
        if (m_pages.Loads() > m_options.refreshes) {
            RestPointerOnBand();
            m_step = DriverStep::AwaitTooltip;
        }
        break;
    case DriverStep::AwaitTooltip:
        if (TooltipShown()) {
            ReportPlace();
            Report("ready: the page has been received %ld times\n", m_pages.Loads());
            m_step = DriverStep::HoldForScreenshot;
        }
        break;
    case DriverStep::HoldForScreenshot:
        if (m_options.holdUntil.empty() || GetFileAttributesA(m_options.holdUntil.c_str()) != INVALID_FILE_ATTRIBUTES) {
            m_step = DriverStep::Done;
            PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
        }
        break;
    case DriverStep::Done:
        break;
    }
}

LRESULT CALLBACK CDemoHost::HostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        CDemoHost* host = static_cast<CDemoHost*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    CDemoHost* host = reinterpret_cast<CDemoHost*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!host)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        return host->CreateChildren(hwnd) ? 0 : -1;
    case WM_SIZE:
        if (host->m_band.Band())
            host->Layout();
        return 0;
    case WM_TIMER:
        if (wParam == kDriverTimer)
            host->DriveHeadlessRun();
        return 0;
    case WM_CLOSE:
        host->CloseBandAndBrowser();
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(host->m_exitCode);
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

int CDemoHost::Run()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

} // namespace

int main(int argc, char** argv)
{
    const DemoOptions options = ParseOptions(argc, argv);
    SetProcessDPIAware();
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_COOL_CLASSES};
    InitCommonControlsEx(&controls);
    // The control's in-place activation needs OLE, not COM alone.
    OleInitialize(nullptr);
    int exitCode = 1;
    {
        CDemoHost host(options);
        if (host.Create(GetModuleHandleA(nullptr)))
            exitCode = host.Run();
    }
    OleUninitialize();
    return exitCode;
}
