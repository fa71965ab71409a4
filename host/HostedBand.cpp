#include "host/HostedBand.h"

namespace {

const DWORD kEveryBandInfoField = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE |
                                  DBIM_MODEFLAGS | DBIM_BKCOLOR;

HRESULT SetBandSite(IDeskBand* band, IUnknown* site)
{
    IObjectWithSite* withSite = nullptr;
    HRESULT hr = band->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite));
    const CHostReference<IObjectWithSite> held(withSite);
    if (SUCCEEDED(hr))
        hr = withSite->SetSite(site);
    return hr;
}

} // namespace

HRESULT CHostedBand::Open(IDeskBand* band, IUnknown* site)
{
    Close();
    m_band.reset(band);
    HRESULT hr = SetBandSite(m_band.get(), site);
    if (SUCCEEDED(hr))
        hr = FetchInfo();
    if (FAILED(hr))
        return hr;
    return m_band->ShowDW(TRUE);
}

HRESULT CHostedBand::FetchInfo()
{
    m_info = {};
    m_info.dwMask = kEveryBandInfoField;
    return m_band->GetBandInfo(0, DBIF_VIEWMODE_NORMAL, &m_info);
}

void CHostedBand::Close()
{
    if (!m_band)
        return;
    m_band->ShowDW(FALSE);
    m_band->CloseDW(0);
    SetBandSite(m_band.get(), nullptr);
    m_band.reset();
}

HWND CHostedBand::Window() const
{
    HWND hwnd = nullptr;
    if (m_band)
        m_band->GetWindow(&hwnd);
    return hwnd;
}
