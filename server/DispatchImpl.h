#pragma once
#include <windows.h>
#include <oaidl.h>

// One row of the name-to-DISPID cache.
struct NameCacheEntry {
    BSTR bstrName; // owned; null until filled
    int nLength;   // in UTF-16 code units
    DISPID dispid;
};

// Type information of one dual interface, loaded from the registered type
// library on first use and shared by every object that has the interface. An
// aggregate, so that a static holder is ready before any constructor runs.
struct CComTypeInfoHolder {
    const GUID* m_pInterfaceId;
    const GUID* m_pLibraryId;
    WORD m_wMajor;
    WORD m_wMinor;
    ITypeInfo* m_pTypeInfo;
    NameCacheEntry* m_pNameCache; // published only once complete
    int m_nNameCount;

    HRESULT GetTypeInfo(UINT itinfo, LCID lcid, ITypeInfo** pptinfo);
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgdispid);
    HRESULT Invoke(IDispatch* pInstance, DISPID dispidMember, REFIID riid, LCID lcid, WORD wFlags,
                   DISPPARAMS* pdispparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo, UINT* puArgErr);

    HRESULT EnsureTypeInfo(LCID lcid);
    HRESULT LoadTypeInfo(LCID lcid);
    HRESULT BuildNameCache(ITypeInfo* pTypeInfo);
    // Termination function of the module; dwData is the holder.
    static void WINAPI ReleaseTypeInfo(DWORD_PTR dwData);

private:
    HRESULT LoadFromRegisteredLibrary(LCID lcid);
    const NameCacheEntry* FindCachedName(LPCOLESTR name) const;
};

// Whether a and b are the same COM object (compared through IUnknown).
bool IsEqualObject(IUnknown* a, IUnknown* b);

// The IDispatch operations of a dual interface, answered from version
// major.minor of the library plibid through one holder per interface.
template <class Interface, const IID* piid, const GUID* plibid, WORD wMajor, WORD wMinor,
          class Holder = CComTypeInfoHolder>
class IDispatchImpl : public Interface {
public:
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override
    {
        if (!pctinfo)
            return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT itinfo, LCID lcid, ITypeInfo** pptinfo) override
    {
        return s_typeInfo.GetTypeInfo(itinfo, lcid, pptinfo);
    }
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgdispid) override
    {
        return s_typeInfo.GetIDsOfNames(riid, rgszNames, cNames, lcid, rgdispid);
    }
    STDMETHOD(Invoke)(DISPID dispidMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pdispparams,
                      VARIANT* pvarResult, EXCEPINFO* pexcepinfo, UINT* puArgErr) override
    {
        return s_typeInfo.Invoke(static_cast<Interface*>(this), dispidMember, riid, lcid, wFlags, pdispparams,
                                 pvarResult, pexcepinfo, puArgErr);
    }

    static Holder s_typeInfo;
};

template <class Interface, const IID* piid, const GUID* plibid, WORD wMajor, WORD wMinor, class Holder>
Holder IDispatchImpl<Interface, piid, plibid, wMajor, wMinor, Holder>::s_typeInfo = {piid, plibid, wMajor, wMinor,
                                                                                     nullptr, nullptr, 0};
