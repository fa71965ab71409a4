#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TandrelLib.h"
#include "support/Owners.h"
#include "tests/common/ImportRedirect.h"
#include "tests/common/Platform.h"
#include "tests/common/SandboxedTest.h"
#include "tests/common/ThreadLocale.h"
#include "tests/common/ValueWriteDenied.h"
#include "tests/registration/ModuleCopy.h"

namespace {

const char kClassId[] = "{6F3A2D14-9C57-4E0B-A1D8-3B72C54E9A06}";
const char kToolbarKey[] = "Software\\Microsoft\\Internet Explorer\\Toolbar";
const HRESULT kInsufficientBuffer = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

std::string Value(const std::string& key, const std::string& name, const std::string& data)
{
    return key + " : " + name + " = SZ \"" + data + "\"";
}

// What the script writes, with the module path registered.
std::vector<std::string> ScriptEntries(const std::string& modulePath)
{
    const std::string classKey = std::string("HKCR\\CLSID\\") + kClassId;
    const std::string toolbar = std::string("HKLM\\") + kToolbarKey;
    return {
        "HKCR\\Tandrel.RefresherBand.1",
        Value("HKCR\\Tandrel.RefresherBand.1", "@", "Tandrel"),
        "HKCR\\Tandrel.RefresherBand.1\\CLSID",
        Value("HKCR\\Tandrel.RefresherBand.1\\CLSID", "@", kClassId),
        "HKCR\\Tandrel.RefresherBand",
        Value("HKCR\\Tandrel.RefresherBand", "@", "Tandrel"),
        "HKCR\\Tandrel.RefresherBand\\CLSID",
        Value("HKCR\\Tandrel.RefresherBand\\CLSID", "@", kClassId),
        "HKCR\\Tandrel.RefresherBand\\CurVer",
        Value("HKCR\\Tandrel.RefresherBand\\CurVer", "@", "Tandrel.RefresherBand.1"),
        "HKCR\\CLSID",
        classKey,
        Value(classKey, "@", "Tandrel"),
        classKey + "\\ProgID",
        Value(classKey + "\\ProgID", "@", "Tandrel.RefresherBand.1"),
        classKey + "\\VersionIndependentProgID",
        Value(classKey + "\\VersionIndependentProgID", "@", "Tandrel.RefresherBand"),
        classKey + "\\Programmable",
        classKey + "\\InprocServer32",
        Value(classKey + "\\InprocServer32", "@", modulePath),
        Value(classKey + "\\InprocServer32", "ThreadingModel", "Apartment"),
        classKey + "\\TypeLib",
        Value(classKey + "\\TypeLib", "@", "{A9E4C1B7-2F60-4D83-9B15-7C0E3D58F2A4}"),
        "HKLM\\Software",
        "HKLM\\Software\\Microsoft",
        "HKLM\\Software\\Microsoft\\Internet Explorer",
        toolbar,
        Value(toolbar, kClassId, "0"),
    };
}

// Test fixtures written straight into the (sandboxed) registry.
void CreateKey(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(root, path.c_str(), &key)) << path;
    RegCloseKey(key);
}

void WriteString(HKEY root, const std::string& path, const std::string& name, const std::string& data)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(root, path.c_str(), &key)) << path;
    const LONG written = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                        static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, written) << path << " : " << name;
}

// A sandbox holding the class-root containers that every system has, so that
// only what registration adds or removes shows in its dump.
class SystemSandboxedTest : public SandboxedTest {
protected:
    void SetUp() override
    {
        SandboxedTest::SetUp();
        if (HasFatalFailure())
            return;
        for (const char* container : {"TypeLib", "Interface"})
            ASSERT_NO_FATAL_FAILURE(CreateKey(HKEY_CLASSES_ROOT, container));
    }
};

const char kContainers[] = "HKCR\\Interface\n"
                           "HKCR\\TypeLib\n";

