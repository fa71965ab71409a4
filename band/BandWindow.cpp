#include "band/BandWindow.h"

#include <new>
#include <utility>

#include "band/BandDialogs.h"
#include "band/PopupMenu.h"
#include "band/RememberedInterval.h"
#include "resources/resource.h"
#include "server/Module.h"
#include "support/CriticalSection.h"

namespace {

const char kWindowClassName[] = "tandrel 1.0 class";
// The refresh timer's identifier on the band window.
const UINT_PTR IDT_REFRESH = 1;
const UINT kTextFormat = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
const UINT kRepaintNow = RDW_INVALIDATE | RDW_ERASE | RDW_ERASENOW;
// Pixels between the border and the focus rectangle.
const int kFocusInset = 2;
// Registered messages come from the range 0xC000 to 0xFFFF.
const UINT kFirstRegisteredMessage = 0xC000;
// What a child window hears when it has moved to a screen of another scale
// (Windows 10 1607 on; the headers name it for that version only).
const UINT kDpiChangedAfterParent = 0x02E3;

// The interval each fixed menu command sets.
struct FixedInterval {
    WORD command;
    LONG seconds;
};

const FixedInterval kFixedIntervals[] = {
    {ID_REFRESH_10SEC, 10}, {ID_REFRESH_15SEC, 15}, {ID_REFRESH_20SEC, 20},  {ID_REFRESH_30SEC, 30},
    {ID_REFRESH_1MIN, 60},  {ID_REFRESH_2MIN, 120}, {ID_REFRESH_5MIN, 300}, {ID_REFRESH_10MIN, 600},
};

// Left registered, the class would outlive the module with a window
// procedure in the unloaded image, and a later load at the same address
// would find it and create its band windows with that procedure. The module
// unloads only when no band, and so no band window, is left.
void WINAPI UnregisterBandWindowClass(DWORD_PTR hInstance)
{
    UnregisterClassA(kWindowClassName, reinterpret_cast<HINSTANCE>(hInstance));
}

bool RegisterBandWindowClass(HINSTANCE hInstance)
{
    WNDCLASSA existing;
    if (GetClassInfoA(hInstance, kWindowClassName, &existing))
        return true;
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = CBandWindow::BandWindowProc;
    windowClass.hInstance = hInstance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClassName;
    // A band on another thread may have registered the class since the
    // check; it is then there to use, and that band sees to its end.
    if (!RegisterClassA(&windowClass))
        return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    // A class the module could not take back at unload is not left behind.
    if (FAILED(g_pModule->AddTermFunction(UnregisterBandWindowClass, reinterpret_cast<DWORD_PTR>(hInstance)))) {
        UnregisterClassA(kWindowClassName, hInstance);
        return false;
    }
    return true;
}

// The system font, which every device context starts with, as the system
// would make it at the window's DPI.
HFONT CreateBandFont(HWND hwnd)
{
    LOGFONTA font = {};
    GetObjectA(GetStockObject(SYSTEM_FONT), sizeof(font), &font);
    return CreateFontForWindow(&font, hwnd);
}

void ShowError(LPCSTR message)
{
    MessageBoxA(nullptr, message, "Tandrel", MB_ICONERROR);
}

// The module's band windows and the object of each. The window procedure
// finds a window's object here and nowhere else: a window's user data and
// extra bytes belong to its class, and any program on the desktop may write
// them (SetWindowLongPtr), so they never lead to an object. A window the
// system has destroyed stays listed until its object lets go of it; a later
// window with the same handle is listed before it.
class CLiveBandWindows {
public:
    CLiveBandWindows() { m_lock.Init(); }
    CLiveBandWindows(const CLiveBandWindows&) = delete;
    CLiveBandWindows& operator=(const CLiveBandWindows&) = delete;

    void Enter(LiveBandWindow& entry, HWND hwnd)
    {
        CCriticalSectionLock lock(m_lock);
        entry.hwnd = hwnd;
        entry.pNext = m_pHead;
        m_pHead = &entry;
    }

    void Leave(LiveBandWindow& entry)
    {
        CCriticalSectionLock lock(m_lock);
        for (LiveBandWindow** link = &m_pHead; *link; link = &(*link)->pNext) {
            if (*link == &entry) {
                *link = entry.pNext;
                break;
            }
        }
        entry = {nullptr, entry.window, nullptr};
    }

