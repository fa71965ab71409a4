#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

// The type library the build compiled, for the tests of the dispatch face.

// The library is registered for U.S. English, so that is what the clients of
// these tests speak; the lookup is the platform's, locale rules included.
const LCID kClientLocale = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);

// What the platform's registry lookup says for a library nobody registered.
const HRESULT kLibraryNotRegistered = TYPE_E_LIBNOTREGISTERED;

inline std::wstring TypeLibraryPath()
{
    // The build's type library, reached through Wine's drive for the Unix root.
    std::wstring path = L"Z:";
    for (const char* c = TANDREL_TYPELIB_PATH; *c; ++c)
        path += (*c == '/') ? L'\\' : static_cast<wchar_t>(*c);
    return path;
}

inline HRESULT LoadBuiltTypeLibrary(ITypeLib** library)
{
    return LoadTypeLibEx(TypeLibraryPath().c_str(), REGKIND_NONE, library);
}

inline HRESULT RegisterBuiltTypeLibrary()
{
    std::wstring path = TypeLibraryPath();
    ITypeLib* library = nullptr;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr))
        return hr;
    hr = RegisterTypeLib(library, &path[0], nullptr);
    library->Release();
    return hr;
}
