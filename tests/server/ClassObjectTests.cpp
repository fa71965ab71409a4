#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "TandrelLib.h"
#include "host/TandrelLibrary.h"
#include "tests/common/ImportRedirect.h"
#include "tests/common/ProcessMemory.h"
#include "tests/server/ComProbes.h"


namespace {

const CLSID kForeignClass = {0x0b1e2c3d, 0x4f50, 0x4a61, {0x8b, 0x72, 0x93, 0xa4, 0xb5, 0xc6, 0xd7, 0xe8}};

class ClassObjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.IsLoaded());
    }
    // Nothing a test did may keep the DLL loaded once the test lets go.
    void TearDown() override
    {
        m_server.Unload();
        EXPECT_FALSE(IsServerMapped());
    }

    IClassFactory* GetFactory()
    {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(S_OK, m_server.GetClassObject(CLSID_RefresherBand, IID_IClassFactory,
                                                reinterpret_cast<void**>(&factory)));
        return factory;
    }

    CTandrelLibrary m_server;
};

TEST_F(ClassObjectTest, CanUnloadWhileOnlyTheMapHoldsTheFactory)
{
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());
    IClassFactory* factory = GetFactory();
    ASSERT_NE(nullptr, factory);
    EXPECT_EQ(S_FALSE, m_server.CanUnloadNow());
    EXPECT_EQ(1u, factory->Release());
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());
}

TEST_F(ClassObjectTest, FactoryIsCreatedOnceAndAnswersOnlyItsInterfaces)
{
    IClassFactory* first = GetFactory();
    IClassFactory* second = GetFactory();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, second);
    EXPECT_EQ(3u, ReferenceCount(first));

    IUnknown* unknown = nullptr;
    EXPECT_EQ(S_OK, first->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(static_cast<IUnknown*>(first), unknown);
    unknown->Release();

    void* other = &other;
    EXPECT_EQ(E_NOINTERFACE, first->QueryInterface(IID_IDispatch, &other));
    EXPECT_EQ(nullptr, other);
    other = &other;
    EXPECT_EQ(E_NOINTERFACE, m_server.GetClassObject(CLSID_RefresherBand, IID_IDispatch, &other));
    EXPECT_EQ(nullptr, other);

    second->Release();
    first->Release();
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());
}

struct FactoryRequest {
    const CTandrelLibrary* server;
    HANDLE hStart;
    IUnknown* factory;
    HRESULT hr;
};

DWORD WINAPI RequestFactoryAtTheSignal(void* p)
{
    FactoryRequest* request = static_cast<FactoryRequest*>(p);
    WaitForSingleObject(request->hStart, INFINITE);
    request->hr =
        request->server->GetClassObject(CLSID_RefresherBand, IID_IUnknown, reinterpret_cast<void**>(&request->factory));
    return 0;
}

// Threads asking at the same moment share one factory.
TEST_F(ClassObjectTest, ConcurrentRequestsCreateOneFactory)
{
    const int kThreads = 8;
    HANDLE hStart = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, hStart);
    FactoryRequest requests[kThreads];
    HANDLE threads[kThreads];
    for (int i = 0; i < kThreads; ++i) {
        requests[i] = {&m_server, hStart, nullptr, E_FAIL};
        threads[i] = CreateThread(nullptr, 0, RequestFactoryAtTheSignal, &requests[i], 0, nullptr);
        ASSERT_NE(nullptr, threads[i]);
    }
    SetEvent(hStart);
    WaitForMultipleObjects(kThreads, threads, TRUE, INFINITE);
    for (int i = 0; i < kThreads; ++i) {
        CloseHandle(threads[i]);
        EXPECT_EQ(S_OK, requests[i].hr);
        EXPECT_EQ(requests[0].factory, requests[i].factory);
    }
    CloseHandle(hStart);
    EXPECT_EQ(static_cast<ULONG>(kThreads + 1), ReferenceCount(requests[0].factory));
    for (FactoryRequest& request : requests)
        request.factory->Release();
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());
}

TEST_F(ClassObjectTest, UnknownClassAndNullOutPointerAreRefused)
{
    void* factory = &factory;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, m_server.GetClassObject(kForeignClass, IID_IClassFactory, &factory));
    EXPECT_EQ(nullptr, factory);
    EXPECT_EQ(E_POINTER, m_server.GetClassObject(CLSID_RefresherBand, IID_IClassFactory, nullptr));
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());
}