    // Each object is only ever removed on its window's thread, where its
    // messages come, so the object found stays while its message is handled.
    CBandWindow* Find(HWND hwnd)
    {
        CCriticalSectionLock lock(m_lock);
        for (const LiveBandWindow* entry = m_pHead; entry; entry = entry->pNext) {
            if (entry->hwnd == hwnd)
                return entry->window;
        }
        return nullptr;
    }

private:
    CSafeCriticalSection m_lock;
    LiveBandWindow* m_pHead = nullptr;
};

CLiveBandWindows g_liveWindows;

bool IsBandWindowClass(HWND hwnd)
{
    CHAR className[sizeof(kWindowClassName) + 1] = "";
    return GetClassNameA(hwnd, className, sizeof(className)) && lstrcmpiA(className, kWindowClassName) == 0;
}

// Space, Enter, F4, Alt+Down, Shift+F10 and the Applications key; a key
// held down opens the menu once.
bool OpensMenu(UINT message, WPARAM key, LPARAM lParam)
{
    if (HIWORD(lParam) & KF_REPEAT)
        return false;
    if (message == WM_SYSKEYDOWN)
        return (key == VK_DOWN && (HIWORD(lParam) & KF_ALTDOWN)) || (key == VK_F10 && GetKeyState(VK_SHIFT) < 0);
    return key == VK_SPACE || key == VK_RETURN || key == VK_F4 || key == VK_APPS;
}

// Space and Enter have queued a character by now, which the menu would
// take as a mnemonic that matches nothing.
void DropTypedCharacter(HWND hwnd)
{
    MSG typed;
    PeekMessageA(&typed, hwnd, WM_CHAR, WM_CHAR, PM_REMOVE);
}

} // namespace

// ---- The window and its object

// The object joins its window once the window exists: it is never taken from
// a creation parameter, which a WM_NCCREATE sent by anyone could forge.
BOOL CBandWindow::CreateBandWindow(HWND hWndParent)
{
    const HINSTANCE hInstance = ModuleInstance();
    if (!RegisterBandWindowClass(hInstance)) {
        ShowError("Could not register window class.");
        return FALSE;
    }
    RECT area = {};
    GetClientRect(hWndParent, &area);
    const HWND hwnd = CreateWindowExA(WS_EX_DLGMODALFRAME, kWindowClassName, "", WS_CHILD | WS_CLIPSIBLINGS | WS_BORDER,
                                      area.left, area.top, area.right - area.left, area.bottom - area.top, hWndParent,
                                      nullptr, hInstance, nullptr);
    if (!hwnd) {
        ShowError("Could not create window.");
        return FALSE;
    }
    Attach(hwnd);
    return TRUE;
}

void CBandWindow::Destroy()
{
    if (!m_hWnd)
        return;
    const HWND live = Handle();
    Detach();
    if (live)
        DestroyWindow(live);
}

void CBandWindow::Show(BOOL fShow) const
{
    if (const HWND hwnd = Handle())
        ShowWindow(hwnd, fShow ? SW_SHOW : SW_HIDE);
}

void CBandWindow::Close()
{
    const HWND hwnd = Handle();
    if (!hwnd)
        return;
    m_bClosing = true;
    SendMessageA(hwnd, WM_CLOSE, 0, 0);
    m_bClosing = false;
}

// SetFocus(NULL) would take the focus from the host, so a band without a
// window leaves it alone.
void CBandWindow::TakeFocus() const
{
    if (const HWND hwnd = Handle())
        SetFocus(hwnd);
}

// No message tells the band that the system has destroyed its window (one
// saying so may come from anyone), so it asks the system. A handle the
// system has given to another window since is not taken for its own: another
// band's window is listed before it, any other window is of another class.
bool CBandWindow::IsOwnLiveWindow() const
{
    return m_hWnd && IsWindow(m_hWnd) && g_liveWindows.Find(m_hWnd) == this && IsBandWindowClass(m_hWnd);
}

// Without memory for the link the window simply has no accessible object of
// its own.
void CBandWindow::Attach(HWND hwnd)
{
    m_hWnd = hwnd;
    g_liveWindows.Enter(m_live, hwnd);
    BandPopupMenu::LoadForNewWindow(ModuleInstance());
    FitToDpi();
    m_pAccessLink = CInterfacePtr<CBandAccessLink>::Adopt(new (std::nothrow) CBandAccessLink(this));
}

// From here on the handle may be reused by another window, so the object
// forgets it.
void CBandWindow::Detach()
{
    g_liveWindows.Leave(m_live);
    m_hWnd = nullptr;
    m_bMenuRequested = false;
    m_tip.Destroy();
    m_font.Reset();
    if (m_pAccessLink)
        m_pAccessLink->Cut();
    m_pAccessLink.Reset();
    BandPopupMenu::ReleaseForClosedWindow();
}

