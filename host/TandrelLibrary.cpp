#include "host/TandrelLibrary.h"

#include "TandrelLib.h"
#include "host/HostObject.h"

namespace {

template <typename Function>
Function Export(HMODULE hModule, LPCSTR name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(hModule, name)));
}

} // namespace

CTandrelLibrary::CTandrelLibrary(LPCSTR path) : m_module(LoadLibraryA(path))
{
    if (!m_module)
        return;
    m_pfnGetClassObject = Export<GetClassObjectFunction>(m_module.get(), "DllGetClassObject");
    m_pfnCanUnloadNow = Export<CanUnloadNowFunction>(m_module.get(), "DllCanUnloadNow");
}

void CTandrelLibrary::Unload()
{
    m_module.reset();
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
    IClassFactory* factory = nullptr;
    const HRESULT hr = GetClassObject(CLSID_RefresherBand, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    const CHostReference<IClassFactory> held(factory);
    return factory->CreateInstance(nullptr, riid, ppv);
}
