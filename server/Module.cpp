#include "server/Module.h"

#include <new>

#include "support/Guid.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

CComModule* g_pModule = nullptr;

namespace {

// Constructed in this order, destroyed in the reverse one. The module object
// itself is made by the program that links the server (the DLL beside its
// entry points); neither state depends on it.
BaseModuleState s_baseModuleState;
ComModuleState s_comModuleState;

// The map argument of Init that keeps the current map.
bool KeepsCurrentMap(const ObjectMapEntry* pObjectMap)
{
    return reinterpret_cast<DWORD_PTR>(pObjectMap) == ~static_cast<DWORD_PTR>(0);
}

template <class Visit>
void ForEachMapEntry(ObjectMapEntry* pMap, Visit visit)
{
    if (!pMap)
        return;
    for (ObjectMapEntry* entry = pMap; entry->ClassId; ++entry)
        visit(*entry);
}

template <class Visit>
void ForEachAutoEntry(ComModuleState& state, Visit visit)
{
    for (ObjectMapEntry** pp = state.m_ppAutoEntriesFirst; pp != state.m_ppAutoEntriesLast; ++pp) {
        if (*pp)
            visit(**pp);
    }
}

bool EntryServes(const ObjectMapEntry& entry, REFCLSID rclsid)
{
    return entry.CreateClassFactory && GuidEqualBytes(*entry.ClassId, rclsid);
}

// Creates the entry's class factory on first request, once even when several
// threads ask at the same time, and queries it for riid.
HRESULT QueryEntryFactory(ObjectMapEntry& entry, ComModuleState& state, REFIID riid, void** ppv)
{
    HRESULT hr = S_OK;
    if (!entry.CachedClassFactory) {
        // Without a working object-map lock (it failed to initialize) the
        // creation cannot be serialized; entering it would be undefined.
        if (!state.m_cbSize)
            return E_UNEXPECTED;
        CCriticalSectionLock lock(state.m_csObjectMap);
        if (!entry.CachedClassFactory)
            hr = entry.CreateClassFactory(reinterpret_cast<void*>(entry.CreateObject), IID_IUnknown,
                                          reinterpret_cast<void**>(&entry.CachedClassFactory));
    }
    if (entry.CachedClassFactory)
        hr = entry.CachedClassFactory->QueryInterface(riid, ppv);
    return hr;
}

void DropCachedFactory(ObjectMapEntry& entry)
{
    if (entry.CachedClassFactory)
        entry.CachedClassFactory->Release();
    entry.CachedClassFactory = nullptr;
}

} // namespace

HINSTANCE ModuleInstance()
{
    return s_baseModuleState.m_hInstance;
}

HINSTANCE TypeLibraryInstance()
{
    return s_comModuleState.m_hInstTypeLib;
}

ComModuleState& CComModule::ComState()
{
    return s_comModuleState;
}

BaseModuleState::BaseModuleState() : m_hInstance(reinterpret_cast<HINSTANCE>(&__ImageBase)) {}

ComModuleState::ComModuleState()
    : m_cbSize(0), m_hInstTypeLib(reinterpret_cast<HINSTANCE>(&__ImageBase)), m_ppAutoEntriesFirst(nullptr),
      m_ppAutoEntriesLast(nullptr)
{
    if (SUCCEEDED(m_csObjectMap.Init()))
        m_cbSize = sizeof(ComModuleState);
}

ComModuleState::~ComModuleState()
{
    if (!m_cbSize)
        return;
    ForEachAutoEntry(*this, DropCachedFactory);
    m_csObjectMap.Term();
    m_cbSize = 0;
}

HRESULT ComModuleState::GetAutoClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!m_cbSize)
        return E_UNEXPECTED;
    HRESULT hr = S_OK;
    for (ObjectMapEntry** pp = m_ppAutoEntriesFirst; pp != m_ppAutoEntriesLast; ++pp) {
        if (*pp && EntryServes(**pp, rclsid)) {
            hr = QueryEntryFactory(**pp, *this, riid, ppv);
            break;
        }
    }
    if (FAILED(hr) || *ppv)
        return hr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