TEST_F(ClassObjectTest, LockServerHoldsTheModuleUntilBalanced)
{
    IClassFactory* factory = GetFactory();
    ASSERT_NE(nullptr, factory);
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory->Release();
    EXPECT_EQ(S_FALSE, m_server.CanUnloadNow());

    factory = GetFactory();
    ASSERT_NE(nullptr, factory);
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory->Release();
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());
}

TEST_F(ClassObjectTest, PlainBandHoldsOneModuleLockForItsLifetime)
{
    IClassFactory* factory = GetFactory();
    ASSERT_NE(nullptr, factory);
    IDeskBand* band = nullptr;
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IDeskBand, nullptr));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDeskBand, reinterpret_cast<void**>(&band)));
    factory->Release();

    EXPECT_EQ(1u, ReferenceCount(band));
    EXPECT_EQ(S_FALSE, m_server.CanUnloadNow());
    EXPECT_EQ(0u, band->Release());
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());
}

// One LockServer(FALSE) more than the caller's locks leaves only the band's
// own lock to count, so the module can be unloaded exactly when the band holds
// one lock and no more.
TEST_F(ClassObjectTest, PlainBandHoldsExactlyOneModuleLock)
{
    IClassFactory* factory = GetFactory();
    ASSERT_NE(nullptr, factory);
    IUnknown* band = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDeskBand, reinterpret_cast<void**>(&band)));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_FALSE, m_server.CanUnloadNow());
    factory->Release();
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());

    factory = GetFactory();
    ASSERT_NE(nullptr, factory);
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory->Release();
    EXPECT_EQ(S_FALSE, m_server.CanUnloadNow());
    EXPECT_EQ(0u, band->Release());
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());
}

TEST_F(ClassObjectTest, MissingInterfaceDestroysTheNewBand)
{
    IClassFactory* factory = GetFactory();
    ASSERT_NE(nullptr, factory);
    void* object = &object;
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IOleWindow, &object));
    EXPECT_EQ(nullptr, object);
    factory->Release();
    // Only the band could still hold the module.
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());
}

class BandIdentityTest : public ClassObjectTest {
protected:
    void SetUp() override
    {
        ClassObjectTest::SetUp();
        ASSERT_EQ(S_OK, m_server.CreateBand(IID_IDeskBand, reinterpret_cast<void**>(&m_pBand)));
    }
    void TearDown() override
    {
        if (m_pBand) {
            EXPECT_EQ(0u, m_pBand->Release());
        }
        EXPECT_EQ(S_OK, m_server.CanUnloadNow());
        ClassObjectTest::TearDown();
    }

    template <class I>
    I* Query(IUnknown* from, REFIID riid)
    {
        I* p = nullptr;
        EXPECT_EQ(S_OK, from->QueryInterface(riid, reinterpret_cast<void**>(&p)));
        return p;
    }

    IDeskBand* m_pBand = nullptr;
};

TEST_F(BandIdentityTest, EveryFaceLeadsToTheDispatchFaceAsIdentity)
{
    IDispatch* dispatch = Query<IDispatch>(m_pBand, IID_IDispatch);
    IRefresherBand* dual = Query<IRefresherBand>(dispatch, IID_IRefresherBand);
    EXPECT_EQ(static_cast<IDispatch*>(dual), dispatch);

    const IID faces[] = {IID_IDeskBand, IID_IObjectWithSite, IID_IPersistStream, IID_IInputObject, IID_IDispatch};
    for (const IID& face : faces) {
        IUnknown* p = Query<IUnknown>(m_pBand, face);
        IUnknown* identity = Query<IUnknown>(p, IID_IUnknown);
        EXPECT_EQ(static_cast<IUnknown*>(dispatch), identity);
        identity->Release();
        p->Release();
    }
    dual->Release();
    dispatch->Release();
    EXPECT_EQ(1u, ReferenceCount(m_pBand));
}

TEST_F(BandIdentityTest, WindowBasesOfTheDeskBandAreNotAnswered)
{
    for (const IID& iid : {IID_IOleWindow, IID_IDockingWindow}) {
        void* p = &p;
        EXPECT_EQ(E_NOINTERFACE, m_pBand->QueryInterface(iid, &p));
        EXPECT_EQ(nullptr, p);
    }
    EXPECT_EQ(E_POINTER, m_pBand->QueryInterface(IID_IDeskBand, nullptr));
}

