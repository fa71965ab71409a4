#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include "TandrelLib.h"
#include "server/DispatchImpl.h"
#include "server/Module.h"
#include "tests/common/SandboxedTest.h"
#include "tests/server/ComProbes.h"
#include "tests/server/ScopedModule.h"
#include "tests/server/TypeLibrary.h"

namespace {

// A holder for the band's interface with a module of the test's own, so that
// the module's termination can be watched.
class TypeInfoHolderTest : public SandboxedTest {
protected:

    // The interface's type information straight from the built file.
    ITypeInfo* LoadInterfaceTypeInfo()
    {
        ITypeLib* library = nullptr;
        EXPECT_EQ(S_OK, LoadBuiltTypeLibrary(&library));
        ITypeInfo* typeInfo = nullptr;
        if (library) {
            EXPECT_EQ(S_OK, library->GetTypeInfoOfGuid(IID_IRefresherBand, &typeInfo));
            library->Release();
        }
        return typeInfo;
    }

    DISPID IdOf(const wchar_t* name, HRESULT expected = S_OK)
    {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID dispid = 0;
        EXPECT_EQ(expected, m_holder.GetIDsOfNames(IID_NULL, names, 1, kClientLocale, &dispid));
        return dispid;
    }

    CComTypeInfoHolder m_holder = {&IID_IRefresherBand, &LIBID_TANDRELLib, 1, 0, nullptr, nullptr, 0};
    // Goes first, so that its termination finds the holder still there.
    CScopedModule m_module;
    CComModule* const m_pModule = m_module.Get();
};

TEST_F(TypeInfoHolderTest, CacheHoldsEveryFunctionNameWithItsMemberId)
{
    ITypeInfo* typeInfo = LoadInterfaceTypeInfo();
    ASSERT_NE(nullptr, typeInfo);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, typeInfo->GetTypeAttr(&attr));
    const int functions = attr->cFuncs;
    typeInfo->ReleaseTypeAttr(attr);
    ASSERT_GT(functions, 0) << "the dispatch view lists the inherited IDispatch functions";

    ASSERT_EQ(S_OK, m_holder.BuildNameCache(typeInfo));
    ASSERT_NE(nullptr, m_holder.m_pNameCache);
    EXPECT_EQ(functions, m_holder.m_nNameCount);
    for (int i = 0; i < functions; ++i) {
        const NameCacheEntry& row = m_holder.m_pNameCache[i];
        ASSERT_NE(nullptr, row.bstrName);
        EXPECT_EQ(static_cast<int>(SysStringLen(row.bstrName)), row.nLength);
        DISPID platform = DISPID_UNKNOWN;
        LPOLESTR name = row.bstrName;
        EXPECT_EQ(S_OK, typeInfo->GetIDsOfNames(&name, 1, &platform));
        EXPECT_EQ(platform, row.dispid);
    }
    m_holder.m_pTypeInfo = typeInfo;
    CComTypeInfoHolder::ReleaseTypeInfo(reinterpret_cast<DWORD_PTR>(&m_holder));
    EXPECT_EQ(nullptr, m_holder.m_pTypeInfo);
    EXPECT_EQ(nullptr, m_holder.m_pNameCache);
    EXPECT_EQ(functions, m_holder.m_nNameCount);
}

