#include <windows.h>
#include <oleauto.h>
#include <shlobj.h>

#include <string>

#include <gtest/gtest.h>

#include "TandrelLib.h"
#include "host/TandrelLibrary.h"
#include "tests/common/SandboxedTest.h"
#include "tests/server/ComProbes.h"
#include "tests/server/TypeLibrary.h"

namespace {

class DispatchTest : public SandboxedTest {
protected:
    void SetUp() override
    {
        SandboxedTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_NO_FATAL_FAILURE(RegisterLibrary());
        ASSERT_TRUE(m_server.IsLoaded());
        ASSERT_EQ(S_OK, m_server.CreateBand(IID_IDispatch, reinterpret_cast<void**>(&m_pDispatch)));
    }
    void TearDown() override
    {
        if (m_pDispatch) {
            EXPECT_EQ(0u, m_pDispatch->Release());
        }
        m_server.Unload();
        EXPECT_FALSE(IsServerMapped());
    }

    // What the suite registers in the sandbox before the band is made.
    virtual void RegisterLibrary() {}

    HRESULT IdOf(const wchar_t* name, DISPID* dispid)
    {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        return m_pDispatch->GetIDsOfNames(IID_NULL, names, 1, kClientLocale, dispid);
    }

    CTandrelLibrary m_server;
    IDispatch* m_pDispatch = nullptr;
};

TEST_F(DispatchTest, OneTypeInfoAndBadIndexWithoutLoading)
{
    UINT count = 0;
    EXPECT_EQ(S_OK, m_pDispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(E_POINTER, m_pDispatch->GetTypeInfoCount(nullptr));

    // Nothing is registered, so only an index check can produce this answer.
    ITypeInfo* typeInfo = nullptr;
    EXPECT_EQ(DISP_E_BADINDEX, m_pDispatch->GetTypeInfo(1, kClientLocale, &typeInfo));
    EXPECT_EQ(E_POINTER, m_pDispatch->GetTypeInfo(0, kClientLocale, nullptr));
}

TEST_F(DispatchTest, UnregisteredLibraryFailsUntilRegisteredInTheSameProcess)
{
    ITypeInfo* typeInfo = reinterpret_cast<ITypeInfo*>(&typeInfo);
    EXPECT_EQ(kLibraryNotRegistered, m_pDispatch->GetTypeInfo(0, kClientLocale, &typeInfo));
    EXPECT_EQ(nullptr, typeInfo);
    DISPID dispid = 0;
    EXPECT_EQ(kLibraryNotRegistered, IdOf(L"Invoke", &dispid));
    DISPPARAMS noArguments = {};
    EXPECT_EQ(kLibraryNotRegistered, m_pDispatch->Invoke(1, IID_NULL, kClientLocale, DISPATCH_METHOD,
                                                         &noArguments, nullptr, nullptr, nullptr));

    ASSERT_EQ(S_OK, RegisterBuiltTypeLibrary());
    ASSERT_EQ(S_OK, m_pDispatch->GetTypeInfo(0, kClientLocale, &typeInfo));
    ASSERT_NE(nullptr, typeInfo);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, typeInfo->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualIID(IID_IRefresherBand, attr->guid));
    typeInfo->ReleaseTypeAttr(attr);

    // Every call hands out the one loaded object.
    ITypeInfo* again = nullptr;
    ASSERT_EQ(S_OK, m_pDispatch->GetTypeInfo(0, kClientLocale, &again));
    EXPECT_EQ(typeInfo, again);
    again->Release();
    typeInfo->Release();
}

class RegisteredDispatchTest : public DispatchTest {
protected:
    void RegisterLibrary() override { ASSERT_EQ(S_OK, RegisterBuiltTypeLibrary()); }
};

TEST_F(RegisteredDispatchTest, NamesResolveAlikeInAndOutOfTheCache)
{
    DISPID cached = 0;
    ASSERT_EQ(S_OK, IdOf(L"Invoke", &cached));
    DISPID again = 0;
    ASSERT_EQ(S_OK, IdOf(L"Invoke", &again));
    EXPECT_EQ(cached, again);

    // The cache matches exactly; the platform then matches regardless of case.
    DISPID otherCase = 0;
    EXPECT_EQ(S_OK, IdOf(L"INVOKE", &otherCase));
    EXPECT_EQ(cached, otherCase);

    DISPID unknown = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, IdOf(L"Refresh", &unknown));
    EXPECT_EQ(DISPID_UNKNOWN, unknown);
    // As long as GetTypeInfoCount, and the same in its first half.
    EXPECT_EQ(DISP_E_UNKNOWNNAME, IdOf(L"GetTypeInfoTally", &unknown));
}

TEST_F(RegisteredDispatchTest, TwoNamesAlwaysReachThePlatform)
{
    DISPID cached = 0;
    ASSERT_EQ(S_OK, IdOf(L"Invoke", &cached));

    // The second name is a parameter of the first, which only the platform knows.
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Invoke"), const_cast<LPOLESTR>(L"wFlags")};
    DISPID dispids[2] = {0, 0};
    EXPECT_EQ(S_OK, m_pDispatch->GetIDsOfNames(IID_NULL, names, 2, kClientLocale, dispids));
    EXPECT_EQ(cached, dispids[0]);
    EXPECT_EQ(3, dispids[1]);

    names[1] = const_cast<LPOLESTR>(L"NoSuchParameter");
    EXPECT_EQ(DISP_E_UNKNOWNNAME, m_pDispatch->GetIDsOfNames(IID_NULL, names, 2, kClientLocale, dispids));
    EXPECT_EQ(E_POINTER, m_pDispatch->GetIDsOfNames(IID_NULL, nullptr, 1, kClientLocale, dispids));
    EXPECT_EQ(E_POINTER, m_pDispatch->GetIDsOfNames(IID_NULL, names, 1, kClientLocale, nullptr));
}

