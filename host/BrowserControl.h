#pragma once
#include <windows.h>
#include <exdisp.h>
#include <oleidl.h>

#include <string>

#include "host/HostObject.h"

// The container's side of an embedded control: its client site, which is
// also its in-place site, in a window of the host's at a place the host
// sets. No frame, no menus, no UI activation.
class CControlSite : public CHostObject<IOleClientSite, IOleInPlaceSite> {
public:
    CControlSite(HWND hWndParent, const RECT& place) : m_hWndParent(hWndParent), m_place(place) {}

    void SetPlace(const RECT& place) { m_place = place; }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;

    // IOleClientSite
    STDMETHOD(SaveObject)() override { return E_NOTIMPL; }
    STDMETHOD(GetMoniker)(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHOD(GetContainer)(IOleContainer** ppContainer) override;
    STDMETHOD(ShowObject)() override { return S_OK; }
    STDMETHOD(OnShowWindow)(BOOL) override { return S_OK; }
    STDMETHOD(RequestNewObjectLayout)() override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHOD(GetWindow)(HWND* phwnd) override;
    STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHOD(CanInPlaceActivate)() override { return S_OK; }
    STDMETHOD(OnInPlaceActivate)() override { return S_OK; }
    STDMETHOD(OnUIActivate)() override { return S_OK; }
    STDMETHOD(GetWindowContext)(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                LPRECT lprcClipRect, LPOLEINPLACEFRAMEINFO lpFrameInfo) override;
    STDMETHOD(Scroll)(SIZE) override { return E_NOTIMPL; }
    STDMETHOD(OnUIDeactivate)(BOOL) override { return S_OK; }
    STDMETHOD(OnInPlaceDeactivate)() override { return S_OK; }
    STDMETHOD(DiscardUndoState)() override { return E_NOTIMPL; }
    STDMETHOD(DeactivateAndUndo)() override { return E_NOTIMPL; }
    STDMETHOD(OnPosRectChange)(LPCRECT) override { return E_NOTIMPL; }

private:
    HWND m_hWndParent;
    RECT m_place;
};

// The platform's WebBrowser control (CLSID_WebBrowser, ieframe.dll), made
// through the registry and activated in place in a window of the host's, as
// an application embeds a browser. Its IWebBrowser2 is the browser the host
// hands its band, unchanged. The calling thread must have initialised OLE.
class CBrowserControl {
public:
    CBrowserControl() = default;
    ~CBrowserControl() { Close(); }
    CBrowserControl(const CBrowserControl&) = delete;
    CBrowserControl& operator=(const CBrowserControl&) = delete;

    HRESULT Create(HWND hWndParent, const RECT& place);
    HRESULT Navigate(const std::string& url);
    // The control follows its place in the parent window.
    void Move(const RECT& place);
    // Closes the control and takes its site away; harmless twice.
    void Close();

    IWebBrowser2* Browser() const { return m_browser.get(); }

private:
    CHostReference<IWebBrowser2> m_browser;
    CHostReference<CControlSite> m_site;
};
