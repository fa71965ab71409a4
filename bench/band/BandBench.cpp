// How quickly a band shows up, and how well its timer keeps time.
//
//   BandBench [--trials N] [--interval SECONDS] [--ticks N]
//
// 1. Time to first paint: from DllGetClassObject through CreateInstance,
//    SetSite, GetBandInfo and ShowDW to the end of the band's first WM_PAINT.
//    The first trial is cold (class factory made, window class registered);
//    the rest are warm.
// 2. Timer accuracy: an interval chosen through the band's own custom dialog,
//    then the times between consecutive refreshes over a number of ticks.
#include <windows.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TandrelLib.h"
#include "host/HostBrowser.h"
#include "host/HostSite.h"
#include "host/HostedBand.h"
#include "host/TandrelLibrary.h"
#include "resources/resource.h"
#include "support/Owners.h"
#include "tests/common/HostObjects.h"

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

void BenchTimer(const CTandrelLibrary& library, HWND parent, const BenchOptions& options)
{
    CInterfacePtr<CHostBrowser> browser = MakeHostObject<CHostBrowser>();
    CInterfacePtr<CHostSite> site = MakeHostObject<CHostSite>(parent, browser.Get());
    CInterfacePtr<IDeskBand> band;
    CHostedBand hosted;
    if (FAILED(library.CreateBand(IID_IDeskBand, band.ReceiveVoid())) ||
        FAILED(hosted.Open(band.Detach(), static_cast<IOleWindow*>(site.Get())))) {
        printf("timer: the band could not be shown\n");
        return;
    }
    g_interval = options.interval;
    SetTimer(nullptr, 0, 20, FillCustomDialog);
    SendMessageA(hosted.Window(), WM_COMMAND, ID_REFRESH_CUSTOM, 0);
    if (!g_dialogFilled) {
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

} // namespace

int main(int argc, char** argv)
{
    const BenchOptions options = ParseOptions(argc, argv);
    CTandrelLibrary library;
    if (!library.IsLoaded()) {
        printf("BandBench: Tandrel.DLL could not be loaded\n");
        return 1;
    }
    const HWND parent = CreateHostWindow();
    Pump();
    BenchFirstPaint(library, parent, options.trials);
    BenchTimer(library, parent, options);
    return 0;
}
