// A COM client that finds the band only through the registry: by its ProgID,
// with IDispatch answered from the registered type library. Prints what it
// found and the DLL that served it; exits non-zero at the first unexpected
// answer.
#include <windows.h>
#include <oleauto.h>
#include <stdio.h>

#include <string>

#include "TandrelLib.h"
#include "support/Owners.h"

namespace {

int Fail(const char* step, HRESULT hr)
{
    printf("FAIL: %s: 0x%08lx\n", step, static_cast<unsigned long>(hr));
    return 1;
}

// The file of the DLL that serves an object: the module that holds the
// table of its first face. In UTF-8, which the scripts that read it compare
// with their own paths whatever the code page of the console.
std::string ServingModule(IUnknown* object)
{
    HMODULE module = nullptr;
    WCHAR path[MAX_PATH] = L"";
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           *reinterpret_cast<LPCWSTR*>(object), &module))
        GetModuleFileNameW(module, path, MAX_PATH);
    char text[MAX_PATH * 3] = "";
    WideCharToMultiByte(CP_UTF8, 0, path, -1, text, sizeof(text), nullptr, nullptr);
    return text;
}

int Run()
{
    CLSID classId;
    HRESULT hr = CLSIDFromProgID(L"Tandrel.RefresherBand", &classId);
    if (hr != S_OK || !IsEqualCLSID(classId, CLSID_RefresherBand))
        return Fail("CLSIDFromProgID", hr);
    CInterfacePtr<IDispatch> band;
    hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, band.ReceiveVoid());
    if (hr != S_OK)
        return Fail("CoCreateInstance", hr);

    CInterfacePtr<ITypeInfo> info;
    hr = band->GetTypeInfo(0, GetUserDefaultLCID(), info.Receive());
    if (hr != S_OK)
        return Fail("GetTypeInfo", hr);
    CBstr name;
    hr = info->GetDocumentation(MEMBERID_NIL, name.Receive(), nullptr, nullptr, nullptr);
    if (hr != S_OK || lstrcmpW(name.Get(), L"IRefresherBand") != 0)
        return Fail("type name", hr);

    // Names the type information describes, in a case the cache does not
    // hold, and a name it does not know.
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"queryinterface"), const_cast<LPOLESTR>(L"NoSuchMember")};
    DISPID ids[2] = {0, 0};
    hr = band->GetIDsOfNames(IID_NULL, names, 1, GetUserDefaultLCID(), ids);
    if (hr != S_OK)
        return Fail("GetIDsOfNames", hr);
    hr = band->GetIDsOfNames(IID_NULL, names + 1, 1, GetUserDefaultLCID(), ids + 1);
    if (hr != DISP_E_UNKNOWNNAME)
        return Fail("GetIDsOfNames of an unknown name", hr);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    hr = band->Invoke(ids[1], IID_NULL, GetUserDefaultLCID(), DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
    if (hr != DISP_E_MEMBERNOTFOUND)
        return Fail("Invoke of an unknown member", hr);
    printf("created %ls through the registry from %s; dispatch answered from the registered library\n",
           name.Get(), ServingModule(band.Get()).c_str());
    return 0;
}

} // namespace

int main()
{
    if (FAILED(CoInitialize(nullptr)))
        return 1;
    int result = Run();
    CoUninitialize();
    return result;
}