// A cache filled by hand, with member ids the platform would never give,
// shows which answers come from it.
TEST_F(TypeInfoHolderTest, CacheMatchesExactlyAndTheLaterOfTwoRowsWins)
{
    NameCacheEntry* rows = new NameCacheEntry[4]{
        {nullptr, 0, DISPID_UNKNOWN},
        {SysAllocString(L"Invoke"), 6, 7001},
        {SysAllocString(L"Twin"), 4, 7002},
        {SysAllocString(L"Twin"), 4, 7003},
    };
    m_holder.m_pTypeInfo = LoadInterfaceTypeInfo();
    ASSERT_NE(nullptr, m_holder.m_pTypeInfo);
    m_holder.m_pNameCache = rows;
    m_holder.m_nNameCount = 4;

    EXPECT_EQ(7001, IdOf(L"Invoke"));
    EXPECT_EQ(7003, IdOf(L"Twin"));
    // Another letter case, or a second name, goes past the cache to the platform.
    const DISPID platformInvoke = IdOf(L"INVOKE");
    EXPECT_NE(7001, platformInvoke);
    EXPECT_NE(DISPID_UNKNOWN, platformInvoke);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Invoke"), const_cast<LPOLESTR>(L"riid")};
    DISPID dispids[2] = {};
    EXPECT_EQ(S_OK, m_holder.GetIDsOfNames(IID_NULL, names, 2, kClientLocale, dispids));
    EXPECT_EQ(platformInvoke, dispids[0]);
    EXPECT_EQ(1, dispids[1]);
    // A prefix of a cached name is not that name, and a row whose name could
    // not be read answers nothing, not even the empty name.
    EXPECT_EQ(DISPID_UNKNOWN, IdOf(L"Inv", DISP_E_UNKNOWNNAME));
    EXPECT_EQ(DISPID_UNKNOWN, IdOf(L"", DISP_E_UNKNOWNNAME));

    CComTypeInfoHolder::ReleaseTypeInfo(reinterpret_cast<DWORD_PTR>(&m_holder));
}

TEST_F(TypeInfoHolderTest, LoadRegistersItsCleanupWithTheModuleOnce)
{
    ITypeInfo* typeInfo = nullptr;
    EXPECT_EQ(kLibraryNotRegistered, m_holder.GetTypeInfo(0, kClientLocale, &typeInfo));
    EXPECT_EQ(nullptr, m_pModule->m_pTermFunctions);

    ASSERT_EQ(S_OK, RegisterBuiltTypeLibrary());
    ASSERT_EQ(S_OK, m_holder.GetTypeInfo(0, kClientLocale, &typeInfo));
    EXPECT_EQ(m_holder.m_pTypeInfo, typeInfo);
    EXPECT_NE(nullptr, m_holder.m_pNameCache);
    ASSERT_NE(nullptr, m_pModule->m_pTermFunctions);
    EXPECT_EQ(reinterpret_cast<DWORD_PTR>(&m_holder), m_pModule->m_pTermFunctions->dwData);
    EXPECT_EQ(nullptr, m_pModule->m_pTermFunctions->pNext);

    // Later calls find everything in place and register nothing more.
    EXPECT_EQ(S_OK, m_holder.EnsureTypeInfo(kClientLocale));
    IdOf(L"GetTypeInfo");
    EXPECT_EQ(nullptr, m_pModule->m_pTermFunctions->pNext);

    const ULONG whileHeld = ReferenceCount(typeInfo);
    m_pModule->Term();
    EXPECT_EQ(nullptr, m_holder.m_pTypeInfo);
    EXPECT_EQ(nullptr, m_holder.m_pNameCache);
    EXPECT_EQ(whileHeld - 1, ReferenceCount(typeInfo));
    typeInfo->Release();

    // Nothing is loaded again once the module has terminated.
    ITypeInfo* afterTerm = reinterpret_cast<ITypeInfo*>(&afterTerm);
    EXPECT_EQ(E_UNEXPECTED, m_holder.GetTypeInfo(0, kClientLocale, &afterTerm));
    EXPECT_EQ(nullptr, afterTerm);
}

TEST(IsEqualObjectTest, ComparesIdentitiesNotPointers)
{
    ITypeLib* library = nullptr;
    ASSERT_EQ(S_OK, LoadBuiltTypeLibrary(&library));
    ITypeLib2* library2 = nullptr;
    ASSERT_EQ(S_OK, library->QueryInterface(IID_ITypeLib2, reinterpret_cast<void**>(&library2)));
    ITypeInfo* typeInfo = nullptr;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(IID_IRefresherBand, &typeInfo));

    EXPECT_TRUE(IsEqualObject(library, library2));
    EXPECT_FALSE(IsEqualObject(library, typeInfo));
    EXPECT_FALSE(IsEqualObject(library, nullptr));
    EXPECT_FALSE(IsEqualObject(nullptr, library));
    EXPECT_TRUE(IsEqualObject(nullptr, nullptr));

    typeInfo->Release();
    library2->Release();
    library->Release();
}

} // namespace
