#include <gtest/gtest.h>

#include "TandrelLib.h"
#include "registration/TypeLibraryRegistration.h"
#include "support/Owners.h"
#include "tests/common/Platform.h"
#include "tests/common/SandboxedTest.h"
#include "tests/registration/ModuleCopy.h"

namespace {

const char kLibraryKey[] = "TypeLib\\{A9E4C1B7-2F60-4D83-9B15-7C0E3D58F2A4}";
const std::string kLibraryPathKey = std::string(kLibraryKey) + "\\1.0\\409\\" + kOwnPlatformKey;

// stdole2.tlb, the standard OLE automation library.
const GUID kStandardOleLibrary = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct TypeInfoSummary {
    std::wstring name;
    std::wstring help;
    TYPEKIND kind;
    GUID guid;
    WORD major, minor, flags, cbSizeVft;
    LCID lcid;
};

TypeInfoSummary Summarize(ITypeLib* library, UINT index)
{
    CInterfacePtr<ITypeInfo> info;
    EXPECT_EQ(S_OK, library->GetTypeInfo(index, info.Receive()));
    TYPEATTR* attributes = nullptr;
    EXPECT_EQ(S_OK, info->GetTypeAttr(&attributes));
    CBstr name, help;
    EXPECT_EQ(S_OK, library->GetDocumentation(index, name.Receive(), help.Receive(), nullptr, nullptr));
    TypeInfoSummary summary{name.Get(), help.Get(), attributes->typekind, attributes->guid,
                            attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->wTypeFlags,
                            attributes->cbSizeVft, attributes->lcid};
    info->ReleaseTypeAttr(attributes);
    return summary;
}

TEST(TypeLibraryResource, CarriesTheBandLibraryWithExactAttributes)
{
    CInterfacePtr<ITypeLib> library;
    ASSERT_EQ(S_OK, LoadTypeLib(BuiltModulePath().c_str(), library.Receive()));

    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, library->GetLibAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(LIBID_TANDRELLib, attributes->guid));
    EXPECT_EQ(1, attributes->wMajorVerNum);
    EXPECT_EQ(0, attributes->wMinorVerNum);
    EXPECT_EQ(0x409u, attributes->lcid);
    EXPECT_EQ(kOwnSystemKind, attributes->syskind);
    // The loader reports that the library came from a file; the file itself
    // declares no flags.
    EXPECT_EQ(0, attributes->wLibFlags & ~LIBFLAG_FHASDISKIMAGE);
    library->ReleaseTLibAttr(attributes);

    CBstr name, help, helpFile;
    ASSERT_EQ(S_OK, library->GetDocumentation(-1, name.Receive(), help.Receive(), nullptr, helpFile.Receive()));
    EXPECT_STREQ(L"TANDRELLib", name.Get());
    EXPECT_STREQ(L"Tandrel 1.0 Type Library", help.Get());
    EXPECT_EQ(nullptr, helpFile.Get());

    ASSERT_EQ(2u, library->GetTypeInfoCount());
    TypeInfoSummary coclass = Summarize(library.Get(), 0);
    EXPECT_EQ(L"RefresherBand", coclass.name);
    EXPECT_EQ(L"RefresherBand Class", coclass.help);
    EXPECT_EQ(TKIND_COCLASS, coclass.kind);
    EXPECT_TRUE(IsEqualGUID(CLSID_RefresherBand, coclass.guid));
    EXPECT_EQ(0, coclass.major);
    EXPECT_EQ(0, coclass.minor);
    EXPECT_EQ(TYPEFLAG_FCANCREATE, coclass.flags);

    TypeInfoSummary dual = Summarize(library.Get(), 1);
    EXPECT_EQ(L"IRefresherBand", dual.name);
    EXPECT_EQ(L"IRefresherBand Interface", dual.help);
    EXPECT_TRUE(IsEqualGUID(IID_IRefresherBand, dual.guid));
    EXPECT_EQ(0, dual.major);
    EXPECT_EQ(0, dual.minor);
    // The dispatch view of a dual interface: the platform's loader leaves the
    // automation flag off this view whatever the library stores. The stored
    // flags (dual, automation, dispatchable) are the interface view's, below.
    EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, dual.flags);
    EXPECT_EQ(7 * sizeof(void*), dual.cbSizeVft);
    EXPECT_EQ(0x409u, dual.lcid);
}

