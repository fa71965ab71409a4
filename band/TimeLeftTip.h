#pragma once
#include <windows.h>
#include <commctrl.h>

#include "band/DisplayScale.h"
#include "band/RefreshSchedule.h"
#include "support/Owners.h"

// Destroys a tooltip that has not gone already with the band's top-level
// ancestor, which the system makes the owner of a pop-up created for a child
// window.
void DestroyTipWindow(HWND tip);

// The tooltip that tells the time to the next refresh while the pointer rests
// on the band window. It is made at the first mouse move over the band, so
// that a band nobody points at costs what it did without one.
class CTimeLeftTip {
public:
    // The once-a-second timer on the band window that runs while the tip shows.
    static constexpr UINT_PTR kCountdownTimer = 2;

    // A mouse message of the band window, passed on to the tip.
    void Relay(HWND band, UINT message, WPARAM wParam, LPARAM lParam);
    // A notification the band window's own thread sent it: the tip's
    // questions and news, nothing from any other window.
    LRESULT OnNotify(HWND band, NMHDR* header, const CRefreshSchedule& schedule);
    // The countdown timer fired.
    void OnCountdownTick(HWND band);
    // The window goes before its font.
    void Destroy()
    {
        m_hWndTip.Reset();
        m_font.Reset();
    }
    // The band is shown at another scale: a tip made afresh at the next
    // pointer move follows it. A tip that goes while it shows reports no
    // hiding, so its countdown is stopped here.
    void Rescale(HWND band)
    {
        KillTimer(band, kCountdownTimer);
        Destroy();
    }

private:
    void Create(HWND band);

    // The tip's text in the status font at the band's DPI; none at the
    // system's, where the tip's own is the one.
    CFontHandle m_font;
    CUniqueAny<HWND, DestroyTipWindow> m_hWndTip;
};
