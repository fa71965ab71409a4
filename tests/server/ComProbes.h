#pragma once
#include <windows.h>
#include <objbase.h>

// Whether Tandrel.DLL is still mapped into the test program, whoever loaded it.
inline bool IsServerMapped()
{
    return GetModuleHandleA("Tandrel.DLL") != nullptr;
}

// The reference count an object reports, read by a balanced AddRef/Release.
inline ULONG ReferenceCount(IUnknown* p)
{
    p->AddRef();
    return p->Release();
}

// A controlling object for aggregation tests: its own identity and count, and
// every other interface answered by the inner object it holds.
class COuterObject : public IUnknown {
public:
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown)) {
            AddRef();
            *ppv = static_cast<IUnknown*>(this);
            return S_OK;
        }
        return m_pInner ? m_pInner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_nRef; }
    STDMETHOD_(ULONG, Release)() override { return --m_nRef; }

    // The object lives on the test's stack: its count is watched, never acted on.
    ULONG m_nRef = 1;
    IUnknown* m_pInner = nullptr;
};
