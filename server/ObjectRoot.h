#pragma once
#include <windows.h>
#include <unknwn.h>

#include "server/InterfaceMap.h"
#include "server/Module.h"

// How a class counts its references: plain counters for objects that live in
// one apartment, interlocked ones for objects any thread may reach.
struct CComSingleThreadModel {
    static LONG Increment(LONG* p) { return ++*p; }
    static LONG Decrement(LONG* p) { return --*p; }
};

struct CComMultiThreadModel {
    static LONG Increment(LONG* p) { return InterlockedIncrement(p); }
    static LONG Decrement(LONG* p) { return InterlockedDecrement(p); }
};

// Count written while a wrapper is being destroyed, so that a stray AddRef or
// Release from a destructor cannot bring the count back to zero.
const LONG kDestroyedRefCount = -1073741823; // 0xC0000001

// The reference count of every object; as the inner part of an aggregate the
// same place holds the controlling object instead.
template <class ThreadModel>
class CComObjectRootEx {
public:
    typedef ThreadModel ThreadModelType;

    CComObjectRootEx() : m_dwRef(0) {}

    LONG InternalAddRef() { return ThreadModel::Increment(&m_dwRef); }
    LONG InternalRelease() { return ThreadModel::Decrement(&m_dwRef); }

    union {
        LONG m_dwRef;
        IUnknown* m_pOuter; // not an owning reference
    };
};

// Gives a class its object-map functions: creation alone or inside a
// controlling object, and neither a description nor component categories.
template <class T, const CLSID* pclsid>
class CComCoClass {
public:
    // A null pv creates a plain object, otherwise an aggregate controlled by pv.
    static HRESULT WINAPI CreateBandObject(void* pv, REFIID riid, void** ppv);
    static LPCSTR WINAPI GetClassDescription() { return nullptr; }
    static const CategoryMapEntry* WINAPI GetClassCategoryMap() { return nullptr; }
};
