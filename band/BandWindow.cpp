#include "band/BandAccessible.h"
#include "band/BandDialogs.h"
#include "band/PopupMenu.h"
#include "band/RefreshInterval.h"
#include "band/RefresherBand.h"
#include "resources/resource.h"
#include "server/Module.h"

namespace {

const char kWindowClassName[] = "tandrel 1.0 class";
const UINT kTextFormat = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
const UINT kRepaintNow = RDW_INVALIDATE | RDW_ERASE | RDW_ERASENOW;
const int kTextCapacity = 200;
// Pixels between the border and the focus rectangle.
const int kFocusInset = 2;

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
    windowClass.lpfnWndProc = CRefresherBand::BandWindowProc;
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

// The keyboard's menu hangs from the band's lower-left corner.
void OpenMenuBelow(HWND hwnd)
{
    RECT window = {};
    GetWindowRect(hwnd, &window);
    BandPopupMenu::Track(hwnd, {window.left, window.bottom});
}

void ShowError(LPCSTR message)
{
    MessageBoxA(nullptr, message, "Tandrel", MB_ICONERROR);
}

} // namespace

BOOL CRefresherBand::CreateBandWindow()
{
    const HINSTANCE hInstance = ModuleInstance();
    if (!RegisterBandWindowClass(hInstance)) {
        ShowError("Could not register window class.");
        return FALSE;
    }
    RECT area = {};
    GetClientRect(m_hWndParent, &area);
    CreateWindowExA(WS_EX_DLGMODALFRAME, kWindowClassName, "", WS_CHILD | WS_CLIPSIBLINGS | WS_BORDER, area.left,
                    area.top, area.right - area.left, area.bottom - area.top, m_hWndParent, nullptr, hInstance,
                    this);
    // WM_NCCREATE has stored the handle in m_hWnd.
    if (!m_hWnd) {
        ShowError("Could not create window.");
        return FALSE;
    }
    return TRUE;
}

