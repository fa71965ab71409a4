#include "host/PageDocument.h"

#include <new>

#include "host/HostText.h"

namespace {

// {370E9F3A-C4D2-4776-85F2-1B2674742256}
const CLSID CLSID_TandrelPageDocument = {0x370e9f3a, 0xc4d2, 0x4776, {0x85, 0xf2, 0x1b, 0x26, 0x74, 0x74, 0x22, 0x56}};
const WCHAR kViewClassName[] = L"TandrelPageView";
// At 96 DPI.
const int kViewMargin = 16;
// A page is a few hundred bytes; more than this is not shown.
const ULONG kLargestPage = 64 * 1024;

struct CTaskMemFree {
    void operator()(void* block) const { CoTaskMemFree(block); }
};

struct CCloseKey {
    void operator()(HKEY key) const { RegCloseKey(key); }
};

std::string ReadAll(IStream* stream)
{
    std::string page;
    char chunk[4096];
    ULONG read = 0;
    while (page.size() < kLargestPage && SUCCEEDED(stream->Read(chunk, sizeof(chunk), &read)) && read > 0)
        page.append(chunk, read);
    return page;
}

// The view paints its own window text: the page as it was last received.
void PaintPageText(HWND hwnd)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, &text[0], static_cast<int>(text.size()))));
    PAINTSTRUCT paint;
    const HDC hdc = BeginPaint(hwnd, &paint);
    RECT area;
    GetClientRect(hwnd, &area);
    InflateRect(&area, -MulDiv(kViewMargin, GetDeviceCaps(hdc, LOGPIXELSX), USER_DEFAULT_SCREEN_DPI),
                -MulDiv(kViewMargin, GetDeviceCaps(hdc, LOGPIXELSY), USER_DEFAULT_SCREEN_DPI));
    SetBkMode(hdc, TRANSPARENT);
    DrawTextW(hdc, text.c_str(), -1, &area, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    EndPaint(hwnd, &paint);
}

LRESULT CALLBACK PageViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        PaintPageText(hwnd);
        return 0;
    case WM_SETTEXT: {
        const LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return result;
    }
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// Registered once per process; a second registration fails harmlessly.
void RegisterViewClass()
{
    WNDCLASSW viewClass = {};
    viewClass.lpfnWndProc = PageViewProc;
    viewClass.hInstance = GetModuleHandleW(nullptr);
    viewClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    viewClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    viewClass.lpszClassName = kViewClassName;
    RegisterClassW(&viewClass);
}

bool IsActivationVerb(LONG verb)
{
    return verb == OLEIVERB_PRIMARY || verb == OLEIVERB_SHOW || verb == OLEIVERB_INPLACEACTIVATE ||
           verb == OLEIVERB_UIACTIVATE;
}

class CPageDocumentFactory : public CHostObject<IClassFactory> {
public:
    explicit CPageDocumentFactory(std::shared_ptr<PageLoads> loads) : m_loads(std::move(loads)) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory);
        return Answer(known ? static_cast<IClassFactory*>(this) : nullptr, ppv);
    }
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        const CHostReference<CPageDocument> document(new (std::nothrow) CPageDocument(m_loads));
        if (!document)
            return E_OUTOFMEMORY;
        return document->QueryInterface(riid, ppv);
    }
    STDMETHOD(LockServer)(BOOL) override { return S_OK; }

private:
    std::shared_ptr<PageLoads> m_loads;
};

} // namespace

STDMETHODIMP CPageDocument::QueryInterface(REFIID riid, void** ppv)
{
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPersist) || IsEqualIID(riid, IID_IPersistMoniker))
        return Answer(static_cast<IPersistMoniker*>(this), ppv);
    if (IsEqualIID(riid, IID_IOleObject))
        return Answer(static_cast<IOleObject*>(this), ppv);
    if (IsEqualIID(riid, IID_IOleCommandTarget))
        return Answer(static_cast<IOleCommandTarget*>(this), ppv);
    if (IsEqualIID(riid, IID_IOleDocument))
        return Answer(static_cast<IOleDocument*>(this), ppv);
    if (IsEqualIID(riid, IID_IOleDocumentView))
        return Answer(static_cast<IOleDocumentView*>(this), ppv);
    return Answer(static_cast<IPersistMoniker*>(nullptr), ppv);
}

STDMETHODIMP CPageDocument::GetClassID(CLSID* pClassID)
{
    if (!pClassID)
        return E_POINTER;
    *pClassID = CLSID_TandrelPageDocument;
    return S_OK;
}