// What the platform's type library registration writes for the library and
// its dual interface: the locale of the library, its flags as loaded (the
// disk-image flag) and the folder of the library as its help folder.
std::vector<std::string> TypeLibraryEntries(const std::string& libraryPath)
{
    const std::string library = "HKCR\\TypeLib\\{A9E4C1B7-2F60-4D83-9B15-7C0E3D58F2A4}";
    const std::string version = library + "\\1.0";
    const std::string dual = "HKCR\\Interface\\{D27B5E90-48A3-4C1F-8E62-915AF0C7B3D8}";
    return {
        "HKCR\\TypeLib",
        library,
        version,
        Value(version, "@", "Tandrel 1.0 Type Library"),
        version + "\\409",
        version + "\\409\\" + kOwnPlatformKey,
        Value(version + "\\409\\" + kOwnPlatformKey, "@", libraryPath),
        version + "\\FLAGS",
        Value(version + "\\FLAGS", "@", "8"),
        version + "\\HELPDIR",
        Value(version + "\\HELPDIR", "@", libraryPath.substr(0, libraryPath.rfind('\\'))),
        "HKCR\\Interface",
        dual,
        Value(dual, "@", "IRefresherBand"),
        dual + "\\ProxyStubClsid",
        Value(dual + "\\ProxyStubClsid", "@", "{00020424-0000-0000-C000-000000000046}"),
        dual + "\\ProxyStubClsid32",
        Value(dual + "\\ProxyStubClsid32", "@", "{00020424-0000-0000-C000-000000000046}"),
        dual + "\\TypeLib",
        Value(dual + "\\TypeLib", "@", "{A9E4C1B7-2F60-4D83-9B15-7C0E3D58F2A4}"),
        Value(dual + "\\TypeLib", "Version", "1.0"),
    };
}

// The script's entries that unregistration keeps while the other platform's
// DLL may use them: all but this view's class key and toolbar value.
std::vector<std::string> ScriptEntriesOfBothViews(const std::string& modulePath)
{
    std::vector<std::string> kept;
    for (const std::string& line : ScriptEntries(modulePath)) {
        if (line.find("HKCR\\CLSID\\") != 0 && line.find(" : " + std::string(kClassId)) == std::string::npos)
            kept.push_back(line);
    }
    return kept;
}

// What the category step adds to the script's entries.
std::vector<std::string> ScriptAndCategoryEntries(const std::string& modulePath)
{
    const std::string categories = std::string("HKCR\\CLSID\\") + kClassId + "\\Implemented Categories";
    std::vector<std::string> lines = ScriptEntries(modulePath);
    lines.push_back(categories);
    lines.push_back(categories + "\\{59FB2056-D625-48D0-A944-1A85B5AB2640}");
    return lines;
}

std::string RegisteredEntries(const std::string& modulePath)
{
    std::vector<std::string> lines = ScriptAndCategoryEntries(modulePath);
    std::vector<std::string> library = TypeLibraryEntries(modulePath);
    lines.insert(lines.end(), library.begin(), library.end());
    return RegistryProbe::SortedDump(lines);
}

// What unregistration leaves: the keys the script marks NoRemove.
const char kNoRemoveKeys[] =
    "HKCR\\CLSID\n"
    "HKCR\\Interface\n"
    "HKCR\\TypeLib\n"
    "HKLM\\Software\n"
    "HKLM\\Software\\Microsoft\n"
    "HKLM\\Software\\Microsoft\\Internet Explorer\n"
    "HKLM\\Software\\Microsoft\\Internet Explorer\\Toolbar\n";

class DllRegisterServer : public SystemSandboxedTest {
protected:
    // Registers copy, which registers its path exactly as the system reports
    // it, and unregisters it again.
    void ExpectPathRegisteredAsOnDiskAndTakenBack(CModuleCopy& copy)
    {
        ASSERT_EQ(S_OK, copy.Call("DllRegisterServer"));
        WCHAR server[MAX_PATH] = L"";
        DWORD bytes = sizeof(server);
        const std::wstring serverKey = std::wstring(L"CLSID\\") + ToWide(kClassId) + L"\\InprocServer32";
        ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CLASSES_ROOT, serverKey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                                              server, &bytes));
        EXPECT_EQ(copy.Path(), server);
        EXPECT_EQ(RegisteredEntries(copy.AnsiPath()), Sandbox().Dump());

        EXPECT_EQ(S_OK, copy.Call("DllUnregisterServer"));
        EXPECT_EQ(kNoRemoveKeys, Sandbox().Dump());
    }
};

