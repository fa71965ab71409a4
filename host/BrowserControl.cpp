#include "host/BrowserControl.h"

#include <memory>
#include <new>

#include "host/HostText.h"

namespace {

struct CFreeString {
    void operator()(BSTR text) const { SysFreeString(text); }
};

CHostReference<IOleObject> OleObjectOf(IWebBrowser2* browser)
{
    IOleObject* object = nullptr;
    if (browser)
        browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object));
    return CHostReference<IOleObject>(object);
}

} // namespace

STDMETHODIMP CControlSite::QueryInterface(REFIID riid, void** ppv)
{
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
        return Answer(static_cast<IOleClientSite*>(this), ppv);
    if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
        return Answer(static_cast<IOleInPlaceSite*>(this), ppv);
    return Answer(static_cast<IOleClientSite*>(nullptr), ppv);
}

STDMETHODIMP CControlSite::GetContainer(IOleContainer** ppContainer)
{
    if (!ppContainer)
        return E_POINTER;
    *ppContainer = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CControlSite::GetWindow(HWND* phwnd)
{
    if (!phwnd)
        return E_POINTER;
    *phwnd = m_hWndParent;
    return S_OK;
}

STDMETHODIMP CControlSite::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                            LPRECT lprcPosRect, LPRECT lprcClipRect,
                                            LPOLEINPLACEFRAMEINFO lpFrameInfo)
{
    if (!ppFrame || !ppDoc || !lprcPosRect || !lprcClipRect || !lpFrameInfo)
        return E_POINTER;
    *ppFrame = nullptr;
    *ppDoc = nullptr;
    *lprcPosRect = m_place;
    *lprcClipRect = m_place;
    lpFrameInfo->fMDIApp = FALSE;
    lpFrameInfo->hwndFrame = GetAncestor(m_hWndParent, GA_ROOT);
    lpFrameInfo->haccel = nullptr;
    lpFrameInfo->cAccelEntries = 0;
    return S_OK;
}

HRESULT CBrowserControl::Create(HWND hWndParent, const RECT& place)
{
    Close();
    IWebBrowser2* browser = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2,
                                  reinterpret_cast<void**>(&browser));
    m_browser.reset(browser);
    if (FAILED(hr))
        return hr;
    m_site.reset(new (std::nothrow) CControlSite(hWndParent, place));
    if (!m_site)
        return E_OUTOFMEMORY;
    const CHostReference<IOleObject> object = OleObjectOf(m_browser.get());
    if (!object)
        return E_NOINTERFACE;
    hr = object->SetClientSite(m_site.get());
    if (SUCCEEDED(hr))
        hr = object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, m_site.get(), 0, hWndParent, &place);
    return hr;
}

HRESULT CBrowserControl::Navigate(const std::string& url)
{
    if (!m_browser)
        return E_UNEXPECTED;
    const std::unique_ptr<OLECHAR, CFreeString> address(SysAllocString(WideFromUtf8(url).c_str()));
    if (!address)
        return E_OUTOFMEMORY;
    VARIANT none;
    VariantInit(&none);
    return m_browser->Navigate(address.get(), &none, &none, &none, &none);
}

void CBrowserControl::Move(const RECT& place)
{
    if (!m_site)
        return;
    m_site->SetPlace(place);
    IOleInPlaceObject* inPlace = nullptr;
    if (FAILED(m_browser->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace))))
        return;
    const CHostReference<IOleInPlaceObject> held(inPlace);
    inPlace->SetObjectRects(&place, &place);
}

// Closing takes the control's document with it; the site goes last.
void CBrowserControl::Close()
{
    if (const CHostReference<IOleObject> object = OleObjectOf(m_browser.get())) {
        object->Close(OLECLOSE_NOSAVE);
        object->SetClientSite(nullptr);
    }
    m_browser.reset();
    m_site.reset();
}
