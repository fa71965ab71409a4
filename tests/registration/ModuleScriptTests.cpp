#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "registration/ComponentCategories.h"
#include "registration/ModuleRegistration.h"
#include "server/Module.h"
#include "tests/common/SandboxedTest.h"

namespace {

// The program's module object, as the DLL makes its own beside its entry
// points; the entry points and walks under test reach it as g_pModule.
CComModule s_module;

const char kScriptKey[] = "TandrelModuleScript";
const RegistryReplacement kExtra[] = {{L"Extra", L"one"}, {nullptr, nullptr}};

std::string ProgramPath()
{
    CHAR path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// The test program stands in for the DLL: its module object runs the
// program's own script resources.
class UpdateRegistryFromScript : public SandboxedTest {};

TEST_F(UpdateRegistryFromScript, ByIdAddsExtrasThenAppIdAndTheModulePath)
{
    ASSERT_EQ(S_OK, g_pModule->UpdateRegistryFromScript(102u, TRUE, kExtra));
    EXPECT_EQ("one", RegistryProbe::ReadString(HKEY_CURRENT_USER, kScriptKey, ""));
    EXPECT_EQ(ProgramPath(), RegistryProbe::ReadString(HKEY_CURRENT_USER, kScriptKey, "Module"));
    EXPECT_EQ(ProgramPath(), RegistryProbe::ReadString(HKEY_CURRENT_USER, kScriptKey, "Raw"));
    EXPECT_EQ("[]", RegistryProbe::ReadString(HKEY_CURRENT_USER, kScriptKey, "AppId"));

    ASSERT_EQ(S_OK, g_pModule->UpdateRegistryFromScript(102u, FALSE, kExtra));
    EXPECT_TRUE(Sandbox().IsEmpty());
}

TEST_F(UpdateRegistryFromScript, ByNameRunsTheNamedResourceAndRefusesAMissingName)
{
    EXPECT_EQ(E_OUTOFMEMORY, g_pModule->UpdateRegistryFromScript(static_cast<LPCSTR>(nullptr), TRUE, kExtra));
    EXPECT_TRUE(Sandbox().IsEmpty());

    ASSERT_EQ(S_OK, g_pModule->UpdateRegistryFromScript("MODULESCRIPT", TRUE, kExtra));
    EXPECT_EQ(ProgramPath(), RegistryProbe::ReadString(HKEY_CURRENT_USER, kScriptKey, "Module"));
    ASSERT_EQ(S_OK, g_pModule->UpdateRegistryFromScript("MODULESCRIPT", FALSE, kExtra));
    EXPECT_TRUE(Sandbox().IsEmpty());
}

TEST_F(UpdateRegistryFromScript, ByNameTakesAnIntegerIdentifierAsTheIdForm)
{
    ASSERT_EQ(S_OK, g_pModule->UpdateRegistryFromScript(MAKEINTRESOURCEA(102), TRUE, kExtra));
    EXPECT_EQ("one", RegistryProbe::ReadString(HKEY_CURRENT_USER, kScriptKey, ""));
    EXPECT_EQ(ProgramPath(), RegistryProbe::ReadString(HKEY_CURRENT_USER, kScriptKey, "Raw"));
    ASSERT_EQ(S_OK, g_pModule->UpdateRegistryFromScript(MAKEINTRESOURCEA(102), FALSE, kExtra));
    EXPECT_TRUE(Sandbox().IsEmpty());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND),
              g_pModule->UpdateRegistryFromScript(MAKEINTRESOURCEA(103), TRUE, kExtra));
}

TEST_F(UpdateRegistryFromScript, WithoutTheExtraTheScriptFailsAndWritesNothing)
{
    EXPECT_EQ(DISP_E_EXCEPTION, g_pModule->UpdateRegistryFromScript(102u, TRUE, nullptr));
    EXPECT_TRUE(Sandbox().IsEmpty());
}

