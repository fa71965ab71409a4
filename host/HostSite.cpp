#include "host/HostSite.h"

#include <shlguid.h>

CHostSite::CHostSite(HWND hWndParent, IWebBrowser2* pBrowser, DWORD faces)
    : m_hWndParent(hWndParent), m_pBrowser(ShareReference(pBrowser)), m_faces(faces)
{
}

STDMETHODIMP CHostSite::QueryInterface(REFIID riid, void** ppv)
{
    if (IsEqualIID(riid, IID_IUnknown))
        return Answer(static_cast<IOleWindow*>(this), ppv);
    if (IsEqualIID(riid, IID_IOleWindow) && Offers(kSiteOleWindow))
        return Answer(static_cast<IOleWindow*>(this), ppv);
    if (IsEqualIID(riid, IID_IInputObjectSite) && Offers(kSiteInputObjectSite))
        return Answer(static_cast<IInputObjectSite*>(this), ppv);
    if (IsEqualIID(riid, IID_IOleCommandTarget) && Offers(kSiteCommandTarget))
        return Answer(static_cast<IOleCommandTarget*>(this), ppv);
    if (IsEqualIID(riid, IID_IServiceProvider) && Offers(kSiteServiceProvider))
        return Answer(static_cast<IServiceProvider*>(this), ppv);
    return Answer(static_cast<IOleWindow*>(nullptr), ppv);
}

STDMETHODIMP CHostSite::GetWindow(HWND* phwnd)
{
    if (!phwnd)
        return E_POINTER;
    *phwnd = m_hWndParent;
    return S_OK;
}

STDMETHODIMP CHostSite::OnFocusChangeIS(IUnknown* punkObj, BOOL fSetFocus)
{
    m_focusChanges.push_back({punkObj, fSetFocus});
    return S_OK;
}

STDMETHODIMP CHostSite::Exec(const GUID* group, DWORD id, DWORD, VARIANT*, VARIANT*)
{
    if (!group || !IsEqualGUID(*group, CGID_DeskBand) || id != DBID_BANDINFOCHANGED)
        return E_NOTIMPL;
    ++m_nBandInfoChanges;
    if (m_bandInfoObserver)
        m_bandInfoObserver();
    return S_OK;
}

STDMETHODIMP CHostSite::QueryService(REFGUID guidService, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualGUID(guidService, SID_SWebBrowserApp) || !m_pBrowser)
        return E_NOINTERFACE;
    return m_pBrowser->QueryInterface(riid, ppv);
}
