#include "registrar/RegObject.h"

#include "support/Allocation.h"
#include "support/Owners.h"
#include "support/TextConversion.h"

CRegObject::~CRegObject()
{
    ClearSubstitutions();
}

STDMETHODIMP CRegObject::QueryInterface(REFIID, void**)
{
    return E_NOTIMPL;
}

STDMETHODIMP_(ULONG) CRegObject::AddRef()
{
    return 1;
}

STDMETHODIMP_(ULONG) CRegObject::Release()
{
    return 0;
}

namespace {

// An owned copy of a NUL-terminated text of the given character type, on the
// task allocator; null when there is no memory or the size overflows.
template <typename Char>
Char* TaskCopy(const Char* text, int length)
{
    auto* copy = static_cast<Char*>(TaskAllocArray(static_cast<UINT32>(length) + 1, sizeof(Char)));
    if (copy)
        CopyMemory(copy, text, (static_cast<SIZE_T>(length) + 1) * sizeof(Char));
    return copy;
}

// Grows an array of slots by one zeroed slot; false leaves it as it was.
template <typename T>
bool GrowByOneSlot(T**& slots, INT32 count)
{
    auto* grown = static_cast<T**>(TaskReallocArray(slots, static_cast<UINT32>(count) + 1, sizeof(T*)));
    if (!grown)
        return false;
    grown[count] = nullptr;
    slots = grown;
    return true;
}

} // namespace

STDMETHODIMP CRegObject::AddSubstitution(LPCOLESTR name, LPCOLESTR value)
{
    if (!name || !value)
        return E_INVALIDARG;
    CTextConverter converter;
    LPCSTR ansiName = converter.ToAnsi(name, CP_ACP);
    if (!ansiName)
        return E_OUTOFMEMORY;
    CTaskMemBlock<CHAR> nameCopy(TaskCopy(ansiName, lstrlenA(ansiName)));
    CTaskMemBlock<WCHAR> valueCopy(TaskCopy(value, lstrlenW(value)));
    if (!nameCopy || !valueCopy)
        return E_OUTOFMEMORY;
    if (!GrowByOneSlot(m_ppszNames, m_nCount) || !GrowByOneSlot(m_ppszValues, m_nCount))
        return E_OUTOFMEMORY;
    m_ppszNames[m_nCount] = nameCopy.Detach();
    m_ppszValues[m_nCount] = valueCopy.Detach();
    ++m_nCount;
    return S_OK;
}

STDMETHODIMP CRegObject::ClearSubstitutions()
{
    for (INT32 i = 0; i < m_nCount; ++i) {
        CoTaskMemFree(m_ppszNames[i]);
        CoTaskMemFree(m_ppszValues[i]);
    }
    CoTaskMemFree(m_ppszNames);
    CoTaskMemFree(m_ppszValues);
    m_ppszNames = nullptr;
    m_ppszValues = nullptr;
    m_nCount = 0;
    return S_OK;
}

LPCWSTR CRegObject::FindSubstitution(LPCSTR name) const
{
    for (INT32 i = 0; i < m_nCount; ++i) {
        if (lstrcmpiA(m_ppszNames[i], name) == 0)
            return m_ppszValues[i];
    }
    return nullptr;
}
