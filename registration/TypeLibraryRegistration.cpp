#include "registration/TypeLibraryRegistration.h"

#include "registrar/RegistryKey.h"
#include "server/ModulePath.h"
#include "support/Guid.h"
#include "support/Owners.h"
#include "support/Status.h"
#include "support/TextConversion.h"

namespace {

constexpr char kTypeLibrarySuffix[] = ".tlb";

// Converts path for LoadTypeLib and tries it; the converted text stays in
// the caller's converter, to be kept as the path the library came from.
HRESULT LoadTypeLibraryFrom(LPCSTR path, CTextConverter& converter, LPCWSTR* widePath, ITypeLib** library)
{
    *widePath = converter.ToWide(path);
    if (!*widePath)
        return E_OUTOFMEMORY;
    return LoadTypeLib(*widePath, library);
}

// The module's own library did not load: the same path with ".tlb" for its
// extension, unless that would make a path of MAX_PATH characters or more.
// Any shorter one fits the buffer, whatever the code page.
HRESULT LoadFallbackTypeLibrary(CHAR (&path)[kModulePathBytes], LPSTR extension, CTextConverter& converter,
                                LPCWSTR* widePath, ITypeLib** library)
{
    static_assert(3 * (MAX_PATH - sizeof(kTypeLibrarySuffix)) + sizeof(kTypeLibrarySuffix) <= size_t{kModulePathBytes});
    const int stemBytes = static_cast<int>(extension - path);
    if (CharacterCount(path, stemBytes, CP_ACP) + static_cast<int>(sizeof(kTypeLibrarySuffix)) > MAX_PATH)
        return E_FAIL;
    CopyMemory(extension, kTypeLibrarySuffix, sizeof(kTypeLibrarySuffix));
    return LoadTypeLibraryFrom(path, converter, widePath, library);
}

// Cuts a help-file path after its folder: after the last "\", "/" or ":",
// or to nothing when it has none.
void TruncateToFolder(LPWSTR path)
{
    LPWSTR end = path;
    for (LPWSTR p = path; *p != L'\0'; p = CharNextW(p)) {
        if (*p == L'\\' || *p == L'/' || *p == L':')
            end = CharNextW(p);
    }
    *end = L'\0';
}

} // namespace

LPSTR FindPathExtension(LPSTR path)
{
    LPSTR extension = nullptr;
    LPSTR p = path;
    for (; *p != '\0'; p = const_cast<LPSTR>(NextChar(p, CP_ACP))) {
        if (*p == '\\')
            extension = nullptr;
        else if (*p == '.')
            extension = p;
    }
    return extension ? extension : p;
}

HRESULT LoadModuleTypeLibrary(HINSTANCE module, BSTR* path, ITypeLib** library)
{
    if (!path || !library)
        return E_POINTER;
    *path = nullptr;
    *library = nullptr;

    CHAR modulePath[kModulePathBytes];
    HRESULT hr = ReadModulePath(module, modulePath);
    if (FAILED(hr))
        return hr;
    LPSTR extension = FindPathExtension(modulePath);

    CTextConverter converter;
    LPCWSTR loadedPath = nullptr;
    hr = LoadTypeLibraryFrom(modulePath, converter, &loadedPath, library);
    if (!loadedPath)
        return hr;
    if (FAILED(hr)) {
        hr = LoadFallbackTypeLibrary(modulePath, extension, converter, &loadedPath, library);
        if (FAILED(hr))
            return hr;
    }
    *path = SysAllocString(loadedPath);
    return *path ? hr : E_OUTOFMEMORY;
}

namespace {

// The module's library with the path it was loaded from, both owned.
struct CModuleTypeLibrary {
    HRESULT Load(HINSTANCE module) { return LoadModuleTypeLibrary(module, path.Receive(), library.Receive()); }

    CBstr path;
    CInterfacePtr<ITypeLib> library;
};

} // namespace

HRESULT RegisterModuleTypeLibrary(HINSTANCE module)
{
    CModuleTypeLibrary loaded;
    const HRESULT hr = loaded.Load(module);
    if (FAILED(hr))
        return hr;
    ITypeLib* library = loaded.library.Get();

    CBstr helpFolder;
    HRESULT helpResult = library->GetDocumentation(-1, nullptr, nullptr, nullptr, helpFolder.Receive());
    const bool hasHelpFile = SUCCEEDED(helpResult) && helpFolder.Get();
    if (hasHelpFile)
        TruncateToFolder(helpFolder.Get());
    return RegisterTypeLib(library, loaded.path.Get(), hasHelpFile ? helpFolder.Get() : nullptr);
}

