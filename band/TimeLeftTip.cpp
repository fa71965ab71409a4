#include <windows.h>
#include <commctrl.h>

#include "band/RefreshInterval.h"
#include "band/RefresherBand.h"
#include "server/Module.h"

namespace {

const UINT kCountdownPeriod = 1000;
// The longest time the control keeps a tip up while the pointer rests.
const int kLongestShowTime = 32767;

// The time left rounded up to whole seconds, so that a countdown just
// started shows the whole interval and 0:00 never shows before the refresh.
DWORD SecondsLeft(LONG interval, DWORD elapsed)
{
    const DWORD period = RefreshPeriod(interval);
    const DWORD left = elapsed < period ? period - elapsed : 0;
    return left / 1000 + (left % 1000 ? 1 : 0);
}

} // namespace

// The tooltip is made at the first mouse move over the band, so that a band
// nobody points at costs what it did without one.
void CRefresherBand::RelayToTip(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!m_hWndTip && message == WM_MOUSEMOVE)
        CreateTip(hwnd);
    if (!m_hWndTip)
        return;
    MSG relayed = {hwnd, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
    GetCursorPos(&relayed.pt);
    SendMessageA(m_hWndTip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

// The system makes the band's top-level ancestor the owner of a pop-up
// created for a child window, so the band destroys the tooltip itself.
void CRefresherBand::CreateTip(HWND hwnd)
{
    const INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    m_hWndTip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr,
                                ModuleInstance(), nullptr);
    if (!m_hWndTip)
        return;
    // The size of the tool record every version of the control accepts.
    TTTOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_IDISHWND;
    tool.hwnd = hwnd;
    tool.uId = reinterpret_cast<UINT_PTR>(hwnd);
    tool.lpszText = LPSTR_TEXTCALLBACKA;
    SendMessageA(m_hWndTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    // A countdown that vanished after the default few seconds would not be
    // one to watch.
    SendMessageA(m_hWndTip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kLongestShowTime, 0));
}

// The tooltip may have gone already with the band's top-level ancestor.
void CRefresherBand::DestroyTip()
{
    const HWND tip = m_hWndTip;
    m_hWndTip = nullptr;
    if (tip && IsWindow(tip))
        DestroyWindow(tip);
}

// The countdown timer runs only while the tooltip is up.
LRESULT CRefresherBand::OnNotify(HWND hwnd, const NMHDR* header)
{
    if (!m_hWndTip || header->hwndFrom != m_hWndTip)
        return 0;
    switch (header->code) {
    case TTN_GETDISPINFOA: {
        NMTTDISPINFOA* info = reinterpret_cast<NMTTDISPINFOA*>(const_cast<NMHDR*>(header));
        FormatTimeLeft(info->szText);
        info->lpszText = info->szText;
        info->hinst = nullptr;
        break;
    }
    case TTN_GETDISPINFOW: {
        NMTTDISPINFOW* info = reinterpret_cast<NMTTDISPINFOW*>(const_cast<NMHDR*>(header));
        CHAR text[ARRAYSIZE(info->szText)];
        FormatTimeLeft(text);
        MultiByteToWideChar(CP_ACP, 0, text, -1, info->szText, ARRAYSIZE(info->szText));
        info->lpszText = info->szText;
        info->hinst = nullptr;
        break;
    }
    case TTN_SHOW:
        SetTimer(hwnd, IDT_COUNTDOWN, kCountdownPeriod, nullptr);
        break;
    case TTN_POP:
        KillTimer(hwnd, IDT_COUNTDOWN);
        break;
    }
    return 0;
}

// Setting the text of the tool that shows (to the callback again) makes the
// tooltip ask for it anew and redraw.
void CRefresherBand::OnCountdownTick()
{
    if (!m_hWndTip)
        return;
    TTTOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = m_hWnd;
    tool.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
    tool.lpszText = LPSTR_TEXTCALLBACKA;
    SendMessageA(m_hWndTip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
}

void CRefresherBand::FormatTimeLeft(LPSTR text) const
{
    if (m_nInterval == kNoRefresh) {
        lstrcpyA(text, "Refreshing is off");
        return;
    }
    const DWORD seconds = SecondsLeft(m_nInterval, GetTickCount() - m_dwCountdownStart);
    if (seconds >= 3600)
        wsprintfA(text, "Next refresh in %lu:%02lu:%02lu", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        wsprintfA(text, "Next refresh in %lu:%02lu", seconds / 60, seconds % 60);
}
