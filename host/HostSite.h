#pragma once
#include <windows.h>
#include <docobj.h>
#include <exdisp.h>
#include <servprov.h>
#include <shlobj.h>

#include <functional>
#include <vector>

#include "host/HostObject.h"

// What a site offers its band; a browser's own site offers all of it.
enum HostSiteFaces : DWORD {
    kSiteOleWindow = 0x1,       // IOleWindow: the parent window
    kSiteInputObjectSite = 0x2, // IInputObjectSite: focus notifications
    kSiteCommandTarget = 0x4,   // IOleCommandTarget, the way to the services
    kSiteServiceProvider = 0x8, // IServiceProvider: the browser
    kSiteAllFaces = 0xF,
};

// One OnFocusChangeIS call as the site received it.
struct FocusChange {
    IUnknown* object; // compared, never called
    BOOL gained;
};

// The site a browser hands its toolbar band: the parent window, focus
// notifications, and the browser behind SID_SWebBrowserApp.
class CHostSite : public CHostObject<IOleWindow, IInputObjectSite, IOleCommandTarget, IServiceProvider> {
public:
    CHostSite(HWND hWndParent, IWebBrowser2* pBrowser, DWORD faces = kSiteAllFaces);

    const std::vector<FocusChange>& FocusChanges() const { return m_focusChanges; }
    // How often the band said that its band info changed.
    LONG BandInfoChanges() const { return m_nBandInfoChanges; }
    // Called on each such news, for a host to lay its band out again.
    void SetBandInfoObserver(std::function<void()> observer) { m_bandInfoObserver = std::move(observer); }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;

    // IOleWindow
    STDMETHOD(GetWindow)(HWND* phwnd) override;
    STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }

    // IInputObjectSite
    STDMETHOD(OnFocusChangeIS)(IUnknown* punkObj, BOOL fSetFocus) override;

    // IOleCommandTarget: of a band's commands to its container the stand-in
    // knows only that its band info changed.
    STDMETHOD(QueryStatus)(const GUID*, ULONG, OLECMD[], OLECMDTEXT*) override { return E_NOTIMPL; }
    STDMETHOD(Exec)(const GUID* group, DWORD id, DWORD, VARIANT*, VARIANT*) override;

    // IServiceProvider
    STDMETHOD(QueryService)(REFGUID guidService, REFIID riid, void** ppv) override;

private:
    bool Offers(DWORD face) const { return (m_faces & face) != 0; }

    HWND m_hWndParent;
    CHostReference<IWebBrowser2> m_pBrowser;
    DWORD m_faces;
    std::vector<FocusChange> m_focusChanges;
    LONG m_nBandInfoChanges = 0;
    std::function<void()> m_bandInfoObserver;
};
