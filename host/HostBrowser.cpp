#include "host/HostBrowser.h"

CHostBrowser::CHostBrowser()
{
    LoadPage();
}

STDMETHODIMP CHostBrowser::QueryInterface(REFIID riid, void** ppv)
{
    const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                       IsEqualIID(riid, IID_IWebBrowser) || IsEqualIID(riid, IID_IWebBrowserApp) ||
                       IsEqualIID(riid, IID_IWebBrowser2);
    return Answer(known ? static_cast<IWebBrowser2*>(this) : nullptr, ppv);
}

STDMETHODIMP CHostBrowser::Refresh()
{
    m_refreshTimes.push_back(HostClockMilliseconds());
    LoadPage();
    return S_OK;
}

void CHostBrowser::LoadPage()
{
    ++m_nLoads;
    GetLocalTime(&m_lastLoad);
    if (m_observer)
        m_observer();
}

double HostClockMilliseconds()
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}
