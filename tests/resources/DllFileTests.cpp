#include <gtest/gtest.h>

#include <windows.h>
#include <winver.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "support/Owners.h"

namespace {

std::string DllPath()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.resize(folder.find_last_of('\\') + 1);
    return folder + "Tandrel.DLL";
}

std::vector<BYTE> VersionBlock()
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(DllPath().c_str(), &ignored);
    std::vector<BYTE> block(size);
    if (size == 0 || !GetFileVersionInfoA(DllPath().c_str(), 0, size, block.data()))
        block.clear();
    return block;
}

std::string VersionString(std::vector<BYTE>& block, const char* name)
{
    const std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
    char* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) || !text)
        return "<missing>";
    return text;
}

// A module mapped as an image without running any of its code.
class CMappedImage {
public:
    CMappedImage() : m_module(LoadLibraryExA(DllPath().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES)) {}
    HMODULE Get() const { return m_module.Get(); }
    const BYTE* Base() const { return reinterpret_cast<const BYTE*>(m_module.Get()); }

private:
    CModuleHandle m_module;
};

// The DLL is built for the test program's own platform: PE32 for 32-bit
// Windows, PE32+ for 64-bit; each has a size budget once stripped.
#ifdef _WIN64
const WORD kMachine = IMAGE_FILE_MACHINE_AMD64;
const WORD kOptionalHeaderMagic = 0x20B;
const ULONGLONG kStrippedSizeBudget = 240 * 1024;
#else
const WORD kMachine = IMAGE_FILE_MACHINE_I386;
const WORD kOptionalHeaderMagic = 0x10B;
const ULONGLONG kStrippedSizeBudget = 200 * 1024;
#endif

const IMAGE_NT_HEADERS* NtHeaders(const CMappedImage& image)
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.Base());
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(image.Base() + dos->e_lfanew);
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

} // namespace

TEST(DllVersionBlock, CarriesVersion120AndTheModuleStrings)
{
    std::vector<BYTE> block = VersionBlock();
    ASSERT_FALSE(block.empty());

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(MAKELONG(2, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(2, 1), fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);
    EXPECT_EQ(DWORD(VFT_DLL), fixed->dwFileType);

    EXPECT_EQ("Tandrel Module", VersionString(block, "FileDescription"));
    EXPECT_EQ("Tandrel Module", VersionString(block, "ProductName"));
    EXPECT_EQ("1, 2, 0, 0", VersionString(block, "FileVersion"));
    EXPECT_EQ("1, 2, 0, 0", VersionString(block, "ProductVersion"));
    EXPECT_EQ("Tandrel", VersionString(block, "InternalName"));
    EXPECT_EQ("Tandrel.DLL", VersionString(block, "OriginalFilename"));
    EXPECT_NE("<missing>", VersionString(block, "CompanyName"));
    EXPECT_NE("<missing>", VersionString(block, "LegalCopyright"));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);
}

TEST(DllManifest, AsksForAsInvokerWithoutUiAccess)
{
    const CModuleHandle data(LoadLibraryExA(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_NE(nullptr, data.Get());
    // Resource 2 is the manifest a DLL uses for its own activation context.
    HRSRC found = FindResourceA(data.Get(), MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(24));
    ASSERT_NE(nullptr, found);
    const char* text = static_cast<const char*>(LockResource(LoadResource(data.Get(), found)));
    const std::string manifest(text, SizeofResource(data.Get(), found));
    EXPECT_NE(std::string::npos, manifest.find("requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\""));
}

// The static C and C++ runtime is linked in: nothing of the toolchain may be
// needed at run time.
TEST(DllImports, NameOnlySystemDlls)
{
    CMappedImage image;
    ASSERT_NE(nullptr, image.Get());
    const IMAGE_NT_HEADERS* nt = NtHeaders(image);
    EXPECT_EQ(kMachine, nt->FileHeader.Machine);
    ASSERT_EQ(kOptionalHeaderMagic, nt->OptionalHeader.Magic);
    EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(0u, directory.VirtualAddress);

    std::set<std::string> imported;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.Base() + directory.VirtualAddress);
         entry->Name; ++entry)
        imported.insert(Lower(reinterpret_cast<const char*>(image.Base() + entry->Name)));

    const std::set<std::string> system = {"kernel32.dll", "user32.dll",   "gdi32.dll", "advapi32.dll",
                                          "ole32.dll",    "oleaut32.dll", "msvcrt.dll", "comctl32.dll",
                                          "oleacc.dll"};
    for (const std::string& name : imported)
        EXPECT_TRUE(system.count(name)) << name << " is not a system DLL";
    EXPECT_TRUE(imported.count("kernel32.dll"));
}

// The release DLL is stripped (it has no symbol table); the debug build is not.
TEST(DllSize, StrippedDllFitsItsBudget)
{
    CMappedImage image;
    ASSERT_NE(nullptr, image.Get());
    if (NtHeaders(image)->FileHeader.PointerToSymbolTable != 0)
        GTEST_SKIP() << "not stripped: the debug build";
    WIN32_FILE_ATTRIBUTE_DATA file = {};
    ASSERT_TRUE(GetFileAttributesExA(DllPath().c_str(), GetFileExInfoStandard, &file));
    const ULONGLONG size = (static_cast<ULONGLONG>(file.nFileSizeHigh) << 32) | file.nFileSizeLow;
    EXPECT_LE(size, kStrippedSizeBudget);
}