TEST_F(BandIdentityTest, PersistAndPersistStreamAreOneFace)
{
    IPersist* persist = Query<IPersist>(m_pBand, IID_IPersist);
    IPersistStream* stream = Query<IPersistStream>(m_pBand, IID_IPersistStream);
    EXPECT_EQ(static_cast<IPersist*>(stream), persist);
    CLSID clsid = {};
    EXPECT_EQ(S_OK, persist->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_RefresherBand, clsid));
    stream->Release();
    persist->Release();
}

class AggregationTest : public ClassObjectTest {};

TEST_F(AggregationTest, ControllingObjectMayAskOnlyForTheInnerUnknown)
{
    IClassFactory* factory = GetFactory();
    ASSERT_NE(nullptr, factory);
    COuterObject outer;
    void* p = &p;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IDeskBand, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(1u, outer.m_nRef);
    factory->Release();
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());
}

TEST_F(AggregationTest, FacesOfTheAggregateDelegateToTheControllingObject)
{
    IClassFactory* factory = GetFactory();
    ASSERT_NE(nullptr, factory);
    COuterObject outer;
    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.m_pInner)));
    factory->Release();
    IUnknown* inner = outer.m_pInner;
    EXPECT_EQ(1u, ReferenceCount(inner));
    EXPECT_EQ(1u, outer.m_nRef);
    EXPECT_EQ(S_FALSE, m_server.CanUnloadNow());

    // The inner IUnknown is the aggregate's own, non-delegating identity.
    IUnknown* innerAgain = nullptr;
    EXPECT_EQ(S_OK, inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&innerAgain)));
    EXPECT_EQ(inner, innerAgain);
    EXPECT_EQ(1u, innerAgain->Release());

    IDeskBand* band = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IDeskBand, reinterpret_cast<void**>(&band)));
    EXPECT_EQ(2u, outer.m_nRef);
    EXPECT_EQ(3u, band->AddRef());
    EXPECT_EQ(3u, outer.m_nRef);
    EXPECT_EQ(1u, ReferenceCount(inner));

    IUnknown* identity = nullptr;
    EXPECT_EQ(S_OK, band->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);
    identity->Release();
    // Interfaces the band lacks are the controlling object's business too.
    void* p = &p;
    EXPECT_EQ(E_NOINTERFACE, band->QueryInterface(IID_IOleWindow, &p));
    EXPECT_EQ(nullptr, p);

    band->Release();
    band->Release();
    EXPECT_EQ(1u, outer.m_nRef);
    EXPECT_EQ(0u, inner->Release());
    EXPECT_EQ(S_OK, m_server.CanUnloadNow());
}

