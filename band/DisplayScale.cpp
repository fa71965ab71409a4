#include "band/DisplayScale.h"

namespace {

typedef UINT(WINAPI* DpiForWindowFunction)(HWND);

// Windows 10 1607 and later; found at run time so that the band loads on the
// systems before.
DpiForWindowFunction FindDpiForWindow()
{
    return reinterpret_cast<DpiForWindowFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
}

// The device context of a window (of the screen for none), given back at the
// end of its scope.
class CWindowDc {
public:
    explicit CWindowDc(HWND hwnd) : m_hWnd(hwnd), m_hdc(GetDC(hwnd)) {}
    ~CWindowDc()
    {
        if (m_hdc)
            ReleaseDC(m_hWnd, m_hdc);
    }
    CWindowDc(const CWindowDc&) = delete;
    CWindowDc& operator=(const CWindowDc&) = delete;

    // 96 when the context could not be had.
    int Dpi(int axis) const
    {
        const int dpi = GetDeviceCaps(m_hdc, axis);
        return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
    }

private:
    HWND m_hWnd;
    HDC m_hdc;
};

} // namespace

// GetDpiForWindow answers 0 for no window, or one that is gone.
BandDpi WindowDpi(HWND hwnd)
{
    const DpiForWindowFunction dpiForWindow = FindDpiForWindow();
    if (const int dpi = dpiForWindow ? static_cast<int>(dpiForWindow(hwnd)) : 0)
        return {dpi, dpi};
    const CWindowDc dc(hwnd);
    return {dc.Dpi(LOGPIXELSX), dc.Dpi(LOGPIXELSY)};
}

HFONT CreateFontForWindow(LOGFONTA* font, HWND hwnd)
{
    const BandDpi system = WindowDpi(nullptr);
    const BandDpi window = WindowDpi(hwnd);
    if (window.x == system.x && window.y == system.y)
        return nullptr;
    font->lfHeight = MulDiv(font->lfHeight, window.y, system.y);
    font->lfWidth = MulDiv(font->lfWidth, window.x, system.x);
    return CreateFontIndirectA(font);
}
