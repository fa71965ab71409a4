#pragma once
#include <windows.h>
#include <unknwn.h>

#include "server/InterfaceMap.h"
#include "server/Module.h"
#include "server/ObjectRoot.h"
#include "support/CriticalSection.h"

// The class factory the module caches for each class of its object map. It
// leaves IUnknown to its wrapper, which is always CComObjectCached.
class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComMultiThreadModel> {
public:
    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
    STDMETHOD(LockServer)(BOOL fLock) override;

    static const InterfaceMapEntry* GetInterfaceMap();

    HRESULT InitializeLock() { return m_csFactory.Init(); }

    CSafeCriticalSection m_csFactory;
    CreatorFunction m_pfnCreateObject = nullptr;
};

// Object-map factory creation: pv is the CreatorFunction of the instances.
HRESULT WINAPI CreateFactoryObject(void* pv, REFIID riid, void** ppv);