// Records the class walk's calls to the one class of a test object map.
std::vector<std::string> g_calls;
HRESULT g_registryResult = S_OK;
const GUID kTestClass = {0x1b2d4a10, 0x7c2e, 0x4f11, {0x9a, 0x10, 0x55, 0x21, 0x0c, 0x7e, 0x3d, 0x44}};
const CategoryMapEntry kOneCategory[] = {{kCategoryImplemented, &kTestClass}, {kCategoryEnd, nullptr}};
const CategoryMapEntry kUnknownKind[] = {{static_cast<CategoryKind>(7), &kTestClass}, {kCategoryEnd, nullptr}};
const CategoryMapEntry* g_categories = nullptr;

HRESULT WINAPI RecordRegistry(BOOL bRegister)
{
    g_calls.push_back(bRegister ? "register" : "unregister");
    return g_registryResult;
}

const CategoryMapEntry* WINAPI Categories()
{
    g_calls.push_back("categories");
    return g_categories;
}

// The test map goes in before the sandbox is made: TearDown puts the
// program's map back whether the sandbox could be made or not.
class ClassWalk : public SandboxedTest {
protected:
    void SetUp() override
    {
        g_calls.clear();
        g_registryResult = S_OK;
        g_categories = nullptr;
        m_map[0] = {&kTestClass, RecordRegistry, nullptr, nullptr, nullptr, 0, nullptr, Categories, nullptr};
        m_map[1] = {};
        m_pPrevious = std::exchange(g_pModule->m_pObjectMap, m_map);
        SandboxedTest::SetUp();
    }
    void TearDown() override { g_pModule->m_pObjectMap = m_pPrevious; }

    ObjectMapEntry m_map[2];
    ObjectMapEntry* m_pPrevious = nullptr;
};

TEST_F(ClassWalk, RegistrationRunsTheScriptBeforeTheCategoriesAndUnregistrationAfter)
{
    EXPECT_EQ(S_OK, RegisterAllClasses(*g_pModule, FALSE));
    EXPECT_EQ(S_OK, UnregisterAllClasses(*g_pModule, FALSE));
    EXPECT_EQ((std::vector<std::string>{"register", "categories", "categories", "unregister"}), g_calls);
}

TEST_F(ClassWalk, FirstFailureStopsTheWalk)
{
    g_registryResult = E_ACCESSDENIED;
    EXPECT_EQ(E_ACCESSDENIED, RegisterAllClasses(*g_pModule, TRUE));
    EXPECT_EQ(std::vector<std::string>{"register"}, g_calls);

    g_calls.clear();
    g_registryResult = S_OK;
    g_categories = kUnknownKind;
    EXPECT_EQ(E_INVALIDARG, RegisterAllClasses(*g_pModule, TRUE));
    EXPECT_EQ((std::vector<std::string>{"register", "categories"}), g_calls);
}

// Categories of a class that was never registered are no failure.
TEST_F(ClassWalk, DeclaredCategoriesDoNotStopUnregistration)
{
    g_categories = kOneCategory;
    EXPECT_EQ(S_OK, UnregisterAllClasses(*g_pModule, FALSE));
    EXPECT_EQ((std::vector<std::string>{"categories", "unregister"}), g_calls);
}

TEST_F(ClassWalk, TypeLibraryStepComesLastAndGivesTheResult)
{
    // The program carries no type library and has no .tlb beside it.
    const HRESULT hr = RegisterAllClasses(*g_pModule, TRUE);
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_EQ((std::vector<std::string>{"register", "categories"}), g_calls);
    EXPECT_EQ(hr, UnregisterAllClasses(*g_pModule, TRUE));
    EXPECT_TRUE(Sandbox().IsEmpty());
}

TEST(ClassWalkOfAnEmptyMap, SucceedsWithoutTheTypeLibrary)
{
    ObjectMapEntry emptyMap[1] = {};
    ObjectMapEntry* previous = std::exchange(g_pModule->m_pObjectMap, emptyMap);
    EXPECT_EQ(S_OK, RegisterAllClasses(*g_pModule, FALSE));
    EXPECT_EQ(S_OK, UnregisterAllClasses(*g_pModule, FALSE));
    g_pModule->m_pObjectMap = previous;
}

} // namespace
