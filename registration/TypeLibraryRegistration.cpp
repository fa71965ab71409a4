#include "registration/TypeLibraryRegistration.h"

#include "server/ModulePath.h"
#include "support/Owners.h"
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
// extension, unless that would not fit the buffer.
HRESULT LoadFallbackTypeLibrary(CHAR (&path)[MAX_PATH], LPSTR extension, CTextConverter& converter,
                                LPCWSTR* widePath, ITypeLib** library)
{
    if ((extension - path) + static_cast<int>(sizeof(kTypeLibrarySuffix)) > MAX_PATH)
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

    CHAR modulePath[MAX_PATH];
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

HRESULT UnregisterModuleTypeLibrary(HINSTANCE module)
{
    CModuleTypeLibrary loaded;
    HRESULT hr = loaded.Load(module);
    if (FAILED(hr))
        return hr;

    CLibraryAttributes attributes(loaded.library.Get());
    hr = loaded.library->GetLibAttr(attributes.Receive());
    if (FAILED(hr))
        return hr;
    return UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                             attributes->lcid, attributes->syskind);
}