TEST_F(DllRegisterServer, WritesExactlyTheScriptEntriesTheCategoryAndTheTypeLibraryWithTheQuotedFolderPath)
{
    CModuleCopy copy(L"Bob's Band", L"Tandrel.DLL");
    copy.Load();
    ASSERT_EQ(S_OK, copy.Call("DllRegisterServer"));
    EXPECT_NE(std::string::npos, copy.AnsiPath().find("Bob's Band\\Tandrel.DLL"));
    EXPECT_EQ(RegisteredEntries(copy.AnsiPath()), Sandbox().Dump());
}

// The platform's ANSI functions read and write text in the system's code
// page, 1252 here; a Japanese thread locale (code page 932, in which the
// "e acute" byte 0xE9 would take the following backslash as its trail byte)
// must not change the path that is registered.
TEST_F(DllRegisterServer, RegistersTheNonAsciiFolderPathAsOnDiskWhateverTheThreadLocale)
{
    ASSERT_EQ(1252u, GetACP());
    CModuleCopy copy(L"Caf\x00E9", L"Tandrel.DLL");
    copy.Load();
    CThreadLocale japanese(kJapaneseLocale);
    ExpectPathRegisteredAsOnDiskAndTakenBack(copy);
}

// Windows may take UTF-8 (65001) for the system's ANSI code page, in which a
// CJK character takes three bytes: a folder named in such characters makes a
// path of more bytes than MAX_PATH, and of more than two bytes a character.
// RegistrationToolTests runs this case with that code page.
TEST_F(DllRegisterServer, RegistersAFolderNamedInThreeByteCharactersInTheUtf8CodePage)
{
    if (GetACP() != CP_UTF8)
        GTEST_SKIP() << "the system's code page is " << GetACP() << ", not UTF-8";
    const std::wstring name(40, L'\x5c71');
    CModuleCopy copy(name + L"\\" + name, L"Tandrel.DLL");
    copy.Load();
    ASSERT_GT(copy.AnsiPath().size(), size_t{MAX_PATH});
    ExpectPathRegisteredAsOnDiskAndTakenBack(copy);
}

TEST_F(DllRegisterServer, RegisteringTwiceEqualsOnceAndRebuildsTheClassKey)
{
    CModuleCopy copy(L"twice", L"Tandrel.DLL");
    copy.Load();
    ASSERT_EQ(S_OK, copy.Call("DllRegisterServer"));
    const std::string once = Sandbox().Dump();
    ASSERT_NO_FATAL_FAILURE(CreateKey(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClassId + "\\Stale"));
    ASSERT_EQ(S_OK, copy.Call("DllRegisterServer"));
    EXPECT_EQ(once, Sandbox().Dump());
}

TEST_F(DllRegisterServer, FailedTypeLibraryRegistrationIsTheResultAndLeavesTheScriptEntriesAndTheCategory)
{
    CModuleCopy copy(L"no library", L"Tandrel.DLL");
    copy.HideResourceType(L"TYPELIB", L'X');
    copy.Load();
    const HRESULT hr = copy.Call("DllRegisterServer");
    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, hr);
    std::vector<std::string> expected = ScriptAndCategoryEntries(copy.AnsiPath());
    expected.push_back("HKCR\\Interface");
    expected.push_back("HKCR\\TypeLib");
    EXPECT_EQ(RegistryProbe::SortedDump(expected), Sandbox().Dump());

    // Without its library, unregistration cannot tell whether the other
    // platform's DLL shares the script's entries: they stay, the class key of
    // this view goes, and the result is the same.
    EXPECT_EQ(hr, copy.Call("DllUnregisterServer"));
    std::vector<std::string> kept = ScriptEntriesOfBothViews(copy.AnsiPath());
    kept.push_back("HKCR\\Interface");
    kept.push_back("HKCR\\TypeLib");
    EXPECT_EQ(RegistryProbe::SortedDump(kept), Sandbox().Dump());
}

