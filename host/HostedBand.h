#pragma once
#include <windows.h>
#include <shlobj.h>

#include "host/HostObject.h"

// A band in its host, driven in the order a browser drives its toolbar
// bands: SetSite, GetBandInfo, ShowDW(TRUE) to open; ShowDW(FALSE), CloseDW,
// SetSite(NULL) and the final Release to close.
class CHostedBand {
public:
    CHostedBand() = default;
    ~CHostedBand() { Close(); }
    CHostedBand(const CHostedBand&) = delete;
    CHostedBand& operator=(const CHostedBand&) = delete;

    // Takes over the caller's reference to band; the band info asks for every
    // field.
    HRESULT Open(IDeskBand* band, IUnknown* site);
    void Close();
    // The band info asked for again, as after the band's news that it changed.
    HRESULT FetchInfo();

    IDeskBand* Band() const { return m_band.get(); }
    HWND Window() const;
    const DESKBANDINFO& Info() const { return m_info; }

private:
    CHostReference<IDeskBand> m_band;
    DESKBANDINFO m_info = {};
};
