#include "band/TimeLeftTip.h"

#include "server/Module.h"

namespace {

const UINT kCountdownPeriod = 1000;
// The longest time the control keeps a tip up while the pointer rests.
const int kLongestShowTime = 32767;

// The band's tool, whose text the tip asks the band for; in the size of the
// tool record every version of the control accepts.
TTTOOLINFOA BandTool(HWND band)
{
    TTTOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = band;
    tool.uId = reinterpret_cast<UINT_PTR>(band);
    tool.lpszText = LPSTR_TEXTCALLBACKA;
    return tool;
}

template <typename DisplayInfo>
void AnswerWithOwnText(DisplayInfo* info)
{
    info->lpszText = info->szText;
    info->hinst = nullptr;
}

void AnswerTextQuestion(NMTTDISPINFOA* info, const CRefreshSchedule& schedule)
{
    static_assert(ARRAYSIZE(info->szText) == kTimeLeftCapacity, "the tip's own text buffer");
    schedule.FormatTimeLeft(info->szText, GetTickCount());
    AnswerWithOwnText(info);
}

void AnswerTextQuestion(NMTTDISPINFOW* info, const CRefreshSchedule& schedule)
{
    CHAR text[kTimeLeftCapacity];
    schedule.FormatTimeLeft(text, GetTickCount());
    MultiByteToWideChar(CP_ACP, 0, text, -1, info->szText, ARRAYSIZE(info->szText));
    AnswerWithOwnText(info);
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

} // namespace

void DestroyTipWindow(HWND tip)
{
    if (IsWindow(tip))
        DestroyWindow(tip);
}

void CTimeLeftTip::Relay(HWND band, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!m_hWndTip && message == WM_MOUSEMOVE)
        Create(band);
    if (!m_hWndTip)
        return;
    MSG relayed = {band, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
    GetCursorPos(&relayed.pt);
    SendMessageA(m_hWndTip.Get(), TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

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
    TTTOOLINFOA tool = BandTool(band);
    tool.uFlags = TTF_IDISHWND;
    SendMessageA(m_hWndTip.Get(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    // A countdown that vanished after the default few seconds would not be
    // one to watch.
    SendMessageA(m_hWndTip.Get(), TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kLongestShowTime, 0));
}

// The countdown timer runs only while the tip is up. Nothing of the header is
// read before the tip is known to exist.
LRESULT CTimeLeftTip::OnNotify(HWND band, NMHDR* header, const CRefreshSchedule& schedule)
{
    if (!m_hWndTip || header->hwndFrom != m_hWndTip.Get())
        return 0;
    switch (header->code) {
    case TTN_GETDISPINFOA:
        AnswerTextQuestion(reinterpret_cast<NMTTDISPINFOA*>(header), schedule);
        break;
    case TTN_GETDISPINFOW:
        AnswerTextQuestion(reinterpret_cast<NMTTDISPINFOW*>(header), schedule);
        break;
    case TTN_SHOW:
        SetTimer(band, kCountdownTimer, kCountdownPeriod, nullptr);
        break;
    case TTN_POP:
        KillTimer(band, kCountdownTimer);
        break;
    }
    return 0;
}

// Setting the text of the tool that shows (to the callback again) makes the
// tip ask for it anew and redraw.
void CTimeLeftTip::OnCountdownTick(HWND band)
{
    if (!m_hWndTip)
        return;
    TTTOOLINFOA tool = BandTool(band);
    SendMessageA(m_hWndTip.Get(), TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
}