class DllUnregisterServer : public SystemSandboxedTest {};

TEST_F(DllUnregisterServer, LeavesOnlyTheNoRemoveKeys)
{
    CModuleCopy copy(L"unregister", L"Tandrel.DLL");
    copy.Load();
    ASSERT_EQ(S_OK, copy.Call("DllRegisterServer"));
    ASSERT_EQ(S_OK, copy.Call("DllUnregisterServer"));
    EXPECT_EQ(kNoRemoveKeys, Sandbox().Dump());
}

TEST_F(DllUnregisterServer, MissingToolbarKeyChangesNeitherResultNorTheRest)
{
    CModuleCopy copy(L"no toolbar", L"Tandrel.DLL");
    copy.Load();
    ASSERT_EQ(S_OK, copy.Call("DllRegisterServer"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, kToolbarKey));
    EXPECT_EQ(S_OK, copy.Call("DllUnregisterServer"));
    EXPECT_EQ("HKCR\\CLSID\n"
              "HKCR\\Interface\n"
              "HKCR\\TypeLib\n"
              "HKLM\\Software\n"
              "HKLM\\Software\\Microsoft\n"
              "HKLM\\Software\\Microsoft\\Internet Explorer\n",
              Sandbox().Dump());
}

TEST_F(DllUnregisterServer, MissingToolbarValueChangesNeitherResultNorTheRest)
{
    CModuleCopy copy(L"no toolbar value", L"Tandrel.DLL");
    copy.Load();
    ASSERT_EQ(S_OK, copy.Call("DllRegisterServer"));
    HKEY toolbar = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kToolbarKey, 0, KEY_SET_VALUE, &toolbar));
    const LONG deleted = RegDeleteValueA(toolbar, kClassId);
    RegCloseKey(toolbar);
    ASSERT_EQ(ERROR_SUCCESS, deleted);
    EXPECT_EQ(S_OK, copy.Call("DllUnregisterServer"));
    EXPECT_EQ(kNoRemoveKeys, Sandbox().Dump());
}

