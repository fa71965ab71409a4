#pragma once
#include <windows.h>
#include <docobj.h>
#include <urlmon.h>

#include <functional>
#include <memory>
#include <string>

#include "host/HostObject.h"

// What every page document of one registration shares with its host.
struct PageLoads {
    // Pages received: the first of each document and one per refresh.
    LONG count = 0;
    // Called after each, for a host that waits on them.
    std::function<void()> observer;
};

// The document the platform's WebBrowser control makes for a page of the
// host's own content type, in place of the HTML document it makes for
// text/html. It keeps its URL, shows the text of the page it was last sent
// in a window of its own inside the control, and fetches the page again when
// the control passes its Refresh on (IOleCommandTarget::Exec with
// OLECMDID_REFRESH). Of a document's other operations it answers only those
// the control calls; the rest are E_NOTIMPL.
class CPageDocument
    : public CHostObject<IPersistMoniker, IOleObject, IOleCommandTarget, IOleDocument, IOleDocumentView> {
public:
    explicit CPageDocument(std::shared_ptr<PageLoads> loads) : m_loads(std::move(loads)) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;

    // IPersistMoniker
    STDMETHOD(GetClassID)(CLSID* pClassID) override;
    STDMETHOD(IsDirty)() override { return S_FALSE; }
    STDMETHOD(Load)(BOOL fFullyAvailable, IMoniker* pimkName, LPBC pibc, DWORD grfMode) override;
    STDMETHOD(Save)(IMoniker*, LPBC, BOOL) override { return E_NOTIMPL; }
    STDMETHOD(SaveCompleted)(IMoniker*, LPBC) override { return E_NOTIMPL; }
    STDMETHOD(GetCurMoniker)(IMoniker**) override { return E_NOTIMPL; }

    // IOleObject
    STDMETHOD(SetClientSite)(IOleClientSite* pClientSite) override;
    STDMETHOD(GetClientSite)(IOleClientSite** ppClientSite) override;
    STDMETHOD(SetHostNames)(LPCOLESTR, LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHOD(Close)(DWORD dwSaveOption) override;
    STDMETHOD(SetMoniker)(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHOD(GetMoniker)(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHOD(InitFromData)(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetClipboardData)(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHOD(DoVerb)(LONG iVerb, LPMSG, IOleClientSite* pActiveSite, LONG, HWND, LPCRECT) override;
    STDMETHOD(EnumVerbs)(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHOD(Update)() override { return E_NOTIMPL; }
    STDMETHOD(IsUpToDate)() override { return E_NOTIMPL; }
    STDMETHOD(GetUserClassID)(CLSID* pClsid) override { return GetClassID(pClsid); }
    STDMETHOD(GetUserType)(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHOD(SetExtent)(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHOD(GetExtent)(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHOD(Advise)(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(Unadvise)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumAdvise)(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHOD(GetMiscStatus)(DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(SetColorScheme)(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleCommandTarget
    STDMETHOD(QueryStatus)(const GUID*, ULONG, OLECMD[], OLECMDTEXT*) override { return E_NOTIMPL; }
    STDMETHOD(Exec)(const GUID* group, DWORD id, DWORD, VARIANT*, VARIANT*) override;

    // IOleDocument: the document is its own one view.
    STDMETHOD(CreateView)(IOleInPlaceSite* pIPSite, IStream* pstm, DWORD, IOleDocumentView** ppView) override;
    STDMETHOD(GetDocMiscStatus)(DWORD* pdwStatus) override;
    STDMETHOD(EnumViews)(IEnumOleDocumentViews**, IOleDocumentView**) override { return E_NOTIMPL; }

    // IOleDocumentView
    STDMETHOD(SetInPlaceSite)(IOleInPlaceSite* pIPSite) override;
    STDMETHOD(GetInPlaceSite)(IOleInPlaceSite** ppIPSite) override;
    STDMETHOD(GetDocument)(IUnknown** ppunk) override;
    STDMETHOD(SetRect)(LPRECT prcView) override;
    STDMETHOD(GetRect)(LPRECT prcView) override;
    STDMETHOD(SetRectComplex)(LPRECT, LPRECT, LPRECT, LPRECT) override { return E_NOTIMPL; }
    STDMETHOD(Show)(BOOL fShow) override;
    STDMETHOD(UIActivate)(BOOL) override { return S_OK; }
    STDMETHOD(Open)() override { return E_NOTIMPL; }
    STDMETHOD(CloseView)(DWORD) override;
    STDMETHOD(SaveViewState)(LPSTREAM) override { return E_NOTIMPL; }
    STDMETHOD(ApplyViewState)(LPSTREAM) override { return E_NOTIMPL; }
    STDMETHOD(Clone)(IOleInPlaceSite*, IOleDocumentView**) override { return E_NOTIMPL; }

private:
    struct CDestroyWindow {
        void operator()(HWND hwnd) const { DestroyWindow(hwnd); }
    };

    HRESULT FetchAgain();
    void Received(const std::string& page);
    HRESULT CreateViewWindow();

    std::shared_ptr<PageLoads> m_loads;
    std::wstring m_url;
    std::wstring m_text;
    CHostReference<IOleClientSite> m_clientSite;
    CHostReference<IOleInPlaceSite> m_inPlaceSite;
    RECT m_viewRect = {};
    std::unique_ptr<std::remove_pointer_t<HWND>, CDestroyWindow> m_viewWindow;
};

// The page document's class, registered for one content type while this
// lives: its class object with COM and the type's class id in the MIME
// database (HKEY_CLASSES_ROOT\MIME\Database\Content Type\<type>, value
// CLSID), where urlmon looks when the control binds to a page of that type.
// Both are taken back when it goes. HKEY_CLASSES_ROOT rather than the
// per-user classes: Wine's urlmon reads the MIME database only there.
class CPageDocumentClass {
public:
    CPageDocumentClass();
    ~CPageDocumentClass() { Revoke(); }
    CPageDocumentClass(const CPageDocumentClass&) = delete;
    CPageDocumentClass& operator=(const CPageDocumentClass&) = delete;

    // E_INVALIDARG for a content type that is not a single key name.
    HRESULT Register(const std::string& contentType);
    // Harmless twice, and when registration failed half-way.
    void Revoke();

    LONG Loads() const { return m_loads->count; }
    void SetLoadObserver(std::function<void()> observer) { m_loads->observer = std::move(observer); }

private:
    std::shared_ptr<PageLoads> m_loads;
    CHostReference<IClassFactory> m_factory;
    DWORD m_cookie = 0;
    std::wstring m_mimeKey;
};
