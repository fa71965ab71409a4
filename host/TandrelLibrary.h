#pragma once
#include <windows.h>

#include <memory>
#include <type_traits>

// Tandrel.DLL loaded the way a browser loads an in-process server: by path,
// then through its exported entry points only. The default path finds the
// copy beside the program first. Giving the load back unloads the DLL when
// nothing else holds it.
class CTandrelLibrary {
public:
    explicit CTandrelLibrary(LPCSTR path = "Tandrel.DLL");
    CTandrelLibrary(const CTandrelLibrary&) = delete;
    CTandrelLibrary& operator=(const CTandrelLibrary&) = delete;

    bool IsLoaded() const { return m_module != nullptr; }
    HMODULE Handle() const { return m_module.get(); }

    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) const;
    HRESULT CanUnloadNow() const;
    // A new band from the class factory, not aggregated.
    HRESULT CreateBand(REFIID riid, void** ppv) const;
    // Gives the load back now rather than with the object; harmless twice.
    void Unload();

private:
    typedef HRESULT(STDAPICALLTYPE* GetClassObjectFunction)(REFCLSID, REFIID, void**);
    typedef HRESULT(STDAPICALLTYPE* CanUnloadNowFunction)();

    struct CFreeLibrary {
        void operator()(HMODULE module) const { FreeLibrary(module); }
    };

    std::unique_ptr<std::remove_pointer_t<HMODULE>, CFreeLibrary> m_module;
    GetClassObjectFunction m_pfnGetClassObject = nullptr;
    CanUnloadNowFunction m_pfnCanUnloadNow = nullptr;
};
