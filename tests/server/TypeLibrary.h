#pragma once
#include <windows.h>
#include <oleauto.h>

#include <initializer_list>
#include <string>

#include "TandrelLib.h"

// Type libraries for the tests of the dispatch face: the one the build
// compiled, and ones a test makes itself to decide what the face's type
// information lists.

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

// Registers the library file at path under its own id, version and locale.
inline HRESULT RegisterTypeLibraryFile(std::wstring path)
{
    ITypeLib* library = nullptr;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr))
        return hr;
    hr = RegisterTypeLib(library, &path[0], nullptr);
    library->Release();
    return hr;
}

inline HRESULT RegisterBuiltTypeLibrary()
{
    return RegisterTypeLibraryFile(TypeLibraryPath());
}

// A library written by the test into a temporary file with the band's library
// id, version 1.0 and U.S. English: one interface with the given id and
// functions, each taking one 32-bit parameter, named "value" except for a
// property put. The file goes with the object.
class CHandBuiltTypeLibrary {
public:
    struct Function {
        const wchar_t* name;
        MEMBERID memid;
        INVOKEKIND invkind;
    };

    CHandBuiltTypeLibrary(REFIID interfaceId, std::initializer_list<Function> functions)
    {
        char folder[MAX_PATH] = {};
        char file[MAX_PATH] = {};
        if (!GetTempPathA(MAX_PATH, folder) || !GetTempFileNameA(folder, "tlb", 0, file)) {
            m_hrBuild = HRESULT_FROM_WIN32(GetLastError());
            return;
        }
        m_file = file;
        m_path.assign(m_file.begin(), m_file.end());
        m_hrBuild = Write(interfaceId, functions);
    }
    ~CHandBuiltTypeLibrary()
    {
        if (!m_file.empty())
            DeleteFileA(m_file.c_str());
    }
    CHandBuiltTypeLibrary(const CHandBuiltTypeLibrary&) = delete;
    CHandBuiltTypeLibrary& operator=(const CHandBuiltTypeLibrary&) = delete;

    HRESULT Register() const { return FAILED(m_hrBuild) ? m_hrBuild : RegisterTypeLibraryFile(m_path); }

private:
    HRESULT Write(REFIID interfaceId, std::initializer_list<Function> functions)
    {
        ICreateTypeLib2* library = nullptr;
        HRESULT hr = CreateTypeLib2(SYS_WIN32, m_path.c_str(), &library);
        if (FAILED(hr))
            return hr;
        ICreateTypeInfo* typeInfo = nullptr;
        hr = Describe(library, &typeInfo);
        if (SUCCEEDED(hr))
            hr = typeInfo->SetGuid(interfaceId);
        UINT index = 0;
        for (const Function& function : functions) {
            if (SUCCEEDED(hr))
                hr = AddFunction(typeInfo, index++, function);
        }
        if (SUCCEEDED(hr))
            hr = typeInfo->LayOut();
        if (SUCCEEDED(hr))
            hr = library->SaveAllChanges();
        if (typeInfo)
            typeInfo->Release();
        library->Release();
        return hr;
    }

    static HRESULT Describe(ICreateTypeLib2* library, ICreateTypeInfo** typeInfo)
    {
        HRESULT hr = library->SetGuid(LIBID_TANDRELLib);
        if (SUCCEEDED(hr))
            hr = library->SetVersion(1, 0);
        if (SUCCEEDED(hr))
            hr = library->SetLcid(kClientLocale);
        if (SUCCEEDED(hr))
            hr = library->SetName(const_cast<LPOLESTR>(L"TANDRELLib"));
        if (SUCCEEDED(hr))
            hr = library->CreateTypeInfo(const_cast<LPOLESTR>(L"IRefresherBand"), TKIND_INTERFACE, typeInfo);
        return hr;
    }

    static HRESULT AddFunction(ICreateTypeInfo* typeInfo, UINT index, const Function& function)
    {
        ELEMDESC parameter = {};
        parameter.tdesc.vt = VT_I4;
        parameter.paramdesc.wParamFlags = PARAMFLAG_FIN;
        FUNCDESC description = {};
        description.memid = function.memid;
        description.funckind = FUNC_PUREVIRTUAL;
        description.invkind = function.invkind;
        description.callconv = CC_STDCALL;
        description.cParams = 1;
        description.lprgelemdescParam = &parameter;
        description.elemdescFunc.tdesc.vt = VT_HRESULT;
        HRESULT hr = typeInfo->AddFuncDesc(index, &description);
        if (FAILED(hr))
            return hr;
        // A property put's last parameter is the new value, which has no name.
        LPOLESTR names[] = {const_cast<LPOLESTR>(function.name), const_cast<LPOLESTR>(L"value")};
        return typeInfo->SetFuncAndParamNames(index, names, function.invkind == INVOKE_PROPERTYPUT ? 1 : 2);
    }

    std::string m_file;
    std::wstring m_path;
    HRESULT m_hrBuild = E_FAIL;
};
