// How quickly a band shows up, how well its timer keeps time, and how soon
// a refresh reaches a web server through the platform's browser.
//
//   BandBench [--trials N] [--interval SECONDS] [--ticks N]
//
// 1. Time to first paint: from DllGetClassObject through CreateInstance,
//    SetSite, GetBandInfo and ShowDW to the end of the band's first WM_PAINT.
//    The first trial is cold (class factory made, window class registered);
//    the rest are warm.
// 2. Timer accuracy: an interval chosen through the band's own custom dialog,
//    then the times between consecutive refreshes over a number of ticks.
// 3. Tick to request: the platform's WebBrowser control as the band's
//    browser, showing a page of the host's own content type from a server on
//    the loopback address; from each tick of the band's timer taken from the
//    queue to the server's reading the page's request line. The first
//    refresh of the process sets up the download machinery.
#include <windows.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TandrelLib.h"
#include "host/BrowserControl.h"
#include "host/HostBrowser.h"
#include "host/HostSite.h"
#include "host/HostedBand.h"
#include "host/PageDocument.h"
#include "host/TandrelLibrary.h"
#include "resources/resource.h"
#include "support/Owners.h"
#include "tests/common/HostObjects.h"
#include "tests/common/LoopbackHttpServer.h"

namespace {

struct BenchOptions {
    int trials = 200;
    std::string interval = "1";
    int ticks = 10;
};

BenchOptions ParseOptions(int argc, char** argv)
{
    BenchOptions options;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!strcmp(argv[i], "--trials"))
            options.trials = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--interval"))
            options.interval = argv[++i];
        else if (!strcmp(argv[i], "--ticks"))
            options.ticks = atoi(argv[++i]);
    }
    return options;
}

HWND CreateHostWindow()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "TandrelBenchHost";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, windowClass.lpszClassName, "Tandrel bench host", WS_POPUP | WS_BORDER | WS_VISIBLE,
                           60, 60, 420, 40, nullptr, nullptr, windowClass.hInstance, nullptr);
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Milliseconds from DllGetClassObject to the end of the first paint; a
// negative value when the band could not be shown.
double TimeToFirstPaint(const CTandrelLibrary& library, IUnknown* site, CHostedBand& hosted)
{
    const double start = HostClockMilliseconds();
    CInterfacePtr<IClassFactory> factory;
    CInterfacePtr<IDeskBand> band;
    if (FAILED(library.GetClassObject(CLSID_RefresherBand, IID_IClassFactory, factory.ReceiveVoid())) ||
        FAILED(factory->CreateInstance(nullptr, IID_IDeskBand, band.ReceiveVoid())) ||
        FAILED(hosted.Open(band.Detach(), site)))
        return -1;
    const HWND hwnd = hosted.Window();
    if (!GetUpdateRect(hwnd, nullptr, FALSE))
        return -1;
    UpdateWindow(hwnd);
    return HostClockMilliseconds() - start;
}

void BenchFirstPaint(const CTandrelLibrary& library, HWND parent, int trials)
{
    CInterfacePtr<CHostBrowser> browser = MakeHostObject<CHostBrowser>();
    CInterfacePtr<CHostSite> site = MakeHostObject<CHostSite>(parent, browser.Get());
    std::vector<double> times;
    for (int i = 0; i < trials; ++i) {
        CHostedBand hosted;
        const double time = TimeToFirstPaint(library, static_cast<IOleWindow*>(site.Get()), hosted);
        if (time < 0) {
            printf("first paint: the band could not be shown\n");
            return;
        }
        times.push_back(time);
        hosted.Close();
        Pump();
    }
    const double cold = times.front();
    std::vector<double> warm(times.begin() + 1, times.end());
    std::sort(warm.begin(), warm.end());
    printf("first paint: cold %.3f ms; warm median %.3f ms, min %.3f ms, 95th percentile %.3f ms (%d trials)\n", cold,
           warm[warm.size() / 2], warm.front(), warm[warm.size() * 95 / 100], trials);
}

// The user's part in the custom dialog, from a timer that the dialog's own
// message loop delivers.
std::string g_interval;
bool g_dialogFilled = false;

void CALLBACK FillCustomDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    const HWND dialog = FindWindowA(nullptr, "Refresh Settings");
    if (!dialog)
        return;
    KillTimer(nullptr, timer);
    for (char c : g_interval)
        SendMessageA(GetDlgItem(dialog, IDC_INTERVAL), WM_CHAR, static_cast<BYTE>(c), 1);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    g_dialogFilled = true;
}

HRESULT OpenBand(const CTandrelLibrary& library, CHostSite* site, CHostedBand& hosted)
{
    CInterfacePtr<IDeskBand> band;
    HRESULT hr = library.CreateBand(IID_IDeskBand, band.ReceiveVoid());
    if (SUCCEEDED(hr))
        hr = hosted.Open(band.Detach(), static_cast<IOleWindow*>(site));
    return hr;
}

// True when the band's custom dialog took the interval.
bool ChooseInterval(HWND band, const std::string& interval)
{
    g_interval = interval;
    g_dialogFilled = false;
    SetTimer(nullptr, 0, 20, FillCustomDialog);
    SendMessageA(band, WM_COMMAND, ID_REFRESH_CUSTOM, 0);
    return g_dialogFilled;
}

