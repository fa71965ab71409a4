#pragma once
#include <windows.h>
#include <unknwn.h>

// A query function answers one row of an interface map that is not a plain
// face: it gets the object start, the requested id, the out pointer and the
// row's dwOffset.
typedef HRESULT(WINAPI* InterfaceQueryFunction)(void* pThis, REFIID riid, void** ppv, DWORD_PTR dwData);

// One row of the table every QueryInterface in the server walks. pfnQuery null
// ends the map; the value 1 marks a plain row whose face lies dwOffset bytes
// from the object start. A null piid matches every interface id.
struct InterfaceMapEntry {
    const IID* piid;
    DWORD_PTR dwOffset;
    InterfaceQueryFunction pfnQuery;
};

inline InterfaceQueryFunction PlainRowMarker()
{
    return reinterpret_cast<InterfaceQueryFunction>(static_cast<DWORD_PTR>(1));
}

// Distance from the start of Class to its Face base.
template <class Face, class Class>
DWORD_PTR FaceOffset()
{
    // Any suitably aligned non-null address serves: only the difference counts.
    const DWORD_PTR base = 0x1000;
    return reinterpret_cast<DWORD_PTR>(static_cast<Face*>(reinterpret_cast<Class*>(base))) - base;
}

// A plain row: riid is answered by the Face base of Class.
template <class Face, class Class>
InterfaceMapEntry PlainInterfaceRow(const IID& riid)
{
    return {&riid, FaceOffset<Face, Class>(), PlainRowMarker()};
}

inline InterfaceMapEntry EndOfInterfaceMap()
{
    return {nullptr, 0, nullptr};
}

// The table-driven lookup; pThis is the start of the object whose map this is.
HRESULT InternalQueryInterface(void* pThis, const InterfaceMapEntry* pEntries, REFIID riid, void** ppv);
