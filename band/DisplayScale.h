#pragma once
#include <windows.h>

#include "support/Owners.h"

// Dots per inch on each axis of a window: the scale at which the system shows
// it. The band's sizes are given for 96 (USER_DEFAULT_SCREEN_DPI).
struct BandDpi {
    int x;
    int y;
};

// GetDpiForWindow where the system has it (it follows the window from screen
// to screen), otherwise the DPI of the window's device context. For no window
// it is the system's own DPI, the scale of the stock fonts.
BandDpi WindowDpi(HWND hwnd);

// A length given at 96 DPI, in pixels at dpi.
inline LONG ScaledPixels(LONG pixels, int dpi)
{
    return MulDiv(pixels, dpi, USER_DEFAULT_SCREEN_DPI);
}

inline POINTL ScaledSize(POINTL size, BandDpi dpi)
{
    return {ScaledPixels(size.x, dpi.x), ScaledPixels(size.y, dpi.y)};
}

using CFontHandle = CUniqueAny<HFONT, DeleteObject>;

// *font, made by the system at its own DPI, scaled to hwnd's and made; null
// when the two agree, so that the system's own font object is used unchanged.
HFONT CreateFontForWindow(LOGFONTA* font, HWND hwnd);