TEST(ServerLoadTest, UnloadsWithACachedFactoryAndComesBackFresh)
{
    {
        CTandrelLibrary server;
        ASSERT_TRUE(server.IsLoaded());
        IClassFactory* factory = nullptr;
        ASSERT_EQ(S_OK, server.GetClassObject(CLSID_RefresherBand, IID_IClassFactory,
                                              reinterpret_cast<void**>(&factory)));
        EXPECT_EQ(S_OK, factory->LockServer(TRUE));
        factory->Release();
        EXPECT_EQ(S_FALSE, server.CanUnloadNow());
    }
    EXPECT_FALSE(IsServerMapped());

    CTandrelLibrary server;
    ASSERT_TRUE(server.IsLoaded());
    EXPECT_EQ(S_OK, server.CanUnloadNow());
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, server.GetClassObject(CLSID_RefresherBand, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(2u, ReferenceCount(factory));
    factory->Release();
    EXPECT_EQ(S_OK, server.CanUnloadNow());
}

DWORD NextFreeThreadSlot()
{
    const DWORD slot = TlsAlloc();
    TlsFree(slot);
    return slot;
}

// With every allocation of the DLL refused, the C++ runtime inside it throws
// and catches its own out-of-memory exception and the creation fails: the
// throw takes the runtime's per-thread exception state for that load.
bool CreationThatRunsOutOfMemoryFails(const CTandrelLibrary& server)
{
    const CScopedImportRedirect refused(server.Handle(), RuntimeMalloc(), reinterpret_cast<const void*>(RefusedMalloc));
    IUnknown* band = nullptr;
    const HRESULT hr = server.CreateBand(IID_IUnknown, reinterpret_cast<void**>(&band));
    return hr == E_OUTOFMEMORY && !band;
}

// Hosts unload an idle server and load it again for the next window, so a
// load must give back everything it took: a thread-local slot or a kernel
// handle kept per load would run the process out of them in the end. Each
// load also runs out of memory once, so that the runtime throws inside it.
TEST(ServerLoadTest, RepeatedLoadsKeepThreadSlotsHandlesAndMemory)
{
    // 2,000 cycles to measure, fewer in the suite: one handle kept per load
    // shows at once, and each cycle costs a load under the loader lock.
    const char* cycles = getenv("TANDREL_LOAD_CYCLES");
    const int kCycles = cycles ? atoi(cycles) : 300;
    // A load that makes a band, and a bare one that calls nothing: the
    // unload gives back the same either way.
    auto cycle = [](bool withBand) {
        CTandrelLibrary server;
        if (!server.IsLoaded() || !CreationThatRunsOutOfMemoryFails(server))
            return false;
        IUnknown* band = nullptr;
        if (withBand && FAILED(server.CreateBand(IID_IUnknown, reinterpret_cast<void**>(&band))))
            return false;
        if (band)
            band->Release();
        return server.CanUnloadNow() == S_OK;
    };
    ASSERT_TRUE(cycle(true));
    const DWORD slot = NextFreeThreadSlot();
    const SIZE_T before = PrivateBytes();
    for (const bool withBand : {true, false}) {
        const DWORD handlesBefore = KernelHandleCount();
        for (int i = 0; i < kCycles / 2; ++i)
            ASSERT_TRUE(cycle(withBand)) << "cycle " << i;
        EXPECT_EQ(handlesBefore, KernelHandleCount()) << (withBand ? "loads with a band" : "bare loads");
    }
    EXPECT_FALSE(IsServerMapped());
    EXPECT_EQ(slot, NextFreeThreadSlot());
    EXPECT_LT(PrivateBytes() - before, SIZE_T(256) * 1024) << "more than 128 bytes kept per load";
}

typedef BOOL(WINAPI* EntryPointFunction)(HINSTANCE, DWORD, LPVOID);

EntryPointFunction ModuleEntryPoint(HMODULE module)
{
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    const IMAGE_NT_HEADERS* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    return reinterpret_cast<EntryPointFunction>(
        reinterpret_cast<ULONG_PTR>(base + nt->OptionalHeader.AddressOfEntryPoint));
}

// At process exit the loader detaches with a non-null reserved pointer, after
// every other thread is gone: nothing is given back then (type information,
// window class, menus, slots, semaphores), so the module stays as it was and
// still serves its cached factory. FreeLibrary afterwards cleans up as ever.
TEST(ServerLoadTest, DetachAtProcessExitCleansNothingUp)
{
    CTandrelLibrary server;
    ASSERT_TRUE(server.IsLoaded());
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, server.GetClassObject(CLSID_RefresherBand, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    factory->Release();
    const DWORD handles = KernelHandleCount();

    EXPECT_TRUE(ModuleEntryPoint(server.Handle())(server.Handle(), DLL_PROCESS_DETACH, reinterpret_cast<LPVOID>(1)));
    EXPECT_EQ(handles, KernelHandleCount());
    IClassFactory* again = nullptr;
    EXPECT_EQ(S_OK, server.GetClassObject(CLSID_RefresherBand, IID_IClassFactory, reinterpret_cast<void**>(&again)));
    EXPECT_EQ(factory, again);
    if (again)
        again->Release();
    server.Unload();
    EXPECT_FALSE(IsServerMapped());
}

} // namespace

namespace {

TEST(ServerExportTest, EntryPointsCarryOrdinalsOneAndTwoUnderTheModuleName)
{
    CTandrelLibrary server;
    ASSERT_TRUE(server.IsLoaded());
    HMODULE module = server.Handle();
    EXPECT_EQ(GetProcAddress(module, "DllCanUnloadNow"), GetProcAddress(module, MAKEINTRESOURCEA(1)));
    EXPECT_EQ(GetProcAddress(module, "DllGetClassObject"), GetProcAddress(module, MAKEINTRESOURCEA(2)));

    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    const IMAGE_NT_HEADERS* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const IMAGE_EXPORT_DIRECTORY* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    EXPECT_STREQ("Tandrel.DLL", reinterpret_cast<const char*>(base + exports->Name));
    EXPECT_EQ(1u, exports->Base);
}

} // namespace
