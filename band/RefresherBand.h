#pragma once
#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>
#include <shlobj.h>

#include "TandrelLib.h"
#include "band/BandWindow.h"
#include "band/ObjectWithSiteImpl.h"
#include "server/DispatchImpl.h"
#include "server/InterfaceMap.h"
#include "server/Module.h"
#include "server/ObjectRoot.h"
#include "support/Owners.h"

// The toolbar band: its COM faces and its connection to the site, through
// which it reaches the browser. Its window (CBandWindow) shows the setting,
// offers the intervals in a popup menu and asks the band to reload the
// browser's page on every tick of its timer. The COM wrappers supply its
// IUnknown; everything else it answers itself.
class CRefresherBand : public CComObjectRootEx<CComSingleThreadModel>,
                       public CComCoClass<CRefresherBand, &CLSID_RefresherBand>,
                       public IObjectWithSiteImpl<CRefresherBand>,
                       public IDispatchImpl<IRefresherBand, &IID_IRefresherBand, &LIBID_TANDRELLib, 1, 0,
                                            CComTypeInfoHolder>,
                       public IPersistStream,
                       public IDeskBand,
                       public IInputObject,
                       private IBandWindowOwner {
public:
    CRefresherBand();
    CRefresherBand(const CRefresherBand&) = delete;
    CRefresherBand& operator=(const CRefresherBand&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap();
    // Compatible with the browser's AppContainer tabs: the band keeps its
    // setting where such a tab may write (RememberedInterval.h).
    static const CategoryMapEntry* WINAPI GetClassCategoryMap();

    // IObjectWithSite
    STDMETHOD(SetSite)(IUnknown* pUnkSite) override;

    // IPersist and IPersistStream: the setting lives in the registry, never
    // in the host's stream.
    STDMETHOD(GetClassID)(CLSID* pClassID) override;
    STDMETHOD(IsDirty)() override;
    STDMETHOD(Load)(IStream* pStream) override;
    STDMETHOD(Save)(IStream* pStream, BOOL fClearDirty) override;
    STDMETHOD(GetSizeMax)(ULARGE_INTEGER* pcbSize) override;

    // IOleWindow, IDockingWindow and IDeskBand
    STDMETHOD(GetWindow)(HWND* phwnd) override;
    STDMETHOD(ContextSensitiveHelp)(BOOL fEnterMode) override;
    STDMETHOD(ShowDW)(BOOL fShow) override;
    STDMETHOD(CloseDW)(DWORD dwReserved) override;
    STDMETHOD(ResizeBorderDW)(LPCRECT prcBorder, IUnknown* punkToolbarSite, BOOL fReserved) override;
    STDMETHOD(GetBandInfo)(DWORD dwBandID, DWORD dwViewMode, DESKBANDINFO* pdbi) override;

    // IInputObject
    STDMETHOD(UIActivateIO)(BOOL fActivate, MSG* pMsg) override;
    STDMETHOD(HasFocusIO)() override;
    STDMETHOD(TranslateAcceleratorIO)(MSG* pMsg) override;

private:
    // The band's share of the connection to a site, beyond keeping it.
    void DisconnectFromSite();
    void ConnectToSite(IUnknown* pUnkSite);
    void ReachBrowser();
    // The remembered interval, timed and shown at once; without one the band
    // keeps its setting.
    BOOL LoadSettings();

    // IBandWindowOwner
    IUnknown* Unknown() override;
    void RefreshBrowser() override;
    void FocusChanged(BOOL fGained) override;
    void BandInfoChanged() override;

    CInterfacePtr<IInputObjectSite> m_pInputObjectSite;
    CInterfacePtr<IWebBrowser2> m_pWebBrowser;
    HWND m_hWndParent;
    // Last, so that the window goes first when the band does.
    CBandWindow m_window;
};
