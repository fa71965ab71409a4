#pragma once
#include <windows.h>
#include <oleauto.h>

#include <utility>

// Scope owners for the kinds of resources the system holds: a COM interface
// pointer, an automation string, a handle of any kind, the blocks a type
// description lends out and allocator blocks. Each releases exactly once and
// hands its resource over only on request.

template <typename T>
class CInterfacePtr {
public:
    CInterfacePtr() = default;
    CInterfacePtr(const CInterfacePtr&) = delete;
    CInterfacePtr& operator=(const CInterfacePtr&) = delete;
    CInterfacePtr(CInterfacePtr&& other) noexcept : m_p(other.Detach()) {}
    CInterfacePtr& operator=(CInterfacePtr&& other) noexcept
    {
        Reset(other.Detach());
        return *this;
    }
    ~CInterfacePtr() { Reset(); }

    // Takes over a reference the caller already owns.
    static CInterfacePtr Adopt(T* p)
    {
        CInterfacePtr result;
        result.m_p = p;
        return result;
    }
    // Takes a reference of its own.
    static CInterfacePtr Share(T* p)
    {
        if (p)
            p->AddRef();
        return Adopt(p);
    }

    void Reset(T* p = nullptr)
    {
        T* old = m_p;
        m_p = p;
        if (old)
            old->Release();
    }
    T* Detach() { return std::exchange(m_p, nullptr); }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // Out-parameter access; anything held is released first.
    T** Receive()
    {
        Reset();
        return &m_p;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    template <typename U>
    HRESULT QueryInto(REFIID iid, CInterfacePtr<U>& target) const
    {
        return m_p->QueryInterface(iid, target.ReceiveVoid());
    }

private:
    T* m_p = nullptr;
};

class CBstr {
public:
    CBstr() = default;
    explicit CBstr(const OLECHAR* text) : m_bstr(SysAllocString(text)) {}
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    ~CBstr() { SysFreeString(m_bstr); }

    BSTR Get() const { return m_bstr; }
    BSTR Detach() { return std::exchange(m_bstr, nullptr); }
    BSTR* Receive()
    {
        SysFreeString(std::exchange(m_bstr, nullptr));
        return &m_bstr;
    }

private:
    BSTR m_bstr = nullptr;
};

// A block from an allocator whose release function is Free.
template <typename T, void (*Free)(void*)>
class CAllocatedBlock {
public:
    CAllocatedBlock() = default;
    explicit CAllocatedBlock(T* p) : m_p(p) {}
    CAllocatedBlock(const CAllocatedBlock&) = delete;
    CAllocatedBlock& operator=(const CAllocatedBlock&) = delete;
    ~CAllocatedBlock() { Reset(); }

    void Reset(T* p = nullptr)
    {
        T* old = std::exchange(m_p, p);
        if (old)
            Free(old);
    }
    T* Get() const { return m_p; }
    T* Detach() { return std::exchange(m_p, nullptr); }
    T** Receive()
    {
        Reset();
        return &m_p;
    }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

// The owner of one handle of a kind that Release gives back (FreeLibrary,
// DestroyMenu, ...); the null handle is none and is never released. Moving
// hands the handle over and leaves none behind.
template <typename Handle, auto Release>
class CUniqueAny {
public:
    CUniqueAny() = default;
    explicit CUniqueAny(Handle handle) : m_handle(handle) {}
    CUniqueAny(const CUniqueAny&) = delete;
    CUniqueAny& operator=(const CUniqueAny&) = delete;
    CUniqueAny(CUniqueAny&& other) noexcept : m_handle(other.Detach()) {}
    CUniqueAny& operator=(CUniqueAny&& other) noexcept
    {
        Reset(other.Detach());
        return *this;
    }
    ~CUniqueAny() { Reset(); }

    void Reset(Handle handle = Handle())
    {
        const Handle old = std::exchange(m_handle, handle);
        if (old != Handle())
            Release(old);
    }
    Handle Get() const { return m_handle; }
    Handle Detach() { return std::exchange(m_handle, Handle()); }
    explicit operator bool() const { return m_handle != Handle(); }

private:
    Handle m_handle = Handle();
};

using CModuleHandle = CUniqueAny<HMODULE, FreeLibrary>;
using CMenuHandle = CUniqueAny<HMENU, DestroyMenu>;

// A block that a type description lends out and takes back with its
// member Give (its attributes, one function's description, a library's
// attributes): given back once, when the scope ends, on every path.
template <class Lender, class Block, auto Give>
class CLentBlock {
public:
    explicit CLentBlock(Lender* lender) : m_pLender(lender) {}
    CLentBlock(const CLentBlock&) = delete;
    CLentBlock& operator=(const CLentBlock&) = delete;
    ~CLentBlock() { Reset(); }

    // Out-parameter for the lender's call; anything held is given back first.
    Block** Receive()
    {
        Reset();
        return &m_pBlock;
    }
    const Block* operator->() const { return m_pBlock; }
    const Block& operator*() const { return *m_pBlock; }

private:
    void Reset()
    {
        if (Block* old = std::exchange(m_pBlock, nullptr))
            (m_pLender->*Give)(old);
    }

    Lender* m_pLender;
    Block* m_pBlock = nullptr;
};

using CTypeAttributes = CLentBlock<ITypeInfo, TYPEATTR, &ITypeInfo::ReleaseTypeAttr>;
using CFunctionDescription = CLentBlock<ITypeInfo, FUNCDESC, &ITypeInfo::ReleaseFuncDesc>;
using CLibraryAttributes = CLentBlock<ITypeLib, TLIBATTR, &ITypeLib::ReleaseTLibAttr>;

// CoTaskMemFree is stdcall; the owner template takes a plain function.
inline void FreeTaskMemory(void* p)
{
    CoTaskMemFree(p);
}

template <typename T>
using CTaskMemBlock = CAllocatedBlock<T, FreeTaskMemory>;
