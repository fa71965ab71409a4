#include "band/TimeLeftTip.h"

#include <string.h>

#include "server/Module.h"

namespace {

const UINT kCountdownPeriod = 1000;
// The longest time the control keeps a tip up while the pointer rests.
const int kLongestShowTime = 32767;

// The band's tool with text, in the size of the tool record every version
// of the control accepts. The control copies the text.
TTTOOLINFOA BandTool(HWND band, LPSTR text)
{
    TTTOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = band;
    tool.uId = reinterpret_cast<UINT_PTR>(band);
    tool.lpszText = text;
    return tool;
}

// The font tooltips take from the system, made again at the band's DPI.
HFONT CreateTipFont(HWND band)
{
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        return nullptr;
    return CreateFontForWindow(&metrics.lfStatusFont, band);
}

bool PointerOn(HWND hwnd)
{
    POINT cursor = {};
    RECT window = {};
    return GetCursorPos(&cursor) && GetWindowRect(hwnd, &window) && PtInRect(&window, cursor);
}

} // namespace

void DestroyTipWindow(HWND tip)
{
    if (IsWindow(tip))
        DestroyWindow(tip);
}

void CTimeLeftTip::Relay(HWND band, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_MOUSEMOVE) {
        if (!m_hWndTip)
            Create(band);
        ShowTimeLeft(band);
        StartCountdown(band);
    }
    if (!m_hWndTip)
        return;
    MSG relayed = {band, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
    GetCursorPos(&relayed.pt);
    SendMessageA(m_hWndTip.Get(), TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

// The tool starts with the text of now, so that the tip never shows an empty
// one.
void CTimeLeftTip::Create(HWND band)
{
    const INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    m_hWndTip.Reset(CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, band, nullptr,
                                    ModuleInstance(), nullptr));
    if (!m_hWndTip)
        return;
    m_font.Reset(CreateTipFont(band));
    if (m_font)
        SendMessageA(m_hWndTip.Get(), WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), FALSE);
    m_schedule.FormatTimeLeft(m_szShown, GetTickCount());
    TTTOOLINFOA tool = BandTool(band, m_szShown);
    tool.uFlags = TTF_IDISHWND;
    SendMessageA(m_hWndTip.Get(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    // A countdown that vanished after the default few seconds would not be
    // one to watch.
    SendMessageA(m_hWndTip.Get(), TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kLongestShowTime, 0));
}

void CTimeLeftTip::StartCountdown(HWND band)
{
    if (m_bCountingDown || !m_hWndTip)
        return;
    m_bCountingDown = SetTimer(band, kCountdownTimer, kCountdownPeriod, nullptr) != 0;
}

// The tip may not show yet while the pointer rests on the band: it waits a
// moment before it does.
bool CTimeLeftTip::InUse(HWND band) const
{
    return m_hWndTip && (IsWindowVisible(m_hWndTip.Get()) || PointerOn(band));
}

void CTimeLeftTip::OnCountdownTick(HWND band)
{
    if (!InUse(band)) {
        KillTimer(band, kCountdownTimer);
        m_bCountingDown = false;
        return;
    }
    ShowTimeLeft(band);
}

// The control redraws a tip that shows when its text is set.
void CTimeLeftTip::ShowTimeLeft(HWND band)
{
    if (!m_hWndTip)
        return;
    CHAR text[kTimeLeftCapacity];
    m_schedule.FormatTimeLeft(text, GetTickCount());
    if (strcmp(text, m_szShown) == 0)
        return;
    lstrcpynA(m_szShown, text, kTimeLeftCapacity);
    TTTOOLINFOA tool = BandTool(band, m_szShown);
    SendMessageA(m_hWndTip.Get(), TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
}