namespace {

// A library version is registered per locale under
// HKCR\TypeLib\{library}\<major>.<minor>\<locale> (the numbers in hex), with
// one subkey for each platform that registered it. On 64-bit Windows the
// TypeLib key is one for both registry views, so the 32-bit and the 64-bit
// DLL register the same version, as "win32" and "win64". Null for the
// platforms no Tandrel.DLL is built for.
LPCSTR PlatformKeyName(SYSKIND kind)
{
    switch (kind) {
    case SYS_WIN32: return "win32";
    case SYS_WIN64: return "win64";
    default: return nullptr;
    }
}

LONG OpenLocaleKey(const TLIBATTR& attributes, REGSAM access, CRegistryKey& key)
{
    CHAR library[kGuidTextChars];
    if (!FormatGuid(attributes.guid, library))
        return ERROR_INVALID_DATA;
    // At most 8 + 38 + 1 + 9 + 1 + 8 characters. The system's formatter, not
    // the C library's, whose floating-point machinery would be a sixth of
    // the DLL.
    CHAR name[80];
    wsprintfA(name, "TypeLib\\%s\\%x.%x\\%lx", library, attributes.wMajorVerNum, attributes.wMinorVerNum,
              static_cast<unsigned long>(attributes.lcid));
    return key.Open(HKEY_CLASSES_ROOT, name, access);
}

// Whether the locale key of this version holds another platform's subkey
// than the library's own: S_OK with the answer, or the registry's failure
// when it cannot tell.
HRESULT IsRegisteredForAnotherPlatform(const TLIBATTR& attributes, bool* another)
{
    *another = false;
    const LPCSTR own = PlatformKeyName(attributes.syskind);
    if (!own)
        return S_OK;
    CRegistryKey locale;
    LONG error = OpenLocaleKey(attributes, KEY_ENUMERATE_SUB_KEYS, locale);
    if (error == ERROR_FILE_NOT_FOUND)
        return S_OK;
    for (DWORD index = 0; error == ERROR_SUCCESS; ++index) {
        CHAR name[256];
        DWORD length = sizeof(name);
        error = RegEnumKeyExA(locale.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_SUCCESS && lstrcmpiA(name, own) != 0) {
            *another = true;
            return S_OK;
        }
    }
    return error == ERROR_NO_MORE_ITEMS ? S_OK : StatusFromWin32(error);
}

// While another platform's DLL keeps the version registered, its entries
// (the version key, FLAGS, HELPDIR and the interfaces' keys, which
// UnRegisterTypeLib would remove from both views) are that DLL's too: only
// this platform's subkey goes.
HRESULT RemovePlatformRegistration(const TLIBATTR& attributes)
{
    CRegistryKey locale;
    LONG error = OpenLocaleKey(attributes, KEY_READ | KEY_WRITE, locale);
    if (error == ERROR_SUCCESS)
        error = locale.DeleteTree(PlatformKeyName(attributes.syskind));
    return StatusFromWin32(error);
}

// Runs action with the attributes of the module's library.
template <class Action>
HRESULT WithModuleLibraryAttributes(HINSTANCE module, Action action)
{
    CModuleTypeLibrary loaded;
    HRESULT hr = loaded.Load(module);
    if (FAILED(hr))
        return hr;
    CLibraryAttributes attributes(loaded.library.Get());
    hr = loaded.library->GetLibAttr(attributes.Receive());
    if (FAILED(hr))
        return hr;
    return action(*attributes);
}

} // namespace

HRESULT IsModuleTypeLibraryShared(HINSTANCE module, bool* shared)
{
    *shared = false;
    return WithModuleLibraryAttributes(module, [shared](const TLIBATTR& attributes) {
        return IsRegisteredForAnotherPlatform(attributes, shared);
    });
}

HRESULT UnregisterModuleTypeLibrary(HINSTANCE module)
{
    return WithModuleLibraryAttributes(module, [](const TLIBATTR& attributes) {
        bool shared = false;
        const HRESULT hr = IsRegisteredForAnotherPlatform(attributes, &shared);
        if (FAILED(hr))
            return hr;
        if (shared)
            return RemovePlatformRegistration(attributes);
        return UnRegisterTypeLib(attributes.guid, attributes.wMajorVerNum, attributes.wMinorVerNum, attributes.lcid,
                                 attributes.syskind);
    });
}
