#pragma once
#include <windows.h>
#include <objidl.h>
#include <unknwn.h>

#include "registrar/RegistrarBase.h"
#include "support/CriticalSection.h"
#include "support/Owners.h"

// Makes an object (a class factory or an instance): pv is opaque to the
// caller, riid the interface wanted.
typedef HRESULT(WINAPI* CreatorFunction)(void* pv, REFIID riid, void** ppv);

enum CategoryKind : UINT {
    kCategoryEnd = 0,
    kCategoryImplemented = 1,
    kCategoryRequired = 2,
};

// One row of a class's component-category map; a row of kind kCategoryEnd
// closes the map.
struct CategoryMapEntry {
    CategoryKind kind;
    const GUID* pCategoryId;
};

// One creatable class. ClassId null ends the object map.
struct ObjectMapEntry {
    const CLSID* ClassId;
    HRESULT(WINAPI* UpdateClassRegistry)(BOOL bRegister);
    CreatorFunction CreateClassFactory;
    CreatorFunction CreateObject;
    IUnknown* CachedClassFactory; // the map's own reference, holds no module lock
    DWORD RegisterCookie;
    LPCSTR(WINAPI* GetClassDescription)();
    const CategoryMapEntry*(WINAPI* GetClassCategoryMap)();
    void(WINAPI* ClassInit)(bool bStarting);
};

// A substitution a caller adds to a registry script run; a list of them ends
// with a null name.
struct RegistryReplacement {
    LPCOLESTR name;
    LPCOLESTR value;
};

typedef void(WINAPI* TermFunction)(DWORD_PTR dwData);

struct TermFunctionNode {
    TermFunction pfnTerm;
    DWORD_PTR dwData;
    TermFunctionNode* pNext;
};

// The DLL's own load address, fixed at static construction. Used for every
// access to the DLL's resources, its window class and its file name.
struct BaseModuleState {
    BaseModuleState();
    HINSTANCE m_hInstance;
};

// The module whose resources hold the type library, further object-map
// entries collected at build time (none in this server) and the lock that
// serializes lazy creation of class factories.
struct ComModuleState {
    ComModuleState();
    ~ComModuleState();
    ComModuleState(const ComModuleState&) = delete;
    ComModuleState& operator=(const ComModuleState&) = delete;

    HRESULT GetAutoClassObject(REFCLSID rclsid, REFIID riid, void** ppv);

    UINT m_cbSize; // nonzero while m_csObjectMap works
    HINSTANCE m_hInstTypeLib;
    ObjectMapEntry** m_ppAutoEntriesFirst;
    ObjectMapEntry** m_ppAutoEntriesLast;
    CSafeCriticalSection m_csObjectMap;
};

struct ModuleRecord {
    UINT m_cbSize; // nonzero while m_csModule works; termination does nothing while zero
    LONG m_nLockCount;
    TermFunctionNode* m_pTermFunctions; // newest first
    // Re-entrant: the type-information holder adds its termination function
    // while it holds this lock.
    CSafeCriticalSection m_csModule;
};

class CModuleBase : public ModuleRecord {
public:
    CModuleBase();
    // Runs the second half of termination; nothing once Term has run.
    virtual ~CModuleBase();
    CModuleBase(const CModuleBase&) = delete;
    CModuleBase& operator=(const CModuleBase&) = delete;

    virtual LONG Lock();
    virtual LONG Unlock();
    virtual LONG GetLockCount();
    virtual HRESULT GetGlobalInterfaceTable(IGlobalInterfaceTable** ppGIT);
    // Makes APPID, with empty text, available to every script this module runs.
    virtual HRESULT AddStandardReplacements(IRegistrarBase* pRegistrar);

    HRESULT AddTermFunction(TermFunction pfnTerm, DWORD_PTR dwData);

protected:
    // Termination functions, the global interface table and the module lock.
    void TermBase();

private:
    void RunTermFunctions();

public:
    CInterfacePtr<IGlobalInterfaceTable> m_pGIT;
};

template <class T>
class CModuleT : public CModuleBase {
public:
    // Registration through a registrar component outside the DLL is not
    // supported.
    virtual HRESULT UpdateRegistryExternal(LPCSTR resourceName, BOOL bRegister, const RegistryReplacement* pReplacements)
    {
        return E_FAIL;
    }
    virtual HRESULT UpdateRegistryExternal(UINT resourceId, BOOL bRegister, const RegistryReplacement* pReplacements)
    {
        return E_FAIL;
    }
};

class CComModule : public CModuleT<CComModule> {
public:
    // Runs a registry script resource of the module's own file.
    virtual HRESULT UpdateRegistryFromScript(UINT resourceId, BOOL bRegister, const RegistryReplacement* pReplacements);
    virtual HRESULT UpdateRegistryFromScript(LPCSTR resourceName, BOOL bRegister, const RegistryReplacement* pReplacements);

    // map: the object map, or the all-bits-set pointer to keep the current one.
    HRESULT Init(ObjectMapEntry* pObjectMap, HINSTANCE hInstance, const GUID* pLibraryId);
    void Term();
    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);

    ObjectMapEntry* m_pObjectMap = nullptr;

private:
    friend class CTestAccess;

    // The state behind GetAutoClassObject.
    static ComModuleState& ComState();
};

extern CComModule* g_pModule;

// The DLL's own load address (BaseModuleState::m_hInstance).
HINSTANCE ModuleInstance();
// The module that carries the type library (ComModuleState::m_hInstTypeLib).
HINSTANCE TypeLibraryInstance();