// Every message here is a request that any program on the desktop may send or
// post, with any parameters: never a place to write, a pointer to follow or a
// lifetime event, unless the system itself built it on the band's thread for
// this call. So the band writes through no parameter, reads none as a
// pointer, and ends its window only by its own calls (CloseDW, its
// destruction) or when the system has really destroyed it. The messages, what
// they carry and why each is safe: docs/window-messages.md.
LRESULT CALLBACK CBandWindow::BandWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (CBandWindow* window = g_liveWindows.Find(hwnd))
        return window->Dispatch(message, wParam, lParam);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CBandWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST)
        m_tip.Relay(m_hWnd, message, wParam, lParam);
    switch (message) {
    case WM_PAINT:
        return OnPaint();
    case WM_LBUTTONUP:
        return OnLeftButtonUp();
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam));
    case WM_TIMER:
        return OnTimer(wParam);
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        return OnKeyDown(message, wParam, lParam);
    case WM_CONTEXTMENU:
        return OnContextMenu(wParam, lParam);
    case WM_GETOBJECT:
        return OnGetObject(wParam, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        return OnFocusChange(message == WM_SETFOCUS);
    case WM_CLOSE:
        return OnClose();
    case WM_DPICHANGED:
    case kDpiChangedAfterParent:
        return OnDpiChanged();
    }
    if (message >= kFirstRegisteredMessage)
        return OnRegisteredMessage(message, wParam, lParam);
    return Default(message, wParam, lParam);
}

LRESULT CBandWindow::Default(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return DefWindowProcA(m_hWnd, message, wParam, lParam);
}

// A dialog's message loop, or the browser's own during a refresh, may let go
// of the band; the band stays alive until the command or the tick is done.
CInterfacePtr<IUnknown> CBandWindow::HoldOwner() const
{
    return CInterfacePtr<IUnknown>::Share(m_owner.Unknown());
}

// ---- Message handlers

LRESULT CBandWindow::OnPaint() const
{
    CHAR text[kBandTextCapacity];
    m_schedule.FormatBandText(text);
    PAINTSTRUCT paint;
    const HDC hdc = BeginPaint(m_hWnd, &paint);
    RECT client;
    GetClientRect(m_hWnd, &client);
    SetTextColor(hdc, RGB(0, 0, 0));
    // The class brush (the button face colour) shows behind the text.
    SetBkMode(hdc, TRANSPARENT);
    const HGDIOBJ contextFont = m_font ? SelectObject(hdc, m_font.Get()) : nullptr;
    DrawTextA(hdc, text, -1, &client, kTextFormat);
    if (GetFocus() == m_hWnd) {
        const BandDpi dpi = Dpi();
        InflateRect(&client, -ScaledPixels(kFocusInset, dpi.x), -ScaledPixels(kFocusInset, dpi.y));
        DrawFocusRect(hdc, &client);
    }
    // A font still selected into a context could not be deleted.
    if (contextFont)
        SelectObject(hdc, contextFont);
    EndPaint(m_hWnd, &paint);
    return 0;
}

LRESULT CBandWindow::OnLeftButtonUp() const
{
    POINT cursor = {};
    GetCursorPos(&cursor);
    BandPopupMenu::Track(m_hWnd, cursor);
    return 0;
}

// The countdown starts afresh after every command but About, even when the
// setting did not change. A dialog's loop may have seen the window replaced
// or gone, so everything after it works on the window of now.
LRESULT CBandWindow::OnCommand(WORD command)
{
    const CInterfacePtr<IUnknown> keepAlive = HoldOwner();
    if (command == ID_ABOUT) {
        DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(IDD_ABOUTBOX), m_hWnd, AboutDialogProc, 0);
        return 0;
    }
    const LONG before = m_schedule.Interval();
    RunCommand(command);
    const HWND hwnd = Handle();
    if (m_schedule.Interval() != before && hwnd)
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, hwnd, OBJID_CLIENT, CHILDID_SELF);
    RestartTimerAndRepaint();
    return 0;
}

LRESULT CBandWindow::OnTimer(UINT_PTR timerId)
{
    if (timerId == CTimeLeftTip::kCountdownTimer)
        m_tip.OnCountdownTick(m_hWnd);
    if (timerId == IDT_REFRESH)
        RefreshOnTick();
    return 0;
}

LRESULT CBandWindow::OnKeyDown(UINT message, WPARAM key, LPARAM lParam)
{
    if (!OpensMenu(message, key, lParam))
        return Default(message, key, lParam);
    DropTypedCharacter(m_hWnd);
    OpenMenuBelow();
    return 0;
}

// The keyboard's request (Shift+F10, the Applications key) has opened the
// menu on its key already; a mouse's goes on as before.
LRESULT CBandWindow::OnContextMenu(WPARAM wParam, LPARAM lParam)
{
    if (lParam == -1)
        return 0;
    return Default(WM_CONTEXTMENU, wParam, lParam);
}

LRESULT CBandWindow::OnGetObject(WPARAM wParam, LPARAM lParam)
{
    if (const LRESULT answer = AnswerBandGetObject(m_hWnd, wParam, lParam, m_pAccessLink.Get()))
        return answer;
    return Default(WM_GETOBJECT, wParam, lParam);
}

