#include "band/RefresherBand.h"

#include <shlguid.h>

#include "band/RefreshSchedule.h"
#include "band/RememberedInterval.h"

namespace {

const char kBandTitle[] = "Refresher";
// Sizes at 96 DPI.
const POINTL kMinSize = {200, 25};
const POINTL kMaxSize = {-1, 30};
const POINTL kIntegral = {1, 1};
const POINTL kActualSize = {200, 25};

} // namespace

CRefresherBand::CRefresherBand() : m_hWndParent(nullptr), m_window(*this)
{
}

const InterfaceMapEntry* CRefresherBand::GetInterfaceMap()
{
    typedef IDispatchImpl<IRefresherBand, &IID_IRefresherBand, &LIBID_TANDRELLib, 1, 0, CComTypeInfoHolder>
        DispatchFace;
    static const InterfaceMapEntry entries[] = {
        PlainInterfaceRow<DispatchFace, CRefresherBand>(IID_IRefresherBand),
        PlainInterfaceRow<DispatchFace, CRefresherBand>(IID_IDispatch),
        PlainInterfaceRow<IObjectWithSite, CRefresherBand>(IID_IObjectWithSite),
        PlainInterfaceRow<IPersistStream, CRefresherBand>(IID_IPersist),
        PlainInterfaceRow<IPersistStream, CRefresherBand>(IID_IPersistStream),
        PlainInterfaceRow<IDeskBand, CRefresherBand>(IID_IDeskBand),
        PlainInterfaceRow<IInputObject, CRefresherBand>(IID_IInputObject),
        EndOfInterfaceMap(),
    };
    return entries;
}

const CategoryMapEntry* WINAPI CRefresherBand::GetClassCategoryMap()
{
    // CATID_AppContainerCompatible, which the SDK's headers of this toolchain lack.
    static const GUID kAppContainerCompatible = {
        0x59FB2056, 0xD625, 0x48D0, {0xA9, 0x44, 0x1A, 0x85, 0xB5, 0xAB, 0x26, 0x40}};
    static const CategoryMapEntry entries[] = {{kCategoryImplemented, &kAppContainerCompatible},
                                               {kCategoryEnd, nullptr}};
    return entries;
}

// ---- IObjectWithSite

STDMETHODIMP CRefresherBand::SetSite(IUnknown* pUnkSite)
{
    DisconnectFromSite();
    IObjectWithSiteImpl<CRefresherBand>::SetSite(nullptr);
    if (pUnkSite)
        ConnectToSite(pUnkSite);
    return S_OK;
}

void CRefresherBand::DisconnectFromSite()
{
    m_pInputObjectSite.Reset();
    m_pWebBrowser.Reset();
    m_window.StopRefreshTimer();
}

// Nothing here fails the connection: whatever the site does not offer leaves
// the matching member empty.
void CRefresherBand::ConnectToSite(IUnknown* pUnkSite)
{
    // A window made for an earlier site would be orphaned by the new one.
    m_window.Destroy();
    IObjectWithSiteImpl<CRefresherBand>::SetSite(pUnkSite);

    CInterfacePtr<IOleWindow> oleWindow;
    if (SUCCEEDED(pUnkSite->QueryInterface(IID_IOleWindow, oleWindow.ReceiveVoid()))) {
        // A failing GetWindow must not leave an earlier site's window as parent.
        m_hWndParent = nullptr;
        oleWindow->GetWindow(&m_hWndParent);
        oleWindow.Reset();
        m_window.CreateBandWindow(m_hWndParent);
    }

    CInterfacePtr<IInputObjectSite> inputObjectSite;
    if (SUCCEEDED(pUnkSite->QueryInterface(IID_IInputObjectSite, inputObjectSite.ReceiveVoid()))) {
        m_pInputObjectSite = std::move(inputObjectSite);
        ReachBrowser();
    }

    LoadSettings();
}

// The browser is reached only through the input-object site.
void CRefresherBand::ReachBrowser()
{
    CInterfacePtr<IOleCommandTarget> commandTarget;
    if (FAILED(m_pInputObjectSite.QueryInto(IID_IOleCommandTarget, commandTarget)))
        return;
    CInterfacePtr<IServiceProvider> serviceProvider;
    if (FAILED(commandTarget.QueryInto(IID_IServiceProvider, serviceProvider)))
        return;
    CInterfacePtr<IWebBrowser2> webBrowser;
    if (SUCCEEDED(serviceProvider->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, webBrowser.ReceiveVoid())))
        m_pWebBrowser = std::move(webBrowser);
}

