#pragma once
#include <windows.h>
#include <docobj.h>
#include <exdisp.h>
#include <servprov.h>
#include <shlobj.h>

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

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;

    // IOleWindow
    STDMETHOD(GetWindow)(HWND* phwnd) override;
    STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }

    // IInputObjectSite
    STDMETHOD(OnFocusChangeIS)(IUnknown* punkObj, BOOL fSetFocus) override;

    // IOleCommandTarget: the stand-in has no commands.
    STDMETHOD(QueryStatus)(const GUID*, ULONG, OLECMD[], OLECMDTEXT*) override { return E_NOTIMPL; }
    STDMETHOD(Exec)(const GUID*, DWORD, DWORD, VARIANT*, VARIANT*) override { return E_NOTIMPL; }

    // IServiceProvider
    STDMETHOD(QueryService)(REFGUID guidService, REFIID riid, void** ppv) override;

private:
    bool Offers(DWORD face) const { return (m_faces & face) != 0; }

    HWND m_hWndParent;
    CHostReference<IWebBrowser2> m_pBrowser;
    DWORD m_faces;
    std::vector<FocusChange> m_focusChanges;
};