TEST_F(RegisteredDispatchTest, InvokeIsAnsweredByThePlatformTypeInfo)
{
    // The interface has no members of its own: the type information knows of
    // nothing that could be invoked, not even the inherited restricted ones.
    DISPID addRef = 0;
    ASSERT_EQ(S_OK, IdOf(L"AddRef", &addRef));
    DISPPARAMS noArguments = {};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, m_pDispatch->Invoke(addRef, IID_NULL, kClientLocale, DISPATCH_METHOD,
                                                         &noArguments, &result, nullptr, nullptr));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, m_pDispatch->Invoke(0x7654, IID_NULL, kClientLocale, DISPATCH_METHOD,
                                                         &noArguments, &result, nullptr, nullptr));
    EXPECT_EQ(VT_EMPTY, result.vt);
    EXPECT_EQ(1u, ReferenceCount(m_pDispatch));
}

TEST_F(RegisteredDispatchTest, ModuleTerminationReleasesTheTypeInfo)
{
    ITypeInfo* typeInfo = nullptr;
    ASSERT_EQ(S_OK, m_pDispatch->GetTypeInfo(0, kClientLocale, &typeInfo));
    const ULONG whileLoaded = ReferenceCount(typeInfo);
    EXPECT_EQ(0u, m_pDispatch->Release());
    m_pDispatch = nullptr;
    m_server.Unload();
    ASSERT_FALSE(IsServerMapped());
    EXPECT_EQ(whileLoaded - 1, ReferenceCount(typeInfo));
    typeInfo->Release();
}

// A library registered in the band's place whose interface lists one name
// twice under two member ids: the platform answers with the first function,
// the server's name cache with the later one, so each answer tells who gave it.
class TwinNameDispatchTest : public DispatchTest {
protected:
    void RegisterLibrary() override { ASSERT_EQ(S_OK, m_library.Register()); }

    CHandBuiltTypeLibrary m_library{IID_IRefresherBand,
                                    {{L"Twin", 0x101, INVOKE_PROPERTYGET}, {L"Twin", 0x102, INVOKE_PROPERTYPUT}}};
};

TEST_F(TwinNameDispatchTest, SingleExactNameIsAnsweredByTheLaterCacheRow)
{
    DISPID dispid = 0;
    ASSERT_EQ(S_OK, IdOf(L"Twin", &dispid));
    EXPECT_EQ(0x102, dispid);
    ASSERT_EQ(S_OK, IdOf(L"Twin", &dispid));
    EXPECT_EQ(0x102, dispid);
}

TEST_F(TwinNameDispatchTest, OtherLetterCaseIsResolvedByThePlatform)
{
    DISPID dispid = 0;
    ASSERT_EQ(S_OK, IdOf(L"Twin", &dispid));
    ASSERT_EQ(S_OK, IdOf(L"TWIN", &dispid));
    EXPECT_EQ(0x101, dispid);
    ASSERT_EQ(S_OK, IdOf(L"twin", &dispid));
    EXPECT_EQ(0x101, dispid);
}

TEST_F(TwinNameDispatchTest, TwoNamesGoToThePlatformEvenWhenTheFirstIsCached)
{
    DISPID cached = 0;
    ASSERT_EQ(S_OK, IdOf(L"Twin", &cached));
    ASSERT_EQ(0x102, cached);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Twin"), const_cast<LPOLESTR>(L"value")};
    DISPID dispids[2] = {0, 0};
    EXPECT_EQ(S_OK, m_pDispatch->GetIDsOfNames(IID_NULL, names, 2, kClientLocale, dispids));
    EXPECT_EQ(0x101, dispids[0]);
    EXPECT_EQ(0, dispids[1]);
}

// The band's library version 1.0 is registered but describes another interface.
class ForeignInterfaceDispatchTest : public DispatchTest {
protected:
    void RegisterLibrary() override { ASSERT_EQ(S_OK, m_library.Register()); }

    CHandBuiltTypeLibrary m_library{IID_IDispatch, {{L"Twin", 0x101, INVOKE_FUNC}}};
};

TEST_F(ForeignInterfaceDispatchTest, LibraryWithoutTheInterfaceFailsEveryCallAlike)
{
    ITypeInfo* typeInfo = reinterpret_cast<ITypeInfo*>(&typeInfo);
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, m_pDispatch->GetTypeInfo(0, kClientLocale, &typeInfo));
    EXPECT_EQ(nullptr, typeInfo);
    DISPID dispid = 0;
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, IdOf(L"Twin", &dispid));
    DISPPARAMS noArguments = {};
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, m_pDispatch->Invoke(0x101, IID_NULL, kClientLocale, DISPATCH_METHOD,
                                                          &noArguments, nullptr, nullptr, nullptr));
}

} // namespace
