#include <windows.h>
#include <objbase.h>

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "server/ClassFactory.h"
#include "server/ComObject.h"
#include "server/InterfaceMap.h"
#include "server/Module.h"
#include "tests/common/TestAccess.h"
#include "tests/server/ComProbes.h"
#include "tests/server/ScopedModule.h"

namespace {

// A module of the test's own, in place of the program's, for one test.
class ModuleTest : public ::testing::Test {
protected:
    CScopedModule m_module;
    CComModule* const m_pModule = m_module.Get();
};

std::vector<std::string> g_events;

void WINAPI RecordTermination(DWORD_PTR dwData)
{
    g_events.push_back("term " + std::to_string(dwData));
}

TEST_F(ModuleTest, TerminationFunctionsRunNewestFirstAndOnlyOnce)
{
    g_events.clear();
    EXPECT_EQ(S_OK, m_pModule->AddTermFunction(RecordTermination, 1));
    EXPECT_EQ(S_OK, m_pModule->AddTermFunction(RecordTermination, 2));
    EXPECT_EQ(S_OK, m_pModule->AddTermFunction(RecordTermination, 3));
    m_pModule->Term();
    EXPECT_EQ((std::vector<std::string>{"term 3", "term 2", "term 1"}), g_events);
    EXPECT_EQ(0u, m_pModule->m_cbSize);
    EXPECT_EQ(nullptr, m_pModule->m_pTermFunctions);
    // A second Term, and the destructor in TearDown, find nothing to do.
    m_pModule->Term();
    EXPECT_EQ(3u, g_events.size());
    // A terminated module has no lock to guard the list and would never run it.
    EXPECT_EQ(E_UNEXPECTED, m_pModule->AddTermFunction(RecordTermination, 4));
    EXPECT_EQ(nullptr, m_pModule->m_pTermFunctions);
}

TEST_F(ModuleTest, GlobalInterfaceTableIsCreatedOnceAndSharedCounted)
{
    // Before COM is initialized on the thread the table cannot be made, and
    // the caller's pointer is not left looking like one.
    IGlobalInterfaceTable* first = reinterpret_cast<IGlobalInterfaceTable*>(&first);
    EXPECT_EQ(CO_E_NOTINITIALIZED, m_pModule->GetGlobalInterfaceTable(&first));
    EXPECT_EQ(nullptr, first);
    EXPECT_FALSE(m_pModule->m_pGIT);

    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    EXPECT_EQ(E_POINTER, m_pModule->GetGlobalInterfaceTable(nullptr));
    IGlobalInterfaceTable* second = nullptr;
    ASSERT_EQ(S_OK, m_pModule->GetGlobalInterfaceTable(&first));
    ASSERT_EQ(S_OK, m_pModule->GetGlobalInterfaceTable(&second));
    EXPECT_EQ(first, second);
    EXPECT_EQ(m_pModule->m_pGIT.Get(), first);
    second->Release();
    first->Release();
    m_pModule->Term();
    EXPECT_FALSE(m_pModule->m_pGIT);
    CoUninitialize();
}

TEST_F(ModuleTest, LockCountMovesOneAtATime)
{
    EXPECT_EQ(1, m_pModule->Lock());
    EXPECT_EQ(2, m_pModule->Lock());
    EXPECT_EQ(1, m_pModule->Unlock());
    EXPECT_EQ(1, m_pModule->GetLockCount());
    EXPECT_EQ(0, m_pModule->Unlock());
}

// Records what the module hands to a registrar.
class CRecordingRegistrar : public IRegistrarBase {
public:
    STDMETHOD(QueryInterface)(REFIID, void** ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(AddSubstitution)(LPCOLESTR name, LPCOLESTR value) override
    {
        m_added.push_back(std::wstring(name) + L"=" + value);
        return m_hrAnswer;
    }
    STDMETHOD(ClearSubstitutions)() override { return E_UNEXPECTED; }

    std::vector<std::wstring> m_added;
    HRESULT m_hrAnswer = S_OK;
};

TEST_F(ModuleTest, StandardReplacementsAddAnEmptyAppIdAndPassTheAnswerOn)
{
    CRecordingRegistrar registrar;
    registrar.m_hrAnswer = E_ACCESSDENIED;
    EXPECT_EQ(E_ACCESSDENIED, m_pModule->AddStandardReplacements(&registrar));
    EXPECT_EQ(std::vector<std::wstring>{L"APPID="}, registrar.m_added);
    EXPECT_EQ(E_POINTER, m_pModule->AddStandardReplacements(nullptr));
}

TEST_F(ModuleTest, ExternalRegistrarIsNotSupported)
{
    EXPECT_EQ(E_FAIL, m_pModule->UpdateRegistryExternal(static_cast<UINT>(101), TRUE, nullptr));
    EXPECT_EQ(E_FAIL, m_pModule->UpdateRegistryExternal("REGISTRY", FALSE, nullptr));
}

// An object map of test classes whose creation functions report what they
// were given.
const CLSID kTestClass = {0x5d1c0a7e, 0x1b2c, 0x4d3e, {0x9f, 0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76}};
const CLSID kOtherClass = {0x5d1c0a7f, 0x1b2c, 0x4d3e, {0x9f, 0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76}};

HRESULT g_hrFactoryCreation = S_OK;
int g_nFactoryCreations = 0;

HRESULT WINAPI CreateNothing(void*, REFIID, void** ppv)
{
    *ppv = nullptr;
    return E_UNEXPECTED;
}

HRESULT WINAPI CreateCountedFactory(void* pv, REFIID riid, void** ppv)
{
    ++g_nFactoryCreations;
    EXPECT_EQ(reinterpret_cast<void*>(CreateNothing), pv);
    if (FAILED(g_hrFactoryCreation)) {
        *ppv = nullptr;
        return g_hrFactoryCreation;
    }
    return CreateFactoryObject(pv, riid, ppv);
}

void WINAPI RecordClassInit(bool bStarting)
{
    g_events.push_back(bStarting ? "init" : "stop");
}

ObjectMapEntry g_testMap[] = {
    {&kTestClass, nullptr, CreateCountedFactory, CreateNothing, nullptr, 0, nullptr, nullptr, RecordClassInit},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
};

class ObjectMapTest : public ModuleTest {
protected:
    void SetUp() override
    {
        ModuleTest::SetUp();
        g_events.clear();
        g_hrFactoryCreation = S_OK;
        g_nFactoryCreations = 0;
        g_testMap[0].CachedClassFactory = nullptr;
        ASSERT_EQ(S_OK, m_pModule->Init(g_testMap, nullptr, nullptr));
    }
    void TearDown() override
    {
        m_pModule->Term();
        ModuleTest::TearDown();
    }
};

TEST_F(ObjectMapTest, InitAndTermTellEveryClass)
{
    EXPECT_EQ(std::vector<std::string>{"init"}, g_events);
    // The all-bits-set map keeps the current one.
    EXPECT_EQ(S_OK, m_pModule->Init(reinterpret_cast<ObjectMapEntry*>(~static_cast<DWORD_PTR>(0)), nullptr, nullptr));
    EXPECT_EQ(g_testMap, m_pModule->m_pObjectMap);
    EXPECT_EQ(std::vector<std::string>{"init"}, g_events);
    m_pModule->Term();
    EXPECT_EQ((std::vector<std::string>{"init", "stop"}), g_events);
}

TEST_F(ObjectMapTest, FailedFactoryCreationIsNotCachedAndIsRetried)
{
    g_hrFactoryCreation = E_OUTOFMEMORY;
    void* factory = &factory;
    EXPECT_EQ(E_OUTOFMEMORY, m_pModule->GetClassObject(kTestClass, IID_IClassFactory, &factory));
    EXPECT_EQ(nullptr, factory);
    EXPECT_EQ(nullptr, g_testMap[0].CachedClassFactory);

    g_hrFactoryCreation = S_OK;
    ASSERT_EQ(S_OK, m_pModule->GetClassObject(kTestClass, IID_IClassFactory, &factory));
    EXPECT_EQ(2, g_nFactoryCreations);
    EXPECT_EQ(1, m_pModule->GetLockCount());
    static_cast<IUnknown*>(factory)->Release();
    EXPECT_EQ(0, m_pModule->GetLockCount());
}

// The object-map lock of a module whose lock failed to initialize cannot
// serialize a creation: the request is refused rather than entering it.
TEST_F(ObjectMapTest, FactoryIsNotCreatedWithoutAWorkingObjectMapLock)
{
    ComModuleState& state = CTestAccess::ComState();
    const UINT cbSize = state.m_cbSize;
    state.m_csObjectMap.Term();
    state.m_cbSize = 0;
    void* factory = &factory;
    const HRESULT hr = m_pModule->GetClassObject(kTestClass, IID_IClassFactory, &factory);
    ASSERT_EQ(S_OK, state.m_csObjectMap.Init());
    state.m_cbSize = cbSize;

    EXPECT_EQ(E_UNEXPECTED, hr);
    EXPECT_EQ(nullptr, factory);
    EXPECT_EQ(0, g_nFactoryCreations);
    EXPECT_EQ(nullptr, g_testMap[0].CachedClassFactory);
    EXPECT_EQ(0, m_pModule->GetLockCount());
}

TEST_F(ObjectMapTest, ClassesOutsideTheMapAreNotAvailable)
{
    void* factory = &factory;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, m_pModule->GetClassObject(kOtherClass, IID_IClassFactory, &factory));
    EXPECT_EQ(nullptr, factory);
    EXPECT_EQ(0, g_nFactoryCreations);
}

TEST_F(ObjectMapTest, TermDropsOnlyTheMapsReferenceToTheFactory)
{
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, m_pModule->GetClassObject(kTestClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    m_pModule->Term();
    EXPECT_EQ(nullptr, g_testMap[0].CachedClassFactory);
    // The caller's reference survives as the last one, which holds no lock.
    EXPECT_EQ(0, m_pModule->GetLockCount());
    EXPECT_EQ(2u, factory->AddRef());
    EXPECT_EQ(1, m_pModule->GetLockCount());
    EXPECT_EQ(1u, factory->Release());
    EXPECT_EQ(0, m_pModule->GetLockCount());
    EXPECT_EQ(0u, factory->Release());
}

TEST_F(ObjectMapTest, FactoryHandsCreationToTheMapsFunction)
{
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, m_pModule->GetClassObject(kTestClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    void* object = &object;
    EXPECT_EQ(E_UNEXPECTED, factory->CreateInstance(nullptr, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    COuterObject outer;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
    factory->Release();
}

TEST(AutoClassObjectTest, EmptyAutomaticRangeHasNoClasses)
{
    void* factory = &factory;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, CTestAccess::ComState().GetAutoClassObject(kTestClass, IID_IUnknown, &factory));
    EXPECT_EQ(nullptr, factory);
    EXPECT_EQ(E_POINTER, CTestAccess::ComState().GetAutoClassObject(kTestClass, IID_IUnknown, nullptr));
}

// A small class with two faces for the wrappers and the lookup.
class CTestObject : public CComObjectRootEx<CComSingleThreadModel>, public IPersist, public IClassFactory {
public:
    CTestObject()
    {
        if (s_bFailConstruction)
            throw std::runtime_error("construction fails");
    }
    ~CTestObject()
    {
        s_nRefAtDestruction = m_dwRef;
        s_pOuterAtDestruction = m_pOuter;
        s_nLocksAtDestruction = g_pModule->GetLockCount();
    }

    STDMETHOD(GetClassID)(CLSID* pClassID) override
    {
        *pClassID = kTestClass;
        return S_OK;
    }
    STDMETHOD(CreateInstance)(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHOD(LockServer)(BOOL) override { return E_NOTIMPL; }

    static const InterfaceMapEntry* GetInterfaceMap()
    {
        static const InterfaceMapEntry entries[] = {
            PlainInterfaceRow<IPersist, CTestObject>(IID_IPersist),
            PlainInterfaceRow<IClassFactory, CTestObject>(IID_IClassFactory),
            EndOfInterfaceMap(),
        };
        return entries;
    }

    static bool s_bFailConstruction;
    static LONG s_nRefAtDestruction;
    static IUnknown* s_pOuterAtDestruction;
    static LONG s_nLocksAtDestruction;
};

bool CTestObject::s_bFailConstruction = false;
LONG CTestObject::s_nRefAtDestruction = 0;
IUnknown* CTestObject::s_pOuterAtDestruction = nullptr;
LONG CTestObject::s_nLocksAtDestruction = 0;

class WrapperTest : public ModuleTest {
protected:
    void SetUp() override
    {
        ModuleTest::SetUp();
        CTestObject::s_bFailConstruction = false;
        CTestObject::s_nRefAtDestruction = 0;
        CTestObject::s_pOuterAtDestruction = nullptr;
        CTestObject::s_nLocksAtDestruction = -1;
    }
};

// The module stays locked until the class's destructor has finished, so that
// nothing can unload the code it still runs.
TEST_F(WrapperTest, PlainObjectSpoilsItsCountAndKeepsTheModuleLockedWhileTheClassGoes)
{
    IPersist* object = nullptr;
    ASSERT_EQ(S_OK, CreatePlainObject<CTestObject>(nullptr, IID_IPersist, reinterpret_cast<void**>(&object)));
    EXPECT_EQ(1, m_pModule->GetLockCount());
    EXPECT_EQ(0u, object->Release());
    EXPECT_EQ(static_cast<LONG>(0xC0000001), CTestObject::s_nRefAtDestruction);
    EXPECT_EQ(1, CTestObject::s_nLocksAtDestruction);
    EXPECT_EQ(0, m_pModule->GetLockCount());
}

TEST_F(WrapperTest, ConstructionThatThrowsReportsOutOfMemory)
{
    CTestObject::s_bFailConstruction = true;
    void* object = &object;
    EXPECT_EQ(E_OUTOFMEMORY, CreatePlainObject<CTestObject>(nullptr, IID_IPersist, &object));
    EXPECT_EQ(nullptr, object);
    COuterObject outer;
    EXPECT_EQ(E_OUTOFMEMORY, CreateAggregatedObject<CTestObject>(&outer, IID_IUnknown, &object));
    EXPECT_EQ(0, m_pModule->GetLockCount());
    EXPECT_EQ(E_POINTER, CreatePlainObject<CTestObject>(nullptr, IID_IPersist, nullptr));
}

TEST_F(WrapperTest, AggregateKeepsTheModuleLockedWhileTheInnerClassGoes)
{
    COuterObject outer;
    ASSERT_EQ(S_OK, CreateAggregatedObject<CTestObject>(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.m_pInner)));
    EXPECT_EQ(1, m_pModule->GetLockCount());
    IPersist* persist = nullptr;
    ASSERT_EQ(S_OK, outer.m_pInner->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)));
    EXPECT_EQ(2u, outer.m_nRef);
    persist->Release();
    EXPECT_EQ(0u, outer.m_pInner->Release());
    // The contained class keeps the controlling object where the count would be.
    EXPECT_EQ(static_cast<IUnknown*>(&outer), CTestObject::s_pOuterAtDestruction);
    EXPECT_EQ(1, CTestObject::s_nLocksAtDestruction);
    EXPECT_EQ(0, m_pModule->GetLockCount());
    EXPECT_EQ(1u, outer.m_nRef);
}

TEST_F(WrapperTest, FailedQueryDestroysTheNewObjectAndItsLock)
{
    void* object = &object;
    EXPECT_EQ(E_NOINTERFACE, CreatePlainObject<CTestObject>(nullptr, IID_IDispatch, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(static_cast<LONG>(0xC0000001), CTestObject::s_nRefAtDestruction);
    EXPECT_EQ(0, m_pModule->GetLockCount());
}

TEST_F(WrapperTest, CachedFactoryLocksTheModuleOnlyBeyondItsFirstReference)
{
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, CreateFactoryObject(reinterpret_cast<void*>(CreateNothing), IID_IClassFactory,
                                        reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(0, m_pModule->GetLockCount());
    EXPECT_EQ(2u, factory->AddRef());
    EXPECT_EQ(1, m_pModule->GetLockCount());
    EXPECT_EQ(3u, factory->AddRef());
    EXPECT_EQ(2u, factory->Release());
    EXPECT_EQ(1, m_pModule->GetLockCount());
    EXPECT_EQ(1u, factory->Release());
    EXPECT_EQ(0, m_pModule->GetLockCount());
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(1, m_pModule->GetLockCount());
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(0u, factory->Release());
    EXPECT_EQ(0, m_pModule->GetLockCount());

    void* other = &other;
    EXPECT_EQ(E_NOINTERFACE, CreateFactoryObject(reinterpret_cast<void*>(CreateNothing), IID_IDispatch, &other));
    EXPECT_EQ(nullptr, other);
}

TEST(InterfaceLookupTest, NullObjectOrMapIsAnInvalidArgument)
{
    void* p = &p;
    EXPECT_EQ(E_INVALIDARG, InternalQueryInterface(nullptr, CTestObject::GetInterfaceMap(), IID_IPersist, &p));
    EXPECT_EQ(E_INVALIDARG, InternalQueryInterface(&p, nullptr, IID_IPersist, &p));
    EXPECT_EQ(E_POINTER, InternalQueryInterface(&p, CTestObject::GetInterfaceMap(), IID_IPersist, nullptr));
}

// Query-function rows: a blind row may decline and let the walk go on, a row
// named for the interface speaks for it.
HRESULT WINAPI DeclineWith(void*, REFIID, void**, DWORD_PTR dwData)
{
    return static_cast<HRESULT>(dwData);
}

HRESULT WINAPI AnswerWithFirstFace(void* pThis, REFIID, void** ppv, DWORD_PTR)
{
    IUnknown* face = static_cast<IPersist*>(static_cast<CTestObject*>(pThis));
    face->AddRef();
    *ppv = face;
    return S_OK;
}

TEST_F(WrapperTest, QueryFunctionRowsFollowTheirOwnRules)
{
    IPersist* object = nullptr;
    ASSERT_EQ(S_OK, CreatePlainObject<CTestObject>(nullptr, IID_IPersist, reinterpret_cast<void**>(&object)));
    CTestObject* pThis = static_cast<CTestObject*>(object);
    const InterfaceMapEntry map[] = {
        PlainInterfaceRow<IPersist, CTestObject>(IID_IPersist),
        {nullptr, static_cast<DWORD_PTR>(E_FAIL), DeclineWith},
        {nullptr, static_cast<DWORD_PTR>(S_FALSE), DeclineWith},
        {&IID_IStream, static_cast<DWORD_PTR>(E_ACCESSDENIED), DeclineWith},
        {&IID_IDispatch, 0, AnswerWithFirstFace},
        EndOfInterfaceMap(),
    };
    void* p = &p;
    EXPECT_EQ(E_ACCESSDENIED, InternalQueryInterface(pThis, map, IID_IStream, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(S_OK, InternalQueryInterface(pThis, map, IID_IDispatch, &p));
    EXPECT_EQ(static_cast<void*>(object), p);
    EXPECT_EQ(E_NOINTERFACE, InternalQueryInterface(pThis, map, IID_IClassFactory, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(1u, object->Release());
    EXPECT_EQ(0u, object->Release());
}

} // namespace
