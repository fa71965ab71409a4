#pragma once
#include <windows.h>
#include <ocidl.h>

#include "support/Owners.h"

// The IObjectWithSite face of a class T: keeps the site last given, with a
// reference of its own, and answers GetSite from it. A class that needs more
// on connection overrides SetSite and calls this one for the keeping.
template <class T>
class IObjectWithSiteImpl : public IObjectWithSite {
public:
    STDMETHOD(SetSite)(IUnknown* pUnkSite) override
    {
        m_pUnkSite = CInterfacePtr<IUnknown>::Share(pUnkSite);
        return S_OK;
    }

    STDMETHOD(GetSite)(REFIID riid, void** ppvSite) override
    {
        if (!ppvSite)
            return E_POINTER;
        if (!m_pUnkSite) {
            *ppvSite = nullptr;
            return E_FAIL;
        }
        return m_pUnkSite->QueryInterface(riid, ppvSite);
    }

protected:
    CInterfacePtr<IUnknown> m_pUnkSite;
};
