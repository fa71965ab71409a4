#include "server/InterfaceMap.h"

#include "support/Guid.h"

namespace {

IUnknown* FaceAt(void* pThis, DWORD_PTR dwOffset)
{
    return reinterpret_cast<IUnknown*>(static_cast<BYTE*>(pThis) + dwOffset);
}

HRESULT HandOutFace(void* pThis, DWORD_PTR dwOffset, void** ppv)
{
    IUnknown* face = FaceAt(pThis, dwOffset);
    face->AddRef();
    *ppv = face;
    return S_OK;
}

bool RowMatches(const InterfaceMapEntry& row, REFIID riid)
{
    return row.piid == nullptr || GuidEqual(*row.piid, riid);
}

} // namespace

HRESULT InternalQueryInterface(void* pThis, const InterfaceMapEntry* pEntries, REFIID riid, void** ppv)
{
    if (!pThis || !pEntries)
        return E_INVALIDARG;
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    // The first row's face is the object's identity.
    if (GuidEqual(riid, IID_IUnknown))
        return HandOutFace(pThis, pEntries[0].dwOffset, ppv);
    for (const InterfaceMapEntry* row = pEntries; row->pfnQuery; ++row) {
        if (!RowMatches(*row, riid))
            continue;
        if (row->pfnQuery == PlainRowMarker())
            return HandOutFace(pThis, row->dwOffset, ppv);
        const HRESULT hr = row->pfnQuery(pThis, riid, ppv, row->dwOffset);
        // A blind row may decline with a failure; a row named for riid speaks
        // for it.
        if (hr == S_OK || (FAILED(hr) && row->piid))
            return hr;
    }
    return E_NOINTERFACE;
}