CModuleBase::CModuleBase()
{
    m_cbSize = 0;
    m_nLockCount = 0;
    m_pTermFunctions = nullptr;
    g_pModule = static_cast<CComModule*>(this);
    if (SUCCEEDED(m_csModule.Init()))
        m_cbSize = sizeof(CComModule);
}

CModuleBase::~CModuleBase()
{
    TermBase();
}

LONG CModuleBase::Lock()
{
    return InterlockedIncrement(&m_nLockCount);
}

LONG CModuleBase::Unlock()
{
    return InterlockedDecrement(&m_nLockCount);
}

LONG CModuleBase::GetLockCount()
{
    return m_nLockCount;
}

HRESULT CModuleBase::GetGlobalInterfaceTable(IGlobalInterfaceTable** ppGIT)
{
    if (!ppGIT)
        return E_POINTER;
    // The out pointer is cleared too, so a failure never leaves a caller's
    // stale value looking like a table.
    *ppGIT = nullptr;
    HRESULT hr = S_OK;
    if (!m_pGIT) {
        hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable,
                              m_pGIT.ReceiveVoid());
        if (FAILED(hr))
            return hr;
    }
    m_pGIT->AddRef();
    *ppGIT = m_pGIT.Get();
    return hr;
}

HRESULT CModuleBase::AddStandardReplacements(IRegistrarBase* pRegistrar)
{
    if (!pRegistrar)
        return E_POINTER;
    return pRegistrar->AddSubstitution(L"APPID", L"");
}

HRESULT CModuleBase::AddTermFunction(TermFunction pfnTerm, DWORD_PTR dwData)
{
    // Without a working lock (it failed to initialize, or the module has
    // terminated) the list cannot be guarded and would never run again.
    if (!m_cbSize)
        return E_UNEXPECTED;
    TermFunctionNode* node = nullptr;
    try {
        node = new (std::nothrow) TermFunctionNode{pfnTerm, dwData, nullptr};
    } catch (...) {
        node = nullptr;
    }
    if (!node)
        return E_OUTOFMEMORY;
    CCriticalSectionLock lock(m_csModule);
    node->pNext = m_pTermFunctions;
    m_pTermFunctions = node;
    return S_OK;
}

void CModuleBase::RunTermFunctions()
{
    TermFunctionNode* node = m_pTermFunctions;
    while (node) {
        node->pfnTerm(node->dwData);
        TermFunctionNode* next = node->pNext;
        delete node;
        node = next;
    }
    m_pTermFunctions = nullptr;
}

void CModuleBase::TermBase()
{
    if (!m_cbSize)
        return;
    RunTermFunctions();
    m_pGIT.Reset();
    m_csModule.Term();
    m_cbSize = 0;
}

HRESULT CComModule::Init(ObjectMapEntry* pObjectMap, HINSTANCE, const GUID*)
{
    if (!KeepsCurrentMap(pObjectMap)) {
        m_pObjectMap = pObjectMap;
        ForEachMapEntry(m_pObjectMap, [](ObjectMapEntry& entry) { entry.ClassInit(true); });
    }
    ForEachAutoEntry(ComState(), [](ObjectMapEntry& entry) { entry.ClassInit(true); });
    return S_OK;
}

void CComModule::Term()
{
    // The lock count is not consulted: a factory callers still hold loses
    // only the map's reference.
    ForEachMapEntry(m_pObjectMap, [](ObjectMapEntry& entry) {
        DropCachedFactory(entry);
        entry.ClassInit(false);
    });
    ForEachAutoEntry(ComState(), [](ObjectMapEntry& entry) { entry.ClassInit(false); });
    TermBase();
}

HRESULT CComModule::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    HRESULT hr = S_OK;
    if (m_pObjectMap) {
        for (ObjectMapEntry* entry = m_pObjectMap; entry->ClassId; ++entry) {
            if (EntryServes(*entry, rclsid)) {
                hr = QueryEntryFactory(*entry, ComState(), riid, ppv);
                break;
            }
        }
    }
    if (!*ppv && hr == S_OK)
        return ComState().GetAutoClassObject(rclsid, riid, ppv);
    return hr;
}