BOOL CRefresherBand::LoadSettings()
{
    LONG nInterval = CRefreshSchedule::kNoRefresh;
    if (LoadRememberedInterval(&nInterval))
        m_window.ApplyInterval(nInterval);
    return TRUE;
}

// ---- What the band window asks of the band

IUnknown* CRefresherBand::Unknown()
{
    return static_cast<IDeskBand*>(this);
}

void CRefresherBand::RefreshBrowser()
{
    if (m_pWebBrowser)
        m_pWebBrowser->Refresh();
}

void CRefresherBand::FocusChanged(BOOL fGained)
{
    if (m_pInputObjectSite)
        m_pInputObjectSite->OnFocusChangeIS(Unknown(), fGained);
}

// No band identifier is given: the host asks all its bands, this one among
// them.
void CRefresherBand::BandInfoChanged()
{
    CInterfacePtr<IOleCommandTarget> commandTarget;
    if (m_pUnkSite && SUCCEEDED(m_pUnkSite.QueryInto(IID_IOleCommandTarget, commandTarget)))
        commandTarget->Exec(&CGID_DeskBand, DBID_BANDINFOCHANGED, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr);
}

// ---- IPersist and IPersistStream

STDMETHODIMP CRefresherBand::GetClassID(CLSID* pClassID)
{
    if (!pClassID)
        return E_POINTER;
    *pClassID = CLSID_RefresherBand;
    return S_OK;
}

STDMETHODIMP CRefresherBand::IsDirty()
{
    return S_FALSE;
}

STDMETHODIMP CRefresherBand::Load(IStream*)
{
    return S_OK;
}

STDMETHODIMP CRefresherBand::Save(IStream*, BOOL)
{
    return S_OK;
}

STDMETHODIMP CRefresherBand::GetSizeMax(ULARGE_INTEGER*)
{
    return E_NOTIMPL;
}

// ---- IOleWindow, IDockingWindow and IDeskBand

STDMETHODIMP CRefresherBand::GetWindow(HWND* phwnd)
{
    if (!phwnd)
        return E_POINTER;
    *phwnd = m_window.Handle();
    return S_OK;
}

STDMETHODIMP CRefresherBand::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CRefresherBand::ShowDW(BOOL fShow)
{
    m_window.Show(fShow);
    return S_OK;
}

STDMETHODIMP CRefresherBand::CloseDW(DWORD)
{
    m_window.Close();
    return S_OK;
}

STDMETHODIMP CRefresherBand::ResizeBorderDW(LPCRECT, IUnknown*, BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CRefresherBand::GetBandInfo(DWORD, DWORD, DESKBANDINFO* pdbi)
{
    if (!pdbi)
        return E_INVALIDARG;
    // The host lays the band out in its window's pixels; the width without
    // limit is no length to scale.
    const BandDpi dpi = m_window.Dpi();
    if (pdbi->dwMask & DBIM_MINSIZE)
        pdbi->ptMinSize = ScaledSize(kMinSize, dpi);
    if (pdbi->dwMask & DBIM_MAXSIZE)
        pdbi->ptMaxSize = {kMaxSize.x, ScaledPixels(kMaxSize.y, dpi.y)};
    if (pdbi->dwMask & DBIM_INTEGRAL)
        pdbi->ptIntegral = kIntegral;
    if (pdbi->dwMask & DBIM_ACTUAL)
        pdbi->ptActual = ScaledSize(kActualSize, dpi);
    if (pdbi->dwMask & DBIM_TITLE)
        MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, kBandTitle, -1, pdbi->wszTitle, ARRAYSIZE(pdbi->wszTitle));
    if (pdbi->dwMask & DBIM_MODEFLAGS)
        pdbi->dwModeFlags = DBIMF_VARIABLEHEIGHT;
    // The host paints its own background behind the band.
    pdbi->dwMask &= ~DBIM_BKCOLOR;
    return S_OK;
}

// ---- IInputObject

STDMETHODIMP CRefresherBand::UIActivateIO(BOOL fActivate, MSG*)
{
    if (fActivate)
        m_window.TakeFocus();
    return S_OK;
}

STDMETHODIMP CRefresherBand::HasFocusIO()
{
    return S_FALSE;
}

STDMETHODIMP CRefresherBand::TranslateAcceleratorIO(MSG*)
{
    return S_FALSE;
}