TEST_F(DllUnregisterServer, KeepsTheClassKeyThatHoldsAForeignSubkey)
{
    CModuleCopy copy(L"foreign", L"Tandrel.DLL");
    copy.Load();
    ASSERT_EQ(S_OK, copy.Call("DllRegisterServer"));
    const std::string classKey = std::string("CLSID\\") + kClassId;
    ASSERT_NO_FATAL_FAILURE(CreateKey(HKEY_CLASSES_ROOT, classKey + "\\Foreign"));
    EXPECT_EQ(S_OK, copy.Call("DllUnregisterServer"));
    EXPECT_EQ(std::vector<std::string>{"Foreign"}, RegistryProbe::SubkeyNames(HKEY_CLASSES_ROOT, classKey));
    EXPECT_EQ("Tandrel", RegistryProbe::ReadString(HKEY_CLASSES_ROOT, classKey, ""));
    EXPECT_FALSE(RegistryProbe::KeyExists(HKEY_CLASSES_ROOT, "Tandrel.RefresherBand"));
    EXPECT_FALSE(RegistryProbe::KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\{A9E4C1B7-2F60-4D83-9B15-7C0E3D58F2A4}"));
}

// On 64-bit Windows the other platform's DLL registers the same library
// version under its own platform's subkey, and the ProgIDs and that version
// key are one for both registry views: they stay while the other DLL's
// registration does, and only this DLL's class key and platform subkey go.
const std::string kLocaleKey = "TypeLib\\{A9E4C1B7-2F60-4D83-9B15-7C0E3D58F2A4}\\1.0\\409\\";
const std::string kOtherPlatformDll = "C:\\Program Files\\Other\\Tandrel.DLL";

// The lines of the other platform's registration of the library.
std::vector<std::string> OtherPlatformEntries()
{
    return {"HKCR\\" + kLocaleKey + kOtherPlatformKey,
            Value("HKCR\\" + kLocaleKey + kOtherPlatformKey, "@", kOtherPlatformDll)};
}

TEST_F(DllUnregisterServer, KeepsTheSharedEntriesWhileTheOtherPlatformKeepsTheLibrary)
{
    CModuleCopy copy(L"side by side", L"Tandrel.DLL");
    copy.Load();
    ASSERT_EQ(S_OK, copy.Call("DllRegisterServer"));
    ASSERT_NO_FATAL_FAILURE(WriteString(HKEY_CLASSES_ROOT, kLocaleKey + kOtherPlatformKey, "", kOtherPlatformDll));

    EXPECT_EQ(S_OK, copy.Call("DllUnregisterServer"));
    std::vector<std::string> kept = ScriptEntriesOfBothViews(copy.AnsiPath());
    for (const std::string& line : TypeLibraryEntries(copy.AnsiPath())) {
        if (line.find("HKCR\\" + kLocaleKey + kOwnPlatformKey) != 0)
            kept.push_back(line);
    }
    for (const std::string& line : OtherPlatformEntries())
        kept.push_back(line);
    EXPECT_EQ(RegistryProbe::SortedDump(kept), Sandbox().Dump());
}

int g_stringCopiesToRefuse = 0;

BSTR WINAPI StringCopyOrRefusal(const OLECHAR* text)
{
    if (g_stringCopiesToRefuse > 0) {
        --g_stringCopiesToRefuse;
        return nullptr;
    }
    return SysAllocString(text);
}

// Whether the other platform's DLL still uses the shared entries is asked of
// the DLL's type library, loaded with a string copy of its path. When that
// copy fails the check cannot tell: unregistration keeps everything the other
// DLL may use, the library's registration too, and fails with its status.
TEST_F(DllUnregisterServer, CheckThatCannotTellKeepsTheSharedEntriesAndIsTheResult)
{
    CModuleCopy copy(L"cannot tell", L"Tandrel.DLL");
    copy.Load();
    ASSERT_EQ(S_OK, copy.Call("DllRegisterServer"));
    ASSERT_NO_FATAL_FAILURE(WriteString(HKEY_CLASSES_ROOT, kLocaleKey + kOtherPlatformKey, "", kOtherPlatformDll));

    g_stringCopiesToRefuse = 1;
    {
        const CScopedImportRedirect refused(
            copy.Module(), reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleA("oleaut32.dll"), "SysAllocString")),
            reinterpret_cast<const void*>(StringCopyOrRefusal));
        EXPECT_EQ(E_OUTOFMEMORY, copy.Call("DllUnregisterServer"));
    }
    EXPECT_EQ(0, g_stringCopiesToRefuse);
    std::vector<std::string> kept = ScriptEntriesOfBothViews(copy.AnsiPath());
    for (const std::string& line : TypeLibraryEntries(copy.AnsiPath()))
        kept.push_back(line);
    for (const std::string& line : OtherPlatformEntries())
        kept.push_back(line);
    EXPECT_EQ(RegistryProbe::SortedDump(kept), Sandbox().Dump());
}

// A path of more than MAX_PATH characters.
std::wstring LongFolder()
{
    return std::wstring(150, 'a') + L"\\" + std::wstring(150, 'b');
}

class LongModulePath : public SystemSandboxedTest {};

TEST_F(LongModulePath, RegistrationFailsBeforeTheScriptTouchesTheRegistry)
{
    CModuleCopy copy(LongFolder(), L"Tandrel.DLL");
    copy.Load();
    EXPECT_EQ(kInsufficientBuffer, copy.Call("DllRegisterServer"));
    EXPECT_EQ(kContainers, Sandbox().Dump());
}

TEST_F(LongModulePath, UnregistrationStillRemovesTheToolbarValueFirst)
{
    CModuleCopy copy(LongFolder(), L"Tandrel.DLL");
    copy.Load();
    ASSERT_NO_FATAL_FAILURE(WriteString(HKEY_LOCAL_MACHINE, kToolbarKey, kClassId, "0"));
    ASSERT_NO_FATAL_FAILURE(WriteString(HKEY_LOCAL_MACHINE, kToolbarKey, "Other", "1"));
    EXPECT_EQ(kInsufficientBuffer, copy.Call("DllUnregisterServer"));
    EXPECT_EQ(std::vector<std::string>{"Other"}, RegistryProbe::ValueNames(HKEY_LOCAL_MACHINE, kToolbarKey));
}