// The control's binding has fetched the page already; the storage bound
// through its bind context is that download, not a second request.
STDMETHODIMP CPageDocument::Load(BOOL, IMoniker* pimkName, LPBC pibc, DWORD)
{
    if (!pimkName)
        return E_INVALIDARG;
    LPOLESTR name = nullptr;
    HRESULT hr = pimkName->GetDisplayName(pibc, nullptr, &name);
    const std::unique_ptr<OLECHAR, CTaskMemFree> heldName(name);
    if (FAILED(hr))
        return hr;
    m_url = name;
    IStream* stream = nullptr;
    hr = pimkName->BindToStorage(pibc, nullptr, IID_IStream, reinterpret_cast<void**>(&stream));
    const CHostReference<IStream> heldStream(stream);
    if (FAILED(hr))
        return hr;
    if (stream)
        Received(ReadAll(stream));
    return S_OK;
}

// A browser reloads in the background; this page is a few hundred bytes
// from the loopback address, fetched while the refresh waits, so that its
// request has reached the server by the time Refresh returns.
HRESULT CPageDocument::FetchAgain()
{
    if (m_url.empty())
        return E_UNEXPECTED;
    IStream* stream = nullptr;
    const HRESULT hr = URLOpenBlockingStreamW(nullptr, m_url.c_str(), &stream, 0, nullptr);
    const CHostReference<IStream> held(stream);
    if (FAILED(hr))
        return hr;
    Received(ReadAll(stream));
    return S_OK;
}

void CPageDocument::Received(const std::string& page)
{
    m_text = WideFromUtf8(page);
    if (m_viewWindow)
        SetWindowTextW(m_viewWindow.get(), m_text.c_str());
    ++m_loads->count;
    if (m_loads->observer)
        m_loads->observer();
}

STDMETHODIMP CPageDocument::SetClientSite(IOleClientSite* pClientSite)
{
    m_clientSite = ShareReference(pClientSite);
    return S_OK;
}

STDMETHODIMP CPageDocument::GetClientSite(IOleClientSite** ppClientSite)
{
    if (!ppClientSite)
        return E_POINTER;
    *ppClientSite = ShareReference(m_clientSite.get()).release();
    return S_OK;
}

STDMETHODIMP CPageDocument::Close(DWORD)
{
    return CloseView(0);
}

// As a document object does: a site that holds documents is asked to
// activate a view, which it makes with CreateView, sizes and shows.
STDMETHODIMP CPageDocument::DoVerb(LONG iVerb, LPMSG, IOleClientSite* pActiveSite, LONG, HWND, LPCRECT)
{
    if (iVerb == OLEIVERB_HIDE)
        return Show(FALSE);
    if (!IsActivationVerb(iVerb))
        return E_NOTIMPL;
    if (m_inPlaceSite)
        return Show(TRUE);
    IOleClientSite* site = pActiveSite ? pActiveSite : m_clientSite.get();
    if (!site)
        return E_UNEXPECTED;
    IOleDocumentSite* documentSite = nullptr;
    const HRESULT hr = site->QueryInterface(IID_IOleDocumentSite, reinterpret_cast<void**>(&documentSite));
    const CHostReference<IOleDocumentSite> held(documentSite);
    if (FAILED(hr))
        return hr;
    return documentSite->ActivateMe(nullptr);
}

STDMETHODIMP CPageDocument::Exec(const GUID* group, DWORD id, DWORD, VARIANT*, VARIANT*)
{
    if (group)
        return OLECMDERR_E_UNKNOWNGROUP;
    if (id != OLECMDID_REFRESH)
        return OLECMDERR_E_NOTSUPPORTED;
    return FetchAgain();
}

STDMETHODIMP CPageDocument::CreateView(IOleInPlaceSite* pIPSite, IStream* pstm, DWORD, IOleDocumentView** ppView)
{
    if (!ppView)
        return E_POINTER;
    *ppView = nullptr;
    if (pstm)
        return E_NOTIMPL;
    if (pIPSite)
        SetInPlaceSite(pIPSite);
    return Answer(static_cast<IOleDocumentView*>(this), reinterpret_cast<void**>(ppView));
}

STDMETHODIMP CPageDocument::GetDocMiscStatus(DWORD* pdwStatus)
{
    if (!pdwStatus)
        return E_POINTER;
    *pdwStatus = 0;
    return S_OK;
}

STDMETHODIMP CPageDocument::SetInPlaceSite(IOleInPlaceSite* pIPSite)
{
    if (!pIPSite)
        CloseView(0);
    m_inPlaceSite = ShareReference(pIPSite);
    return S_OK;
}