TEST(TypeLibraryResource, CoclassDefaultInterfaceIsTheDualInterfaceOverIDispatch)
{
    CInterfacePtr<ITypeLib> library;
    ASSERT_EQ(S_OK, LoadTypeLib(BuiltModulePath().c_str(), library.Receive()));
    CInterfacePtr<ITypeInfo> coclass;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(CLSID_RefresherBand, coclass.Receive()));
    INT implFlags = 0;
    ASSERT_EQ(S_OK, coclass->GetImplTypeFlags(0, &implFlags));
    EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, implFlags);

    // The interface's own (vtable) description: no members beyond IDispatch.
    CInterfacePtr<ITypeInfo> dispatchView, vtableView;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(IID_IRefresherBand, dispatchView.Receive()));
    HREFTYPE vtableRef = 0;
    ASSERT_EQ(S_OK, dispatchView->GetRefTypeOfImplType(-1, &vtableRef));
    ASSERT_EQ(S_OK, dispatchView->GetRefTypeInfo(vtableRef, vtableView.Receive()));
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, vtableView->GetTypeAttr(&attributes));
    EXPECT_EQ(TKIND_INTERFACE, attributes->typekind);
    EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE, attributes->wTypeFlags);
    EXPECT_EQ(0, attributes->cFuncs);
    EXPECT_EQ(0, attributes->cVars);
    EXPECT_EQ(7 * sizeof(void*), attributes->cbSizeVft);
    vtableView->ReleaseTypeAttr(attributes);

    HREFTYPE baseRef = 0;
    CInterfacePtr<ITypeInfo> base;
    ASSERT_EQ(S_OK, vtableView->GetRefTypeOfImplType(0, &baseRef));
    ASSERT_EQ(S_OK, vtableView->GetRefTypeInfo(baseRef, base.Receive()));
    CBstr baseName;
    ASSERT_EQ(S_OK, base->GetDocumentation(MEMBERID_NIL, baseName.Receive(), nullptr, nullptr, nullptr));
    EXPECT_STREQ(L"IDispatch", baseName.Get());

    // IDispatch comes from the imported standard OLE library, version 2.0.
    CInterfacePtr<ITypeLib> imported;
    UINT index = 0;
    ASSERT_EQ(S_OK, base->GetContainingTypeLib(imported.Receive(), &index));
    TLIBATTR* importedAttributes = nullptr;
    ASSERT_EQ(S_OK, imported->GetLibAttr(&importedAttributes));
    EXPECT_TRUE(IsEqualGUID(kStandardOleLibrary, importedAttributes->guid));
    EXPECT_EQ(2, importedAttributes->wMajorVerNum);
    imported->ReleaseTLibAttr(importedAttributes);
}

TEST(LoadModuleTypeLibrary, RefusesNullOutputs)
{
    BSTR path = nullptr;
    ITypeLib* library = nullptr;
    EXPECT_EQ(E_POINTER, LoadModuleTypeLibrary(GetModuleHandleW(nullptr), nullptr, &library));
    EXPECT_EQ(E_POINTER, LoadModuleTypeLibrary(GetModuleHandleW(nullptr), &path, nullptr));
}

TEST(LoadModuleTypeLibrary, UnknownModuleGivesTheSystemErrorWithNullOutputs)
{
    BSTR path = reinterpret_cast<BSTR>(1);
    ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND),
              LoadModuleTypeLibrary(kNoModule, &path, &library));
    EXPECT_EQ(nullptr, path);
    EXPECT_EQ(nullptr, library);
}

TEST(LoadModuleTypeLibrary, LoadsTheModulesOwnResourceAndReportsTheModulePath)
{
    CModuleCopy copy(L"lib.folder", L"Tandrel.DLL");
    CBstr path;
    CInterfacePtr<ITypeLib> library;
    ASSERT_EQ(S_OK, LoadModuleTypeLibrary(copy.Load(), path.Receive(), library.Receive()));
    EXPECT_EQ(copy.Path(), path.Get());
    ASSERT_TRUE(library);
}

TEST(LoadModuleTypeLibrary, FallsBackToTheTlbFileBesideTheModule)
{
    CModuleCopy copy(L"fallback", L"Tandrel.DLL");
    copy.HideResourceType(L"TYPELIB", L'X');
    copy.WriteTypeLibraryFile();
    CBstr path;
    CInterfacePtr<ITypeLib> library;
    ASSERT_EQ(S_OK, LoadModuleTypeLibrary(copy.Load(), path.Receive(), library.Receive()));
    EXPECT_EQ(copy.TypeLibraryPath(), path.Get());
    CInterfacePtr<ITypeInfo> band;
    EXPECT_EQ(S_OK, library->GetTypeInfoOfGuid(CLSID_RefresherBand, band.Receive()));
}