LRESULT CBandWindow::OnFocusChange(BOOL fGained)
{
    InvalidateRect(m_hWnd, nullptr, TRUE);
    m_owner.FocusChanged(fGained);
    return 0;
}

// Only the band's own close ends its window, as the default handling would;
// one from anyone else is not acted on.
LRESULT CBandWindow::OnClose()
{
    if (m_bClosing && !InSendMessage())
        Destroy();
    return 0;
}

// Of the registered messages only the band's own request to open its menu
// is acted on, and only when the band made it; any other goes on as any
// other window would take it.
LRESULT CBandWindow::OnRegisteredMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != BandOpenMenuMessage() || InSendMessage() || !std::exchange(m_bMenuRequested, false))
        return Default(message, wParam, lParam);
    OpenMenuBelow();
    return 0;
}

// The new scale is read from the window, never taken from the message, which
// anyone may send. The host hears of it last: its answer may let go of the
// band.
LRESULT CBandWindow::OnDpiChanged()
{
    FitToDpi();
    m_tip.Rescale(m_hWnd);
    InvalidateRect(m_hWnd, nullptr, TRUE);
    m_owner.BandInfoChanged();
    return 0;
}

// ---- Commands

void CBandWindow::RunCommand(WORD command)
{
    for (const FixedInterval& fixed : kFixedIntervals) {
        if (fixed.command == command)
            m_schedule.SetInterval(fixed.seconds);
    }
    switch (command) {
    case ID_REFRESH_CUSTOM:
        ChooseCustomInterval();
        break;
    case ID_REFRESH_OFF:
        m_schedule.TurnOff();
        StopRefreshTimer();
        break;
    case ID_REMEMBER_SETTINGS:
        RememberInterval(m_schedule.Interval());
        break;
    }
}

void CBandWindow::ChooseCustomInterval()
{
    const LONG chosen = AskForInterval(ModuleInstance(), m_hWnd);
    if (chosen != kNoIntervalAnswer)
        m_schedule.SetInterval(chosen);
}

// A timer set on no window would be a thread timer nobody ever stops, and a
// redraw of no window repaints the desktop.
void CBandWindow::RestartTimerAndRepaint()
{
    const HWND hwnd = Handle();
    if (!hwnd)
        return;
    if (m_schedule.IsOn()) {
        KillTimer(hwnd, IDT_REFRESH);
        SetTimer(hwnd, IDT_REFRESH, m_schedule.Period(), nullptr);
        m_schedule.Restart(GetTickCount());
    }
    m_tip.ShowTimeLeft(hwnd);
    RedrawWindow(hwnd, nullptr, nullptr, kRepaintNow);
}

// A tick is a request like any other message, and anyone may post one: while
// refreshing is off it refreshes nothing. The browser's refresh may run a
// message loop of its own (a prompt to send a form again, a page's dialog),
// through which ticks keep coming; those refresh nothing either, and the tick
// after the refresh has returned refreshes again. Without a browser a tick
// has nothing to refresh.
void CBandWindow::RefreshOnTick()
{
    if (!m_schedule.IsOn())
        return;
    m_schedule.Restart(GetTickCount());
    m_tip.ShowTimeLeft(m_hWnd);
    if (m_bRefreshing)
        return;
    const CInterfacePtr<IUnknown> keepAlive = HoldOwner();
    m_bRefreshing = true;
    m_owner.RefreshBrowser();
    m_bRefreshing = false;
}

void CBandWindow::ApplyInterval(LONG nInterval)
{
    m_schedule.SetInterval(nInterval);
    RestartTimerAndRepaint();
}

void CBandWindow::StopRefreshTimer() const
{
    if (const HWND hwnd = Handle())
        KillTimer(hwnd, IDT_REFRESH);
}

// The keyboard's menu hangs from the band's lower-left corner.
void CBandWindow::OpenMenuBelow() const
{
    RECT window = {};
    GetWindowRect(m_hWnd, &window);
    BandPopupMenu::Track(m_hWnd, {window.left, window.bottom});
}

void CBandWindow::FitToDpi()
{
    m_font.Reset(CreateBandFont(m_hWnd));
}

// ---- What the accessible objects ask

void CBandWindow::FormatBandText(CHAR (&text)[kBandTextCapacity]) const
{
    m_schedule.FormatBandText(text);
}

// Posted: the menu's modal loop must not hold up the caller.
bool CBandWindow::RequestMenu()
{
    const HWND hwnd = Handle();
    if (!hwnd || !PostMessageA(hwnd, BandOpenMenuMessage(), 0, 0))
        return false;
    m_bMenuRequested = true;
    return true;
}