STDMETHODIMP CPageDocument::GetInPlaceSite(IOleInPlaceSite** ppIPSite)
{
    if (!ppIPSite)
        return E_POINTER;
    *ppIPSite = ShareReference(m_inPlaceSite.get()).release();
    return S_OK;
}

STDMETHODIMP CPageDocument::GetDocument(IUnknown** ppunk)
{
    return Answer(static_cast<IPersistMoniker*>(this), reinterpret_cast<void**>(ppunk));
}

STDMETHODIMP CPageDocument::SetRect(LPRECT prcView)
{
    if (!prcView)
        return E_INVALIDARG;
    m_viewRect = *prcView;
    if (m_viewWindow)
        MoveWindow(m_viewWindow.get(), m_viewRect.left, m_viewRect.top, m_viewRect.right - m_viewRect.left,
                   m_viewRect.bottom - m_viewRect.top, TRUE);
    return S_OK;
}

STDMETHODIMP CPageDocument::GetRect(LPRECT prcView)
{
    if (!prcView)
        return E_POINTER;
    *prcView = m_viewRect;
    return S_OK;
}

STDMETHODIMP CPageDocument::Show(BOOL fShow)
{
    if (fShow) {
        const HRESULT hr = CreateViewWindow();
        if (FAILED(hr))
            return hr;
    }
    if (m_viewWindow)
        ShowWindow(m_viewWindow.get(), fShow ? SW_SHOW : SW_HIDE);
    return S_OK;
}

STDMETHODIMP CPageDocument::CloseView(DWORD)
{
    m_viewWindow.reset();
    return S_OK;
}

// The view's window is a child of the window the control gives its
// documents, at the place the control set.
HRESULT CPageDocument::CreateViewWindow()
{
    if (m_viewWindow)
        return S_OK;
    if (!m_inPlaceSite)
        return E_UNEXPECTED;
    HWND parent = nullptr;
    const HRESULT hr = m_inPlaceSite->GetWindow(&parent);
    if (FAILED(hr))
        return hr;
    RegisterViewClass();
    m_viewWindow.reset(CreateWindowExW(0, kViewClassName, m_text.c_str(), WS_CHILD, m_viewRect.left, m_viewRect.top,
                                       m_viewRect.right - m_viewRect.left, m_viewRect.bottom - m_viewRect.top, parent,
                                       nullptr, GetModuleHandleW(nullptr), nullptr));
    return m_viewWindow ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

CPageDocumentClass::CPageDocumentClass() : m_loads(std::make_shared<PageLoads>())
{
}

HRESULT CPageDocumentClass::Register(const std::string& contentType)
{
    Revoke();
    if (contentType.empty() || contentType.find('\\') != std::string::npos)
        return E_INVALIDARG;
    m_factory.reset(new (std::nothrow) CPageDocumentFactory(m_loads));
    if (!m_factory)
        return E_OUTOFMEMORY;
    HRESULT hr = CoRegisterClassObject(CLSID_TandrelPageDocument, m_factory.get(), CLSCTX_INPROC_SERVER,
                                       REGCLS_MULTIPLEUSE, &m_cookie);
    if (FAILED(hr)) {
        m_cookie = 0;
        return hr;
    }
    WCHAR classId[40] = L"";
    StringFromGUID2(CLSID_TandrelPageDocument, classId, ARRAYSIZE(classId));
    m_mimeKey = L"MIME\\Database\\Content Type\\" + WideFromUtf8(contentType);
    HKEY key = nullptr;
    LONG error = RegCreateKeyExW(HKEY_CLASSES_ROOT, m_mimeKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                 nullptr);
    const std::unique_ptr<std::remove_pointer_t<HKEY>, CCloseKey> heldKey(key);
    if (error == ERROR_SUCCESS)
        error = RegSetValueExW(key, L"CLSID", 0, REG_SZ, reinterpret_cast<const BYTE*>(classId),
                               static_cast<DWORD>((lstrlenW(classId) + 1) * sizeof(WCHAR)));
    return HRESULT_FROM_WIN32(error);
}

void CPageDocumentClass::Revoke()
{
    if (!m_mimeKey.empty())
        RegDeleteKeyW(HKEY_CLASSES_ROOT, m_mimeKey.c_str());
    m_mimeKey.clear();
    if (m_cookie)
        CoRevokeClassObject(m_cookie);
    m_cookie = 0;
    m_factory.reset();
}