CRefresherBand* CRefresherBand::FromWindow(HWND hwnd)
{
    return reinterpret_cast<CRefresherBand*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

void CRefresherBand::AttachToWindow(HWND hwnd)
{
    m_hWnd = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

// From here on the handle may be reused by another window, so the band
// forgets it.
void CRefresherBand::DetachFromWindow(HWND hwnd)
{
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    if (m_hWnd == hwnd) {
        m_hWnd = nullptr;
        DestroyTip();
    }
}

LRESULT CALLBACK CRefresherBand::BandWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        if (CRefresherBand* band = static_cast<CRefresherBand*>(create->lpCreateParams))
            band->AttachToWindow(hwnd);
        BandPopupMenu::LoadForNewWindow(ModuleInstance());
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        if (CRefresherBand* band = FromWindow(hwnd))
            band->DetachFromWindow(hwnd);
        BandPopupMenu::ReleaseForClosedWindow();
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }

    CRefresherBand* band = FromWindow(hwnd);
    if (!band)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST)
        band->RelayToTip(hwnd, message, wParam, lParam);

    switch (message) {
    case WM_PAINT:
        band->OnPaint(hwnd);
        return 0;
    case WM_LBUTTONUP: {
        POINT cursor = {};
        GetCursorPos(&cursor);
        BandPopupMenu::Track(hwnd, cursor);
        return 0;
    }
    case WM_COMMAND: {
        // A dialog runs its own message loop, in which the host may let go
        // of the band; the band stays alive until the command is done.
        CInterfacePtr<IDeskBand> keepAlive = CInterfacePtr<IDeskBand>::Share(band);
        return band->OnCommand(hwnd, LOWORD(wParam));
    }
    case WM_TIMER: {
        CInterfacePtr<IDeskBand> keepAlive = CInterfacePtr<IDeskBand>::Share(band);
        band->OnTimer(wParam);
        return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (!OpensMenu(message, wParam, lParam))
            return DefWindowProcA(hwnd, message, wParam, lParam);
        DropTypedCharacter(hwnd);
        OpenMenuBelow(hwnd);
        return 0;
    case WM_CONTEXTMENU:
        // The keyboard's request (Shift+F10, the Applications key) has
        // opened the menu on its key already; a mouse's goes on as before.
        if (lParam == -1)
            return 0;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_GETOBJECT:
        if (const LRESULT answer = AnswerBandGetObject(hwnd, wParam, lParam))
            return answer;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_NOTIFY:
        return band->OnNotify(hwnd, reinterpret_cast<const NMHDR*>(lParam));
    case WM_SETFOCUS:
        InvalidateRect(hwnd, nullptr, TRUE);
        band->OnFocusChange(TRUE);
        return 0;
    case WM_KILLFOCUS:
        InvalidateRect(hwnd, nullptr, TRUE);
        band->OnFocusChange(FALSE);
        return 0;
    default:
        // Registered messages (from the accessible object) come from the
        // range 0xC000 to 0xFFFF.
        if (message >= 0xC000)
            return band->OnRegisteredMessage(hwnd, message, wParam, lParam);
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT CRefresherBand::OnRegisteredMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == BandTextMessage() && wParam >= static_cast<WPARAM>(kTextCapacity)) {
        FormatSetting(reinterpret_cast<LPSTR>(lParam));
        return TRUE;
    }
    if (message == BandOpenMenuMessage()) {
        OpenMenuBelow(hwnd);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void CRefresherBand::FormatSetting(LPSTR text) const
{
    if (m_nInterval == kNoRefresh)
        lstrcpynA(text, "No Refresh", kTextCapacity);
    else
        wsprintfA(text, "Every %d seconds", m_nInterval);
}

void CRefresherBand::OnPaint(HWND hwnd)
{
    CHAR text[kTextCapacity];
    FormatSetting(text);
    PAINTSTRUCT paint;
    const HDC hdc = BeginPaint(hwnd, &paint);
    RECT client;
    GetClientRect(hwnd, &client);
    SetTextColor(hdc, RGB(0, 0, 0));
    // The class brush (the button face colour) shows behind the text.
    SetBkMode(hdc, TRANSPARENT);
    DrawTextA(hdc, text, -1, &client, kTextFormat);
    if (GetFocus() == hwnd) {
        InflateRect(&client, -kFocusInset, -kFocusInset);
        DrawFocusRect(hdc, &client);
    }
    EndPaint(hwnd, &paint);
}

LRESULT CRefresherBand::OnCommand(HWND hwnd, WORD command)
{
    const LONG before = m_nInterval;
    for (const FixedInterval& fixed : kFixedIntervals) {
        if (fixed.command == command)
            m_nInterval = fixed.seconds;
    }
    switch (command) {
    case ID_REFRESH_CUSTOM: {
        // The dialog's result is no answer: a dialog that WM_QUIT ends gives
        // 1 and one destroyed with its top-level owner 0. Only OK with a
        // valid entry stores an interval. The dialog manager puts WM_QUIT
        // back for the host's own loop.
        LONG chosen = kNoRefresh;
        DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(IDD_REFRESHSETTINGS), hwnd, IntervalDialogProc,
                        reinterpret_cast<LPARAM>(&chosen));
        if (chosen != kNoRefresh)
            m_nInterval = chosen;
        break;
    }
    case ID_REFRESH_OFF:
        m_nInterval = kNoRefresh;
        KillTimer(hwnd, IDT_REFRESH);
        break;
    case ID_REMEMBER_SETTINGS:
        SaveSettings();
        break;
    case ID_ABOUT:
        DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(IDD_ABOUTBOX), hwnd, AboutDialogProc, 0);
        return 0;
    }
    if (m_nInterval != before)
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, hwnd, OBJID_CLIENT, CHILDID_SELF);
    // The countdown starts afresh after every command but About, even when
    // the setting did not change.
    RestartTimerAndRepaint(hwnd);
    return 0;
}

void CRefresherBand::RestartTimerAndRepaint(HWND hwnd)
{
    if (m_nInterval != kNoRefresh) {
        KillTimer(hwnd, IDT_REFRESH);
        SetTimer(hwnd, IDT_REFRESH, RefreshPeriod(m_nInterval), nullptr);
        m_dwCountdownStart = GetTickCount();
    }
    RedrawWindow(hwnd, nullptr, nullptr, kRepaintNow);
}

// Without a browser a tick has nothing to refresh.
void CRefresherBand::OnTimer(UINT_PTR timerId)
{
    if (timerId == IDT_COUNTDOWN)
        OnCountdownTick();
    if (timerId != IDT_REFRESH)
        return;
    m_dwCountdownStart = GetTickCount();
    if (m_pWebBrowser)
        m_pWebBrowser->Refresh();
}

void CRefresherBand::OnFocusChange(BOOL fGained)
{
    if (m_pInputObjectSite)
        m_pInputObjectSite->OnFocusChangeIS(static_cast<IDeskBand*>(this), fGained);
}
