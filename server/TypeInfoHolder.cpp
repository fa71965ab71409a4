#include "server/DispatchImpl.h"

#include <string.h>

#include <new>

#include "server/Module.h"
#include "support/Owners.h"

namespace {

NameCacheEntry* AllocateNameCache(int count)
{
    try {
        NameCacheEntry* rows = new (std::nothrow) NameCacheEntry[count];
        if (rows) {
            for (int i = 0; i < count; ++i)
                rows[i] = {nullptr, 0, DISPID_UNKNOWN};
        }
        return rows;
    } catch (...) {
        return nullptr;
    }
}

void FreeNameCache(NameCacheEntry* rows, int count)
{
    if (!rows)
        return;
    for (int i = 0; i < count; ++i)
        SysFreeString(rows[i].bstrName);
    delete[] rows;
}

// A row keeps its initial values when the function's description or name
// cannot be read.
void FillNameRow(ITypeInfo* pTypeInfo, UINT index, NameCacheEntry& row)
{
    CFunctionDescription desc(pTypeInfo);
    if (FAILED(pTypeInfo->GetFuncDesc(index, desc.Receive())))
        return;
    CBstr name;
    if (FAILED(pTypeInfo->GetDocumentation(desc->memid, name.Receive(), nullptr, nullptr, nullptr)))
        return;
    row.nLength = static_cast<int>(SysStringLen(name.Get()));
    row.dispid = desc->memid;
    row.bstrName = name.Detach();
}

} // namespace

bool IsEqualObject(IUnknown* a, IUnknown* b)
{
    if (!a)
        return !b;
    if (!b)
        return false;
    CInterfacePtr<IUnknown> identityA;
    CInterfacePtr<IUnknown> identityB;
    a->QueryInterface(IID_IUnknown, identityA.ReceiveVoid());
    b->QueryInterface(IID_IUnknown, identityB.ReceiveVoid());
    return identityA.Get() == identityB.Get();
}

HRESULT CComTypeInfoHolder::GetTypeInfo(UINT itinfo, LCID lcid, ITypeInfo** pptinfo)
{
    if (itinfo != 0)
        return DISP_E_BADINDEX;
    if (!pptinfo)
        return E_POINTER;
    const HRESULT hr = m_pTypeInfo ? S_OK : LoadTypeInfo(lcid);
    *pptinfo = m_pTypeInfo;
    if (!m_pTypeInfo)
        return hr;
    m_pTypeInfo->AddRef();
    return S_OK;
}

HRESULT CComTypeInfoHolder::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgdispid)
{
    const HRESULT hr = EnsureTypeInfo(lcid);
    if (!m_pTypeInfo)
        return hr;
    if (cNames > 0 && (!rgszNames || !rgdispid))
        return E_POINTER;
    if (m_pNameCache && cNames == 1) {
        if (const NameCacheEntry* row = FindCachedName(rgszNames[0])) {
            rgdispid[0] = row->dispid;
            return S_OK;
        }
    }
    return m_pTypeInfo->GetIDsOfNames(rgszNames, cNames, rgdispid);
}

HRESULT CComTypeInfoHolder::Invoke(IDispatch* pInstance, DISPID dispidMember, REFIID, LCID lcid, WORD wFlags,
                                   DISPPARAMS* pdispparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo,
                                   UINT* puArgErr)
{
    const HRESULT hr = EnsureTypeInfo(lcid);
    if (!m_pTypeInfo)
        return hr;
    return m_pTypeInfo->Invoke(pInstance, dispidMember, wFlags, pdispparams, pvarResult, pexcepinfo, puArgErr);
}

HRESULT CComTypeInfoHolder::EnsureTypeInfo(LCID lcid)
{
    if (m_pTypeInfo && m_pNameCache)
        return S_OK;
    return LoadTypeInfo(lcid);
}

