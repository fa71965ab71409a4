#include <gtest/gtest.h>

#include <string>

#include "registrar/RegObject.h"
#include "tests/common/SandboxedTest.h"
#include "tests/registration/ModuleCopy.h"

namespace {

// RT_RCDATA, named by its integer identifier.
const LPCWSTR kRawDataType = MAKEINTRESOURCEW(10);

// A script too long for the in-frame copy of the script text.
std::string LongScript()
{
    return "HKCU\r\n{\r\n\tTandrelLong = s '%FILL%'\r\n\t{\r\n\t\tval Padding = s '" + std::string(1500, 'p') +
           "'\r\n\t}\r\n}";
}

class ScriptResourceArguments : public SandboxedTest {};

TEST_F(ScriptResourceArguments, MissingArgumentsAreRefusedBeforeTheModuleIsOpened)
{
    CRegObject registrar;
    const wchar_t* path = L"C:\\nowhere\\none.dll";
    EXPECT_EQ(E_OUTOFMEMORY, registrar.RegisterScriptResource(path, 101u, nullptr));
    EXPECT_EQ(E_OUTOFMEMORY, registrar.UnregisterScriptResource(path, 101u, nullptr));
    EXPECT_EQ(E_INVALIDARG, registrar.RegisterScriptResource(path, static_cast<LPCOLESTR>(nullptr), L"REGISTRY"));
    EXPECT_EQ(E_INVALIDARG, registrar.UnregisterScriptResource(path, L"NAME", nullptr));
    EXPECT_EQ(E_OUTOFMEMORY, registrar.RegisterScriptResource(nullptr, 101u, L"REGISTRY"));
    EXPECT_EQ(E_OUTOFMEMORY, registrar.ApplyScriptResource(nullptr, "NAME", "REGISTRY", TRUE));
}

TEST_F(ScriptResourceArguments, UnloadableModuleOrMissingResourceGiveTheSystemError)
{
    CModuleCopy copy(L"resources", L"Tandrel.DLL");
    CRegObject registrar;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
              registrar.RegisterScriptResource((copy.Path() + L".missing").c_str(), 101u, L"REGISTRY"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND),
              registrar.RegisterScriptResource(copy.Path().c_str(), 102u, L"REGISTRY"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND),
              registrar.RegisterScriptResource(copy.Path().c_str(), 101u, L"NOSUCHTYPE"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND),
              registrar.UnregisterScriptResource(copy.Path().c_str(), L"NOSUCHNAME", L"REGISTRY"));
    EXPECT_TRUE(Sandbox().IsEmpty());
}

class ScriptResource : public SandboxedTest {};

TEST_F(ScriptResource, BandScriptRunsFromTheModuleFileWithItsSubstitutions)
{
    CModuleCopy copy(L"band script", L"Tandrel.DLL");
    CRegObject registrar;
    ASSERT_EQ(S_OK, registrar.AddSubstitution(L"Module", L"C:\\x''y\\T.DLL"));
    ASSERT_EQ(S_OK, registrar.RegisterScriptResource(copy.Path().c_str(), 101u, L"REGISTRY"));
    EXPECT_EQ("C:\\x'y\\T.DLL",
              RegistryProbe::ReadString(HKEY_CLASSES_ROOT, "CLSID\\{6F3A2D14-9C57-4E0B-A1D8-3B72C54E9A06}\\InprocServer32", ""));
    EXPECT_EQ("0", RegistryProbe::ReadString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer\\Toolbar",
                                             "{6F3A2D14-9C57-4E0B-A1D8-3B72C54E9A06}"));

    ASSERT_EQ(S_OK, registrar.UnregisterScriptResource(copy.Path().c_str(), 101u, L"REGISTRY"));
    EXPECT_EQ("HKCR\\CLSID\n"
              "HKLM\\Software\n"
              "HKLM\\Software\\Microsoft\n"
              "HKLM\\Software\\Microsoft\\Internet Explorer\n"
              "HKLM\\Software\\Microsoft\\Internet Explorer\\Toolbar\n",
              Sandbox().Dump());
}

TEST_F(ScriptResource, IntegerNamesAndTypesPassAsResourceIdentifiers)
{
    CModuleCopy copy(L"integer names", L"Tandrel.DLL");
    CRegObject registrar;
    ASSERT_EQ(S_OK, registrar.AddSubstitution(L"Module", L"C:\\T.DLL"));
    ASSERT_EQ(S_OK, registrar.RegisterScriptResource(copy.Path().c_str(), MAKEINTRESOURCEW(101), L"REGISTRY"));
    EXPECT_EQ("C:\\T.DLL",
              RegistryProbe::ReadString(HKEY_CLASSES_ROOT, "CLSID\\{6F3A2D14-9C57-4E0B-A1D8-3B72C54E9A06}\\InprocServer32", ""));
    ASSERT_EQ(S_OK, registrar.UnregisterScriptResource(copy.Path().c_str(), MAKEINTRESOURCEW(101), L"REGISTRY"));
    EXPECT_FALSE(RegistryProbe::KeyExists(HKEY_CLASSES_ROOT, "Tandrel.RefresherBand"));

    // The module carries no RT_RCDATA resource at all.
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND),
              registrar.RegisterScriptResource(copy.Path().c_str(), 101u, kRawDataType));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND),
              registrar.UnregisterScriptResource(copy.Path().c_str(), MAKEINTRESOURCEW(101), kRawDataType));
}

TEST_F(ScriptResource, ScriptLongerThanTheFrameBufferRunsByNameInBothDirections)
{
    CModuleCopy copy(L"long script", L"Tandrel.DLL");
    copy.AddResource(L"REGISTRY", L"LONGSCRIPT", LongScript());
    CRegObject registrar;
    ASSERT_EQ(S_OK, registrar.AddSubstitution(L"Fill", L"filled"));
    ASSERT_EQ(S_OK, registrar.RegisterScriptResource(copy.Path().c_str(), L"LONGSCRIPT", L"REGISTRY"));
    EXPECT_EQ("filled", RegistryProbe::ReadString(HKEY_CURRENT_USER, "TandrelLong", ""));
    EXPECT_EQ(std::string(1500, 'p'), RegistryProbe::ReadString(HKEY_CURRENT_USER, "TandrelLong", "Padding"));

    ASSERT_EQ(S_OK, registrar.UnregisterScriptResource(copy.Path().c_str(), L"LONGSCRIPT", L"REGISTRY"));
    EXPECT_TRUE(Sandbox().IsEmpty());
}

TEST_F(ScriptResource, ScriptErrorsComeBackFromTheResourceRun)
{
    CModuleCopy copy(L"bad script", L"Tandrel.DLL");
    copy.AddResource(L"REGISTRY", L"UNKNOWNNAME", "HKCU\r\n{\r\n\tKey = s '%NOTSET%'\r\n}");
    CRegObject registrar;
    EXPECT_EQ(DISP_E_EXCEPTION, registrar.RegisterScriptResource(copy.Path().c_str(), L"UNKNOWNNAME", L"REGISTRY"));
    EXPECT_TRUE(Sandbox().IsEmpty());
}

} // namespace
