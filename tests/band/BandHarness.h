#pragma once
#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "host/HostBrowser.h"
#include "host/HostSite.h"
#include "host/HostedBand.h"
#include "host/TandrelLibrary.h"
#include "support/Owners.h"
#include "tests/common/HostObjects.h"

// The Tandrel.DLL of the test program, loaded once; its DrawTextA, SetTimer,
// KillTimer and GetClassInfoA imports are watched, and its GetProcAddress
// import may answer for the system (see the spies below).
CTandrelLibrary& Tandrel();

// A new band straight from the class factory.
CInterfacePtr<IDeskBand> NewBand();

template <typename T>
CInterfacePtr<T> QueryBand(IUnknown* band, REFIID riid)
{
    CInterfacePtr<T> face;
    band->QueryInterface(riid, face.ReceiveVoid());
    return face;
}

// The visible top-level window standing in for the browser's toolbar area,
// made once for the whole program: under Xvfb, without a window manager, the
// X11 driver waits two seconds for every visible top-level window it hides.
HWND TestParentWindow();

// A band hosted in a test window with the stand-in browser and its site.
class CBandHarness {
public:
    explicit CBandHarness(DWORD siteFaces = kSiteAllFaces);
    ~CBandHarness();

    // SetSite, GetBandInfo and ShowDW(TRUE) on a new band.
    HRESULT Open();
    // ShowDW(FALSE), CloseDW, SetSite(NULL) and Release.
    void Close() { m_band.Close(); }

    IDeskBand* Band() const { return m_band.Band(); }
    // The band info of Open, or of the last FetchInfo.
    const DESKBANDINFO& Info() const { return m_band.Info(); }
    HRESULT FetchInfo() { return m_band.FetchInfo(); }
    HWND BandWindow() const { return m_band.Window(); }
    HWND Parent() const { return TestParentWindow(); }
    CHostBrowser& Browser() const { return *m_browser.Get(); }
    CHostSite& Site() const { return *m_site.Get(); }
    IUnknown* SiteUnknown() const { return static_cast<IOleWindow*>(m_site.Get()); }

    // A menu command as TrackPopupMenu delivers it.
    void Command(WORD id) const;

private:
    CInterfacePtr<CHostBrowser> m_browser;
    CInterfacePtr<CHostSite> m_site;
    CHostedBand m_band;
};

// Message pumping on the test thread, which owns every band window.
void PumpFor(DWORD milliseconds);
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMilliseconds);

// Runs action once on the test thread after delay milliseconds, from the
// first message loop that runs then: a dialog's or a menu's that the band
// opens meanwhile, as a host's own timers or messages would.
void RunFromTimer(UINT delay, std::function<void()> action);

// ---- Spies on the DLL's imports

struct DrawTextCall {
    HWND window;
    std::string text;
    RECT rect;
    UINT format;
    COLORREF textColor;
    int bkMode;
};

struct TimerCall {
    bool set; // SetTimer, else KillTimer
    HWND window;
    UINT_PTR id;
    UINT period;
};

std::vector<DrawTextCall>& DrawTextCalls();
// The DLL's next GetClassInfoA call finds no class, as when a band on another
// thread registers the window class just after the band has looked.
void MissNextClassLookup();
std::vector<TimerCall>& TimerCalls();

// While it lives, the DLL's look-up of GetDpiForWindow finds a stand-in that
// answers dpi for every window, as for windows on a screen of that scale; with
// dpi 0 it finds none, as on a system before Windows 10.
class CWindowDpiAnswer {
public:
    explicit CWindowDpiAnswer(UINT dpi) { Answer(dpi); }
    ~CWindowDpiAnswer();
    CWindowDpiAnswer(const CWindowDpiAnswer&) = delete;
    CWindowDpiAnswer& operator=(const CWindowDpiAnswer&) = delete;

    void Answer(UINT dpi);
};

// Repaints the band window and returns the text its WM_PAINT drew (empty
// when it drew none).
std::string PaintedText(HWND band);

// A window's text in the ANSI code page, read without sending it a message
// (so that a window of a thread blocked in a modal loop answers too).
std::string WindowText(HWND hwnd);

// ---- The time-left tooltip

// Rests the pointer on the middle of the band and returns the band's
// tooltip once it shows (null when none shows within five seconds).
HWND PointAtBand(HWND band);
// Moves the pointer off the band; true once tip is hidden.
bool PointAwayFrom(HWND tip);
// The text the tooltip holds for the band.
std::string TipText(HWND tip, HWND band);

// ---- Pixels

// The client area of a window as it is on the screen, one 0x00RRGGBB value
// per pixel.
std::vector<DWORD> CaptureClient(HWND hwnd);
// The same area painted the way the band paints text: the button face
// colour, black text, one centred line.
std::vector<DWORD> RenderBandText(const char* text, SIZE size);
SIZE ClientSize(HWND hwnd);
// The smallest rectangle holding every pixel that is not the button face
// colour (empty when there is none).
RECT InkBounds(const std::vector<DWORD>& pixels, SIZE size);

// ---- The user, played from a second thread while the test thread sits in
// a modal loop of the band

class CUser {
public:
    explicit CUser(DWORD uiThreadId) : m_uiThreadId(uiThreadId) {}

    // A visible top-level window of the UI thread with this title and window
    // class, or null after timeout.
    HWND WaitForWindow(const char* title, const char* className = "#32770", DWORD timeout = 5000) const;
    void Type(HWND dialog, int controlId, const std::string& text) const;
    void PressKey(HWND dialog, int controlId, UINT virtualKey) const;
    void Click(HWND dialog, int buttonId) const;
    void CloseBox(HWND dialog) const;
    // The message of a message box, its owner and whether it shows the error
    // icon.
    std::string MessageText(HWND box) const;
    bool ShowsErrorIcon(HWND box) const;
    // Whether the window is gone within timeout.
    bool WaitUntilGone(HWND hwnd, DWORD timeout = 5000) const;
    DWORD UiThreadId() const { return m_uiThreadId; }

private:
    DWORD m_uiThreadId;
};

// Runs script as the user on its own thread for the lifetime of the object.
class CUserThread {
public:
    explicit CUserThread(std::function<void(const CUser&)> script);
    ~CUserThread();
    CUserThread(const CUserThread&) = delete;
    CUserThread& operator=(const CUserThread&) = delete;

private:
    static DWORD WINAPI Play(LPVOID parameter);

    HANDLE m_hThread;
    std::function<void(const CUser&)> m_script;
    CUser m_user;
};

// Sends command to the band window, which blocks in the modal dialog it
// opens while script plays the user.
void CommandWithUser(HWND band, WORD command, std::function<void(const CUser&)> script);

// Opens the custom interval dialog, types entry and presses Enter; true when
// the dialog closed.
bool ChooseCustomInterval(HWND band, const std::string& entry);

// ---- Resource counts of the process, for leak checks

struct ProcessResourceCounts {
    DWORD userObjects;   // GetGuiResources; Wine reports 0
    DWORD gdiObjects;    // GetGuiResources; Wine reports 0
    LONG windows;        // every window of the process
    LONG menuHandles;    // live menu handles found by probing the handle table
    LONG gdiHandles;     // live GDI handles found by probing the handle table
    SIZE_T heapBytes;    // busy bytes in every heap of the process
};

ProcessResourceCounts CountProcessResources();
