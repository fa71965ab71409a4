#pragma once
#include <windows.h>
#include <unknwn.h>

#include <utility>

#include "support/Owners.h"

// The reference counting of the host's COM objects (the browser stand-in and
// its site): one plain count for all the faces a class lists. They live on
// the host's user-interface thread, as a browser's own objects do.
template <class... Faces>
class CHostObject : public Faces... {
public:
    CHostObject() = default;
    CHostObject(const CHostObject&) = delete;
    CHostObject& operator=(const CHostObject&) = delete;
    virtual ~CHostObject() = default;

    STDMETHOD_(ULONG, AddRef)() override { return ++m_cRef; }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG count = --m_cRef;
        if (count == 0)
            delete this;
        return count;
    }

    // The references others hold: the tests check that the band gives every
    // one of them back.
    ULONG References() const { return m_cRef; }

protected:
    // Hands out face with a reference, or E_NOINTERFACE.
    template <class Face>
    HRESULT Answer(Face* face, void** ppv)
    {
        if (!ppv)
            return E_POINTER;
        *ppv = face;
        if (!face)
            return E_NOINTERFACE;
        face->AddRef();
        return S_OK;
    }

private:
    ULONG m_cRef = 1;
};

// A new host object, owned by the returned pointer.
template <class T, class... Args>
CInterfacePtr<T> MakeHostObject(Args&&... args)
{
    return CInterfacePtr<T>::Adopt(new T(std::forward<Args>(args)...));
}
