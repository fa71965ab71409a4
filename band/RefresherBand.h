#pragma once
#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>
#include <shlobj.h>

#include "TandrelLib.h"
#include "band/ObjectWithSiteImpl.h"
#include "server/DispatchImpl.h"
#include "server/InterfaceMap.h"
#include "server/ObjectRoot.h"
#include "support/Owners.h"

// The toolbar band: a small window in the browser's toolbar area that shows
// the refresh setting, offers the intervals in a popup menu and reloads the
// browser's page on every tick of its timer. The COM wrappers supply its
// IUnknown; everything else it answers itself.
class CRefresherBand : public CComObjectRootEx<CComSingleThreadModel>,
                       public CComCoClass<CRefresherBand, &CLSID_RefresherBand>,
                       public IObjectWithSiteImpl<CRefresherBand>,
                       public IDispatchImpl<IRefresherBand, &IID_IRefresherBand, &LIBID_TANDRELLib, 1, 0,
                                            CComTypeInfoHolder>,
                       public IPersistStream,
                       public IDeskBand,
                       public IInputObject {
public:
    CRefresherBand();
    ~CRefresherBand();
    CRefresherBand(const CRefresherBand&) = delete;
    CRefresherBand& operator=(const CRefresherBand&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap();

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

    // The band window (BandWindow.cpp).
    BOOL CreateBandWindow();
    static LRESULT CALLBACK BandWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // The remembered interval (BandSettings.cpp).
    BOOL LoadSettings();
    BOOL SaveSettings();

private:
    // The band's share of the connection to a site, beyond keeping it.
    void DisconnectFromSite();
    void ConnectToSite(IUnknown* pUnkSite);
    void ReachBrowser();
    void DestroyBandWindow();

    // Window handling (BandWindow.cpp).
    static CRefresherBand* FromWindow(HWND hwnd);
    void AttachToWindow(HWND hwnd);
    void DetachFromWindow(HWND hwnd);
    LRESULT OnCommand(HWND hwnd, WORD command);
    LRESULT OnRegisteredMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnPaint(HWND hwnd);
    void OnTimer(UINT_PTR timerId);
    void OnFocusChange(BOOL fGained);
    void RestartTimerAndRepaint(HWND hwnd);

    // The tooltip that tells the time to the next refresh (TimeLeftTip.cpp).
    void RelayToTip(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateTip(HWND hwnd);
    void DestroyTip();
    LRESULT OnNotify(HWND hwnd, const NMHDR* header);
    void OnCountdownTick();
    // The tooltip's text, in a buffer of 80 characters.
    void FormatTimeLeft(LPSTR text) const;
    // The setting as the band shows it, in a buffer of 200 characters.
    void FormatSetting(LPSTR text) const;

    CInterfacePtr<IInputObjectSite> m_pInputObjectSite;
    CInterfacePtr<IWebBrowser2> m_pWebBrowser;
    HWND m_hWnd;
    HWND m_hWndParent;
    LONG m_nInterval;
    HWND m_hWndTip;
    // When the refresh timer was last started or last fired.
    DWORD m_dwCountdownStart;
};
