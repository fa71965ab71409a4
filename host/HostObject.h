#pragma once
#include <windows.h>
#include <unknwn.h>

#include <memory>

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

// The host's own hold on a COM object: one reference, released with the
// holder. The stand-in sees nothing of the product but its DLL, so it holds
// references as any client does, with the standard library's owner.
struct CReleaseReference {
    template <class Face>
    void operator()(Face* face) const
    {
        face->Release();
    }
};
template <class Face>
using CHostReference = std::unique_ptr<Face, CReleaseReference>;

// A reference of the holder's own to face (none for null).
template <class Face>
CHostReference<Face> ShareReference(Face* face)
{
    if (face)
        face->AddRef();
    return CHostReference<Face>(face);
}
