#pragma once
#include <windows.h>
#include <objbase.h>

#include <string>

#include "TandrelLib.h"

// Tandrel.DLL loaded through the real loader from the test program's own
// folder, with its two class-object entry points. The destructor gives the
// load back, which unloads the DLL when nothing else holds it.
class CLoadedServer {
public:
    typedef HRESULT(WINAPI* CanUnloadNowFunction)();
    typedef HRESULT(WINAPI* GetClassObjectFunction)(REFCLSID, REFIID, void**);

    CLoadedServer() : m_hModule(LoadLibraryA(ServerPath().c_str()))
    {
        if (m_hModule) {
            m_pfnCanUnloadNow = reinterpret_cast<CanUnloadNowFunction>(reinterpret_cast<void*>(GetProcAddress(m_hModule, "DllCanUnloadNow")));
            m_pfnGetClassObject =
                reinterpret_cast<GetClassObjectFunction>(reinterpret_cast<void*>(GetProcAddress(m_hModule, "DllGetClassObject")));
        }
    }
    ~CLoadedServer() { Unload(); }
    CLoadedServer(const CLoadedServer&) = delete;
    CLoadedServer& operator=(const CLoadedServer&) = delete;

    bool IsLoaded() const { return m_hModule && m_pfnCanUnloadNow && m_pfnGetClassObject; }
    HMODULE Module() const { return m_hModule; }

    HRESULT CanUnloadNow() const { return m_pfnCanUnloadNow(); }
    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) const
    {
        return m_pfnGetClassObject(rclsid, riid, ppv);
    }

    // A band made through the server's class factory, which is given back at
    // once; the first failure is the result.
    HRESULT CreateBand(REFIID riid, void** ppv) const
    {
        IClassFactory* factory = nullptr;
        HRESULT hr = GetClassObject(CLSID_RefresherBand, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        if (FAILED(hr))
            return hr;
        hr = factory->CreateInstance(nullptr, riid, ppv);
        factory->Release();
        return hr;
    }

    void Unload()
    {
        if (m_hModule)
            FreeLibrary(m_hModule);
        m_hModule = nullptr;
        m_pfnCanUnloadNow = nullptr;
        m_pfnGetClassObject = nullptr;
    }

    static std::string ServerPath()
    {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string folder(path);
        folder.resize(folder.find_last_of('\\') + 1);
        return folder + "Tandrel.DLL";
    }

    static bool IsMapped() { return GetModuleHandleA(ServerPath().c_str()) != nullptr; }

private:
    HMODULE m_hModule;
    CanUnloadNowFunction m_pfnCanUnloadNow = nullptr;
    GetClassObjectFunction m_pfnGetClassObject = nullptr;
};

// The reference count an object reports, read by a balanced AddRef/Release.
inline ULONG ReferenceCount(IUnknown* p)
{
    p->AddRef();
    return p->Release();
}

// A controlling object for aggregation tests: its own identity and count, and
// every other interface answered by the inner object it holds.
class COuterObject : public IUnknown {
public:
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
        return m_pInner ? m_pInner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_nRef; }
    STDMETHOD_(ULONG, Release)() override { return --m_nRef; }

    // The object lives on the test's stack: its count is watched, never acted on.
    ULONG m_nRef = 1;
    IUnknown* m_pInner = nullptr;
};