class RefusedToolbarKey : public SystemSandboxedTest {};

TEST_F(RefusedToolbarKey, KeepsTheClassEntriesTakesTheBlockBackAndRegistersNoTypeLibrary)
{
    CModuleCopy copy(L"refused", L"Tandrel.DLL");
    copy.Load();
    HKEY toolbar = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kToolbarKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &toolbar, nullptr));
    {
        CValueWriteDenied denied(toolbar);
        ASSERT_EQ(ERROR_SUCCESS, denied.m_result);
        HKEY probe = nullptr;
        ASSERT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kToolbarKey, 0, KEY_SET_VALUE, &probe))
            << "the platform does not enforce the key's security";

        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), copy.Call("DllRegisterServer"));
        std::vector<std::string> expected = ScriptEntries(copy.AnsiPath());
        expected.pop_back(); // the toolbar value
        expected.push_back("HKCR\\Interface");
        expected.push_back("HKCR\\TypeLib");
        EXPECT_EQ(RegistryProbe::SortedDump(expected), Sandbox().Dump());
    }
    RegCloseKey(toolbar);
}

TEST_F(RefusedToolbarKey, UnregistrationProceedsWithoutTheToolbarValue)
{
    CModuleCopy copy(L"refused unregister", L"Tandrel.DLL");
    copy.Load();
    ASSERT_EQ(S_OK, copy.Call("DllRegisterServer"));
    HKEY toolbar = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kToolbarKey, 0, KEY_ALL_ACCESS, &toolbar));
    {
        CValueWriteDenied denied(toolbar);
        ASSERT_EQ(ERROR_SUCCESS, denied.m_result);
        // The script's own removal of the value is refused as well.
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), copy.Call("DllUnregisterServer"));
        EXPECT_EQ(std::vector<std::string>{kClassId}, RegistryProbe::ValueNames(HKEY_LOCAL_MACHINE, kToolbarKey));
        EXPECT_FALSE(RegistryProbe::KeyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClassId));
    }
    RegCloseKey(toolbar);
}

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

CInterfacePtr<IDispatch> CreateBand(HMODULE module)
{
    auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    CInterfacePtr<IClassFactory> factory;
    CInterfacePtr<IDispatch> band;
    EXPECT_EQ(S_OK, getClassObject(CLSID_RefresherBand, IID_IClassFactory, factory.ReceiveVoid()));
    if (factory) {
        EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch, band.ReceiveVoid()));
    }
    return band;
}

class DispatchThroughTheRegisteredLibrary : public SystemSandboxedTest {};

TEST_F(DispatchThroughTheRegisteredLibrary, AnswersOnceRegisteredWithoutReloadingTheModule)
{
    CModuleCopy copy(L"dispatch", L"Tandrel.DLL");
    copy.Load();
    CInterfacePtr<IDispatch> band = CreateBand(copy.Module());
    ASSERT_TRUE(band);

    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, band->GetTypeInfo(0, 0x409, &info));
    EXPECT_EQ(nullptr, info);
    DISPID dispid = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"QueryInterface");
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, band->GetIDsOfNames(IID_NULL, &name, 1, 0x409, &dispid));

    ASSERT_EQ(S_OK, copy.Call("DllRegisterServer"));
    CInterfacePtr<ITypeInfo> registered;
    ASSERT_EQ(S_OK, band->GetTypeInfo(0, 0x409, registered.Receive()));
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, registered->GetTypeAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(IID_IRefresherBand, attributes->guid));
    registered->ReleaseTypeAttr(attributes);
    EXPECT_EQ(S_OK, band->GetIDsOfNames(IID_NULL, &name, 1, 0x409, &dispid));

    band.Reset();
    ASSERT_EQ(S_OK, copy.Call("DllUnregisterServer"));
}

} // namespace
