#include "server/ClassFactory.h"

#include "server/ComObject.h"

const InterfaceMapEntry* CComClassFactory::GetInterfaceMap()
{
    static const InterfaceMapEntry entries[] = {
        PlainInterfaceRow<IClassFactory, CComClassFactory>(IID_IClassFactory),
        EndOfInterfaceMap(),
    };
    return entries;
}

STDMETHODIMP CComClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    // A controlling object may only ask for the inner IUnknown.
    if (pUnkOuter && !IsEqualIID(riid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    return m_pfnCreateObject(pUnkOuter, riid, ppvObject);
}

// Unlocks are not matched against earlier locks: callers balance their calls.
STDMETHODIMP CComClassFactory::LockServer(BOOL fLock)
{
    if (fLock)
        g_pModule->Lock();
    else
        g_pModule->Unlock();
    return S_OK;
}

HRESULT WINAPI CreateFactoryObject(void* pv, REFIID riid, void** ppv)
{
    typedef CComObjectCached<CComClassFactory> Factory;
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    std::unique_ptr<Factory> factory = ConstructOrNull<Factory>();
    if (!factory)
        return E_OUTOFMEMORY;
    factory->m_pfnCreateObject = reinterpret_cast<CreatorFunction>(pv);
    const HRESULT hr = factory->InitializeLock();
    if (FAILED(hr))
        return hr;
    return QueryNewObject(std::move(factory), riid, ppv);
}