HRESULT CComTypeInfoHolder::LoadTypeInfo(LCID lcid)
{
    if (m_pTypeInfo && m_pNameCache)
        return S_OK;
    // A module whose lock failed to initialize, or that has terminated, has
    // nothing to serialize the load with and would never clean up after it.
    if (!g_pModule->m_cbSize)
        return E_UNEXPECTED;
    CCriticalSectionLock lock(g_pModule->m_csModule);
    // Another thread may have loaded it while this one waited for the lock.
    HRESULT hr = m_pTypeInfo ? S_OK : LoadFromRegisteredLibrary(lcid);
    if (m_pTypeInfo && !m_pNameCache)
        hr = BuildNameCache(m_pTypeInfo);
    return hr;
}

// Only the registered library is tried: registration is what makes it
// available, never the module file itself.
HRESULT CComTypeInfoHolder::LoadFromRegisteredLibrary(LCID lcid)
{
    CInterfacePtr<ITypeLib> library;
    HRESULT hr = LoadRegTypeLib(*m_pLibraryId, m_wMajor, m_wMinor, lcid, library.Receive());
    if (FAILED(hr))
        return hr;
    CInterfacePtr<ITypeInfo> typeInfo;
    hr = library->GetTypeInfoOfGuid(*m_pInterfaceId, typeInfo.Receive());
    if (FAILED(hr))
        return hr;
    CInterfacePtr<ITypeInfo2> typeInfo2;
    if (SUCCEEDED(typeInfo->QueryInterface(IID_ITypeInfo2, typeInfo2.ReceiveVoid())) &&
        !IsEqualObject(typeInfo.Get(), typeInfo2.Get()))
        typeInfo.Reset(typeInfo2.Detach());
    m_pTypeInfo = typeInfo.Detach();
    g_pModule->AddTermFunction(ReleaseTypeInfo, reinterpret_cast<DWORD_PTR>(this));
    return hr;
}

HRESULT CComTypeInfoHolder::BuildNameCache(ITypeInfo* pTypeInfo)
{
    CTypeAttributes attr(pTypeInfo);
    // Without attributes the cache stays unbuilt and the next call tries again.
    if (FAILED(pTypeInfo->GetTypeAttr(attr.Receive())))
        return S_OK;
    m_nNameCount = attr->cFuncs;
    m_pNameCache = nullptr;
    if (m_nNameCount == 0)
        return S_OK;
    NameCacheEntry* rows = AllocateNameCache(m_nNameCount);
    if (!rows)
        return E_OUTOFMEMORY;
    for (int i = 0; i < m_nNameCount; ++i)
        FillNameRow(pTypeInfo, static_cast<UINT>(i), rows[i]);
    // Readers take the cache without the lock: it is published complete.
    InterlockedExchangePointer(reinterpret_cast<void**>(&m_pNameCache), rows);
    return S_OK;
}

void WINAPI CComTypeInfoHolder::ReleaseTypeInfo(DWORD_PTR dwData)
{
    CComTypeInfoHolder* holder = reinterpret_cast<CComTypeInfoHolder*>(dwData);
    if (!holder)
        return;
    if (holder->m_pTypeInfo)
        holder->m_pTypeInfo->Release();
    holder->m_pTypeInfo = nullptr;
    FreeNameCache(holder->m_pNameCache, holder->m_nNameCount);
    holder->m_pNameCache = nullptr;
}

// Scans from the last row, so that of two rows with one name the later wins.
// The match is on length and bytes, so it is case-sensitive; a row whose name
// could not be read matches nothing.
const NameCacheEntry* CComTypeInfoHolder::FindCachedName(LPCOLESTR name) const
{
    const int length = lstrlenW(name);
    for (int i = m_nNameCount - 1; i >= 0; --i) {
        const NameCacheEntry& row = m_pNameCache[i];
        if (row.bstrName && row.nLength == length && memcmp(row.bstrName, name, length * sizeof(OLECHAR)) == 0)
            return &row;
    }
    return nullptr;
}
