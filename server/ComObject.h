#pragma once
#include <windows.h>
#include <unknwn.h>

#include <memory>
#include <new>

#include "server/InterfaceMap.h"
#include "server/Module.h"
#include "server/ObjectRoot.h"

// The wrappers that give a class its IUnknown. T supplies the faces and a
// static GetInterfaceMap(); the wrapper supplies the counting.

// The Release every owning wrapper shares: the count that reaches exactly 0
// destroys the object, and the new count is what the caller gets back.
template <class Object>
LONG ReleaseAndDestroyAtZero(Object* object)
{
    const LONG count = object->InternalRelease();
    if (count == 0)
        delete object;
    return count;
}

// One module lock for an object's lifetime. A wrapper names it as its first
// base, so the lock is taken before the wrapped class is constructed and given
// back only after the class's destructor has finished: until then the module
// still runs code of the object and must not be unloaded.
class CModuleLockForObject {
protected:
    CModuleLockForObject() { g_pModule->Lock(); }
    ~CModuleLockForObject() { g_pModule->Unlock(); }
    CModuleLockForObject(const CModuleLockForObject&) = delete;
    CModuleLockForObject& operator=(const CModuleLockForObject&) = delete;
};

// T alone: a plain count, one module lock for the object's lifetime.
template <class T>
class CComObject : private CModuleLockForObject, public T {
public:
    // The count is spoiled first so that anything the class's destructor
    // releases cannot destroy the object a second time.
    virtual ~CComObject() { this->m_dwRef = kDestroyedRefCount; }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        return InternalQueryInterface(static_cast<T*>(this), T::GetInterfaceMap(), riid, ppv);
    }
    STDMETHOD_(ULONG, AddRef)() override { return this->InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() override { return ReleaseAndDestroyAtZero(this); }
};

// T as the inner part of an aggregate: every IUnknown call on any of its faces
// goes to the controlling object.
template <class T>
class CComContainedObject : public T {
public:
    explicit CComContainedObject(IUnknown* pOuter) { this->m_pOuter = pOuter; }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override { return this->m_pOuter->QueryInterface(riid, ppv); }
    STDMETHOD_(ULONG, AddRef)() override { return this->m_pOuter->AddRef(); }
    STDMETHOD_(ULONG, Release)() override { return this->m_pOuter->Release(); }
};

// The non-delegating inner object a controlling object holds: its own count
// and identity, faces that delegate.
template <class T>
class CComAggObject : private CModuleLockForObject,
                      public IUnknown,
                      public CComObjectRootEx<typename T::ThreadModelType> {
public:
    explicit CComAggObject(IUnknown* pOuter) : m_contained(pOuter) {}
    virtual ~CComAggObject() { this->m_dwRef = kDestroyedRefCount; }

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
        return InternalQueryInterface(static_cast<T*>(&m_contained), T::GetInterfaceMap(), riid, ppv);
    }
    STDMETHOD_(ULONG, AddRef)() override { return this->InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() override { return ReleaseAndDestroyAtZero(this); }

    CComContainedObject<T> m_contained;
};

// A cached object: the cache's own reference holds no module lock, every
// further reference does (one lock for all of them).
template <class T>
class CComObjectCached : public T {
public:
    virtual ~CComObjectCached() { this->m_dwRef = kDestroyedRefCount; }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        return InternalQueryInterface(static_cast<T*>(this), T::GetInterfaceMap(), riid, ppv);
    }
    STDMETHOD_(ULONG, AddRef)() override
    {
        const LONG count = this->InternalAddRef();
        if (count == 2)
            g_pModule->Lock();
        return count;
    }
    STDMETHOD_(ULONG, Release)() override
    {
        const LONG count = ReleaseAndDestroyAtZero(this);
        if (count == 1)
            g_pModule->Unlock();
        return count;
    }
};

// Constructs an object with new; an exception from the allocation or the
// constructor counts as no object.
template <class Object, class... Args>
std::unique_ptr<Object> ConstructOrNull(Args... args) noexcept
{
    try {
        return std::unique_ptr<Object>(new (std::nothrow) Object(args...));
    } catch (...) {
        return nullptr;
    }
}

// Hands the object to the caller when it answers riid; destroys it otherwise
// (which gives back whatever module lock its construction took).
template <class Object>
HRESULT QueryNewObject(std::unique_ptr<Object> object, REFIID riid, void** ppv)
{
    const HRESULT hr = object->QueryInterface(riid, ppv);
    if (hr != S_OK)
        return hr;
    object.release();
    return S_OK;
}

template <class T>
HRESULT WINAPI CreatePlainObject(void*, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    std::unique_ptr<CComObject<T>> object = ConstructOrNull<CComObject<T>>();
    if (!object)
        return E_OUTOFMEMORY;
    // The class's own construction work belongs between these two, where a
    // reference it hands out and takes back cannot bring the count to zero;
    // the count's return to zero here destroys nothing.
    object->InternalAddRef();
    object->InternalRelease();
    return QueryNewObject(std::move(object), riid, ppv);
}

template <class T>
HRESULT WINAPI CreateAggregatedObject(void* pv, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    std::unique_ptr<CComAggObject<T>> object = ConstructOrNull<CComAggObject<T>>(static_cast<IUnknown*>(pv));
    if (!object)
        return E_OUTOFMEMORY;
    return QueryNewObject(std::move(object), riid, ppv);
}

template <class T, const CLSID* pclsid>
HRESULT WINAPI CComCoClass<T, pclsid>::CreateBandObject(void* pv, REFIID riid, void** ppv)
{
    return pv ? CreateAggregatedObject<T>(pv, riid, ppv) : CreatePlainObject<T>(nullptr, riid, ppv);
}