TEST(LoadModuleTypeLibrary, WithNeitherResourceNorFileFailsWithNullOutputs)
{
    CModuleCopy copy(L"nothing", L"Tandrel.DLL");
    copy.HideResourceType(L"TYPELIB", L'X');
    BSTR path = reinterpret_cast<BSTR>(1);
    ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
    HRESULT hr = LoadModuleTypeLibrary(copy.Load(), &path, &library);
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_NE(E_FAIL, hr);
    EXPECT_EQ(nullptr, path);
    EXPECT_EQ(nullptr, library);
}

// A folder of 200 characters and a file name that puts the extension at
// offset 256 or more: the ".tlb" name would not fit the path buffer.
std::wstring LongFolder()
{
    return std::wstring(200, L'f');
}

TEST(LoadModuleTypeLibrary, TooLongForTheTlbNameFailsWithEFail)
{
    CModuleCopy copy(LongFolder(), L"T.D");
    const size_t folderLength = copy.Path().size() - 3;
    // Extension at offset 256, whole path 258 characters.
    copy.Rename(std::wstring(258 - folderLength - 2, L'n') + L".D");
    copy.HideResourceType(L"TYPELIB", L'X');
    HMODULE module = copy.Load();
    CHAR reported[MAX_PATH];
    DWORD length = GetModuleFileNameA(module, reported, MAX_PATH);
    ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
    ASSERT_EQ(258u, length) << reported;
    BSTR path = nullptr;
    ITypeLib* library = nullptr;
    EXPECT_EQ(E_FAIL, LoadModuleTypeLibrary(module, &path, &library));
    EXPECT_EQ(nullptr, library);
}

TEST(LoadModuleTypeLibrary, PathFillingTheBufferFailsWithInsufficientBuffer)
{
    CModuleCopy copy(LongFolder() + L"\\" + LongFolder(), L"Tandrel.DLL");
    BSTR path = nullptr;
    ITypeLib* library = nullptr;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), LoadModuleTypeLibrary(copy.Load(), &path, &library));
    EXPECT_EQ(nullptr, path);
}

class ModuleTypeLibraryRegistration : public SandboxedTest {};

TEST_F(ModuleTypeLibraryRegistration, RegistersTheModulePathWithoutHelpFolderAndUnregistersIt)
{
    CModuleCopy copy(L"register", L"Tandrel.DLL");
    HMODULE module = copy.Load();
    ASSERT_EQ(S_OK, RegisterModuleTypeLibrary(module));
    EXPECT_EQ(copy.AnsiPath(), RegistryProbe::ReadString(HKEY_CLASSES_ROOT, kLibraryPathKey, ""));
    EXPECT_EQ("Tandrel 1.0 Type Library",
              RegistryProbe::ReadString(HKEY_CLASSES_ROOT, std::string(kLibraryKey) + "\\1.0", ""));

    CInterfacePtr<ITypeLib> registered;
    EXPECT_EQ(S_OK, LoadRegTypeLib(LIBID_TANDRELLib, 1, 0, 0x409, registered.Receive()));

    ASSERT_EQ(S_OK, UnregisterModuleTypeLibrary(module));
    EXPECT_FALSE(RegistryProbe::KeyExists(HKEY_CLASSES_ROOT, kLibraryKey));
}

TEST_F(ModuleTypeLibraryRegistration, FallbackFileIsThePathRegistered)
{
    CModuleCopy copy(L"register fallback", L"Tandrel.DLL");
    copy.HideResourceType(L"TYPELIB", L'X');
    copy.WriteTypeLibraryFile();
    HMODULE module = copy.Load();
    ASSERT_EQ(S_OK, RegisterModuleTypeLibrary(module));
    EXPECT_EQ(ToAnsi(copy.TypeLibraryPath()), RegistryProbe::ReadString(HKEY_CLASSES_ROOT, kLibraryPathKey, ""));
    ASSERT_EQ(S_OK, UnregisterModuleTypeLibrary(module));
    EXPECT_FALSE(RegistryProbe::KeyExists(HKEY_CLASSES_ROOT, kLibraryKey));
}

TEST_F(ModuleTypeLibraryRegistration, FailuresToLocateTheLibraryComeBackFromBothDirections)
{
    CModuleCopy copy(L"missing", L"Tandrel.DLL");
    copy.HideResourceType(L"TYPELIB", L'X');
    HMODULE module = copy.Load();
    BSTR path = nullptr;
    ITypeLib* library = nullptr;
    const HRESULT locateFailure = LoadModuleTypeLibrary(module, &path, &library);
    ASSERT_TRUE(FAILED(locateFailure));
    EXPECT_EQ(locateFailure, RegisterModuleTypeLibrary(module));
    EXPECT_EQ(locateFailure, UnregisterModuleTypeLibrary(module));
    EXPECT_TRUE(Sandbox().IsEmpty());
}

} // namespace
