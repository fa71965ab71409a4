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
// that a band nobody points at costs what it did without one. The tip is
// given its text whenever the text changes: it never asks the band for it,
// so that no notification, which any program could post, carries a place
// for the band to write.
class CTimeLeftTip {
public:
    // The once-a-second timer on the band window that runs from a mouse move
    // over the band until the tip is hidden and the pointer gone.
    static constexpr UINT_PTR kCountdownTimer = 2;

    explicit CTimeLeftTip(const CRefreshSchedule& schedule) : m_schedule(schedule) {}
    CTimeLeftTip(const CTimeLeftTip&) = delete;
    CTimeLeftTip& operator=(const CTimeLeftTip&) = delete;

    // A mouse message of the band window, passed on to the tip.
    void Relay(HWND band, UINT message, WPARAM wParam, LPARAM lParam);
    // The countdown timer fired.
    void OnCountdownTick(HWND band);
    // The schedule has changed: a tip there is shows it at once.
    void ShowTimeLeft(HWND band);
    // The window goes before its font.
    void Destroy()
    {
        m_hWndTip.Reset();
        m_font.Reset();
        m_bCountingDown = false;
    }
    // The band is shown at another scale: a tip made afresh at the next
    // pointer move follows it.
    void Rescale(HWND band)
    {
        KillTimer(band, kCountdownTimer);
        Destroy();
    }

private:
    void Create(HWND band);
    void StartCountdown(HWND band);
    bool InUse(HWND band) const;

    const CRefreshSchedule& m_schedule;
    // The tip's text in the status font at the band's DPI; none at the
    // system's, where the tip's own is the one.
    CFontHandle m_font;
    CUniqueAny<HWND, DestroyTipWindow> m_hWndTip;
    // The text the tip holds.
    CHAR m_szShown[kTimeLeftCapacity] = "";
    bool m_bCountingDown = false;
};
