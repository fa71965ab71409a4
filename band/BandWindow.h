#pragma once
#include <windows.h>
#include <unknwn.h>

#include "band/BandAccessible.h"
#include "band/DisplayScale.h"
#include "band/RefreshSchedule.h"
#include "band/TimeLeftTip.h"
#include "support/Owners.h"

// What the band window needs of the band it shows.
class IBandWindowOwner {
public:
    // The band as a COM object, which the window holds while a command or a
    // tick runs: a dialog's or the browser's own message loop may let go of
    // the band meanwhile.
    virtual IUnknown* Unknown() = 0;
    // A refresh is due: the browser reloads its page.
    virtual void RefreshBrowser() = 0;
    // The window gained (TRUE) or lost the keyboard focus.
    virtual void FocusChanged(BOOL fGained) = 0;
    // The band's sizes have changed (the window moved to a screen of another
    // scale): the host is to ask for them again.
    virtual void BandInfoChanged() = 0;

protected:
    ~IBandWindowOwner() = default;
};

class CBandWindow;

// A band window's place in the module's list of live band windows, through
// which the window procedure finds the window's object (BandWindow.cpp).
struct LiveBandWindow {
    HWND hwnd;
    CBandWindow* window;
    LiveBandWindow* pNext;
};

// The band window: one child window in the host's toolbar area that shows the
// refresh setting as one centred line, opens the popup menu on a click or a
// key, runs the refresh timer and answers the time-left tooltip and screen
// readers. The object outlives its windows: a band sited again gets a new
// window with the same setting.
class CBandWindow : private IBandAccessSource {
public:
    explicit CBandWindow(IBandWindowOwner& owner) : m_owner(owner) {}
    // A host may let go of a band that still has its window; the window goes
    // with the band so that no message can reach a freed object.
    ~CBandWindow() { Destroy(); }
    CBandWindow(const CBandWindow&) = delete;
    CBandWindow& operator=(const CBandWindow&) = delete;

    // Makes the window, hidden, as a child filling hWndParent's client area;
    // FALSE, once the user has been told, when it cannot be made.
    BOOL CreateBandWindow(HWND hWndParent);
    // The window is cut loose before it goes, so that none of the messages
    // its destruction sends reaches the band; one the system has destroyed
    // already (with its parent, say) is only forgotten.
    void Destroy();
    // The window, or null: none was made, or it is gone.
    HWND Handle() const { return IsOwnLiveWindow() ? m_hWnd : nullptr; }
    // The scale the window is shown at; without a window, the system's.
    BandDpi Dpi() const { return WindowDpi(Handle()); }

    void Show(BOOL fShow) const;
    // Sends the window WM_CLOSE, whose handling destroys it and its timer.
    void Close();
    void TakeFocus() const;

    // A setting from elsewhere (the remembered one): timed and shown at once.
    void ApplyInterval(LONG nInterval);
    // The setting stays; only its timer stops.
    void StopRefreshTimer() const;

    static LRESULT CALLBACK BandWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    bool IsOwnLiveWindow() const;
    void Attach(HWND hwnd);
    void Detach();
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam) const;
    CInterfacePtr<IUnknown> HoldOwner() const;

    // Message handlers.
    LRESULT OnPaint() const;
    LRESULT OnLeftButtonUp() const;
    LRESULT OnCommand(WORD command);
    LRESULT OnTimer(UINT_PTR timerId);
    LRESULT OnKeyDown(UINT message, WPARAM key, LPARAM lParam);
    LRESULT OnContextMenu(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetObject(WPARAM wParam, LPARAM lParam);
    LRESULT OnFocusChange(BOOL fGained);
    LRESULT OnClose();
    LRESULT OnRegisteredMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnDpiChanged();

    // Commands and ticks.
    void RunCommand(WORD command);
    void ChooseCustomInterval();
    void RestartTimerAndRepaint();
    void RefreshOnTick();
    void OpenMenuBelow() const;
    void FitToDpi();

    // IBandAccessSource
    void FormatBandText(CHAR (&text)[kBandTextCapacity]) const override;
    bool RequestMenu() override;

    IBandWindowOwner& m_owner;
    HWND m_hWnd = nullptr;
    LiveBandWindow m_live = {nullptr, this, nullptr};
    CRefreshSchedule m_schedule;
    CTimeLeftTip m_tip{m_schedule};
    // The text's font at the window's DPI; none at the system's, where the
    // device context's own is the one.
    CFontHandle m_font;
    CInterfacePtr<CBandAccessLink> m_pAccessLink;
    // The band's own open-menu message is on its way.
    bool m_bMenuRequested = false;
    // The band's own WM_CLOSE is being handled.
    bool m_bClosing = false;
    // The browser's refresh has not returned yet.
    bool m_bRefreshing = false;
};
