#include "host/TandrelLibrary.h"

#include "TandrelLib.h"
#include "support/Owners.h"

namespace {

template <typename Function>
Function Export(HMODULE hModule, LPCSTR name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(hModule, name)));
}

} // namespace

CTandrelLibrary::CTandrelLibrary(LPCSTR path) : m_hModule(LoadLibraryA(path))
{
    if (!m_hModule)
        return;
    m_pfnGetClassObject = Export<GetClassObjectFunction>(m_hModule, "DllGetClassObject");
    m_pfnCanUnloadNow = Export<CanUnloadNowFunction>(m_hModule, "DllCanUnloadNow");
}

CTandrelLibrary::~CTandrelLibrary()
{
    Unload();
}

void CTandrelLibrary::Unload()
{
    if (m_hModule)
        FreeLibrary(m_hModule);
    m_hModule = nullptr;
    m_pfnGetClassObject = nullptr;
    m_pfnCanUnloadNow = nullptr;
}

HRESULT CTandrelLibrary::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) const
{
    if (!m_pfnGetClassObject)
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    return m_pfnGetClassObject(rclsid, riid, ppv);
}

HRESULT CTandrelLibrary::CanUnloadNow() const
{
    if (!m_pfnCanUnloadNow)
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    return m_pfnCanUnloadNow();
}

HRESULT CTandrelLibrary::CreateBand(REFIID riid, void** ppv) const
{
    CInterfacePtr<IClassFactory> factory;
    const HRESULT hr = GetClassObject(CLSID_RefresherBand, IID_IClassFactory, factory.ReceiveVoid());
    if (FAILED(hr))
        return hr;
    return factory->CreateInstance(nullptr, riid, ppv);
}