void BenchTimer(const CTandrelLibrary& library, HWND parent, const BenchOptions& options)
{
    CInterfacePtr<CHostBrowser> browser = MakeHostObject<CHostBrowser>();
    CInterfacePtr<CHostSite> site = MakeHostObject<CHostSite>(parent, browser.Get());
    CHostedBand hosted;
    if (FAILED(OpenBand(library, site.Get(), hosted))) {
        printf("timer: the band could not be shown\n");
        return;
    }
    if (!ChooseInterval(hosted.Window(), options.interval)) {
        printf("timer: the custom dialog did not take the interval\n");
        return;
    }
    const double chosen = HostClockMilliseconds();
    const double period = atof(options.interval.c_str()) * 1000.0;
    const double deadline = chosen + period * (options.ticks + 2);
    while (browser->RefreshCount() < options.ticks && HostClockMilliseconds() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        Pump();
    }
    const std::vector<double>& times = browser->RefreshTimes();
    if (static_cast<int>(times.size()) < options.ticks) {
        printf("timer: only %u of %d ticks came\n", static_cast<unsigned>(times.size()), options.ticks);
        return;
    }
    double previous = chosen;
    double sum = 0;
    double worst = 0;
    double squares = 0;
    for (int i = 0; i < options.ticks; ++i) {
        const double gap = times[i] - previous;
        previous = times[i];
        sum += gap;
        squares += (gap - period) * (gap - period);
        worst = std::max(worst, fabs(gap - period));
    }
    printf("timer: interval %.0f ms over %d ticks: mean period %.2f ms, worst deviation %.2f ms, "
           "rms deviation %.2f ms, drift after %d ticks %+.2f ms\n",
           period, options.ticks, sum / options.ticks, worst, sqrt(squares / options.ticks), options.ticks,
           times[options.ticks - 1] - chosen - period * options.ticks);
}

const char kBenchPageType[] = "application/x-tandrel-bench-page";

// Pumps until pages have been received count times or the deadline passes.
bool AwaitPages(const CPageDocumentClass& pages, LONG count, double deadline)
{
    while (pages.Loads() < count && HostClockMilliseconds() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        Pump();
    }
    return pages.Loads() >= count;
}

// Pumps until count refresh ticks of band have been taken from the queue or
// the deadline passes; the time of each.
std::vector<double> TickTimes(HWND band, int count, double deadline)
{
    std::vector<double> ticks;
    while (static_cast<int>(ticks.size()) < count && HostClockMilliseconds() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == band && msg.message == WM_TIMER && msg.wParam == 1)
                ticks.push_back(HostClockMilliseconds());
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return ticks;
}

void BenchTickToRequest(const CTandrelLibrary& library, HWND parent, const BenchOptions& options)
{
    CLoopbackHttpServer server(std::map<std::string, std::string>{{"/page", kBenchPageType}});
    CPageDocumentClass pages;
    CBrowserControl control;
    RECT place;
    GetClientRect(parent, &place);
    const double start = HostClockMilliseconds();
    if (!server.IsListening() || FAILED(pages.Register(kBenchPageType)) || FAILED(control.Create(parent, place)) ||
        FAILED(control.Navigate(server.Url("/page"))) || !AwaitPages(pages, 1, start + 30000)) {
        printf("tick to request: the browser control did not show the page\n");
        return;
    }
    CInterfacePtr<CHostSite> site = MakeHostObject<CHostSite>(parent, control.Browser());
    CHostedBand hosted;
    if (FAILED(OpenBand(library, site.Get(), hosted)) || !ChooseInterval(hosted.Window(), options.interval)) {
        printf("tick to request: the band could not be shown with the interval\n");
        return;
    }
    const double period = atof(options.interval.c_str()) * 1000.0;
    const std::vector<double> ticks =
        TickTimes(hosted.Window(), options.ticks, HostClockMilliseconds() + period * (options.ticks + 2));
    hosted.Close();
    const std::vector<HttpRequest> requests = server.Requests();
    // Each refresh fetches while its tick is handled: request i + 1 answers
    // tick i.
    if (ticks.size() < 2 || requests.size() != ticks.size() + 1) {
        printf("tick to request: %u ticks, %u requests after the first\n", static_cast<unsigned>(ticks.size()),
               static_cast<unsigned>(requests.size() - 1));
        return;
    }
    std::vector<double> times;
    for (size_t i = 0; i < ticks.size(); ++i)
        times.push_back(requests[i + 1].time - ticks[i]);
    const double first = times.front();
    std::vector<double> rest(times.begin() + 1, times.end());
    std::sort(rest.begin(), rest.end());
    printf("tick to request: first %.2f ms; then median %.2f ms, min %.2f ms, max %.2f ms (%u ticks)\n", first,
           rest[rest.size() / 2], rest.front(), rest.back(), static_cast<unsigned>(times.size()));
}

} // namespace

int main(int argc, char** argv)
{
    const BenchOptions options = ParseOptions(argc, argv);
    // The browser control's in-place activation needs OLE.
    OleInitialize(nullptr);
    CTandrelLibrary library;
    if (!library.IsLoaded()) {
        printf("BandBench: Tandrel.DLL could not be loaded\n");
        return 1;
    }
    const HWND parent = CreateHostWindow();
    Pump();
    BenchFirstPaint(library, parent, options.trials);
    BenchTimer(library, parent, options);
    BenchTickToRequest(library, parent, options);
    OleUninitialize();
    return 0;
}
