// Loading a registry script out of a module's resources and running it.
#include "registrar/RegObject.h"
#include "registrar/ScriptParser.h"
#include "support/Allocation.h"
#include "support/Owners.h"
#include "support/SafeArithmetic.h"
#include "support/Status.h"
#include "support/TextConversion.h"

namespace {

// The script text as a zero-terminated copy of the resource: in the frame
// when it fits, which the band's script does, else on the heap.
using CScriptText = CScratchBuffers<1024>;

LPCSTR CopyScriptText(CScriptText& buffers, const void* data, DWORD size)
{
    UINT32 bytes;
    if (FAILED(SafeAdd(&bytes, size, 1)))
        return nullptr;
    auto* text = static_cast<LPSTR>(buffers.Allocate(bytes));
    if (!text)
        return nullptr;
    CopyMemory(text, data, size);
    text[size] = '\0';
    return text;
}

// A resource name or type as FindResourceA takes it. An integer identifier
// (MAKEINTRESOURCE, as for RT_RCDATA) is no text and passes as an identifier;
// text is converted to the code page FindResourceA reads it in.
LPCSTR ResourceNameText(CTextConverter& converter, LPCOLESTR name)
{
    if (IS_INTRESOURCE(name))
        return MAKEINTRESOURCEA(LOWORD(reinterpret_cast<ULONG_PTR>(name)));
    return converter.ToAnsi(name);
}

HRESULT ApplyById(CRegObject& registrar, LPCOLESTR modulePath, UINT resourceId, LPCOLESTR type, BOOL bRegister)
{
    if (!type)
        return E_OUTOFMEMORY;
    CTextConverter converter;
    LPCSTR typeText = ResourceNameText(converter, type);
    if (!typeText)
        return E_OUTOFMEMORY;
    return registrar.ApplyScriptResource(modulePath, MAKEINTRESOURCEA(static_cast<WORD>(resourceId)), typeText,
                                         bRegister);
}

HRESULT ApplyByName(CRegObject& registrar, LPCOLESTR modulePath, LPCOLESTR resourceName, LPCOLESTR type,
                    BOOL bRegister)
{
    if (!resourceName || !type)
        return E_INVALIDARG;
    CTextConverter converter;
    LPCSTR nameText = ResourceNameText(converter, resourceName);
    LPCSTR typeText = ResourceNameText(converter, type);
    if (!nameText || !typeText)
        return E_OUTOFMEMORY;
    return registrar.ApplyScriptResource(modulePath, nameText, typeText, bRegister);
}

} // namespace

HRESULT CRegObject::RegisterScriptResource(LPCOLESTR modulePath, UINT resourceId, LPCOLESTR type)
{
    return ApplyById(*this, modulePath, resourceId, type, TRUE);
}

HRESULT CRegObject::UnregisterScriptResource(LPCOLESTR modulePath, UINT resourceId, LPCOLESTR type)
{
    return ApplyById(*this, modulePath, resourceId, type, FALSE);
}

HRESULT CRegObject::RegisterScriptResource(LPCOLESTR modulePath, LPCOLESTR resourceName, LPCOLESTR type)
{
    return ApplyByName(*this, modulePath, resourceName, type, TRUE);
}

HRESULT CRegObject::UnregisterScriptResource(LPCOLESTR modulePath, LPCOLESTR resourceName, LPCOLESTR type)
{
    return ApplyByName(*this, modulePath, resourceName, type, FALSE);
}

HRESULT CRegObject::ApplyScriptResource(LPCOLESTR modulePath, LPCSTR resource, LPCSTR type, BOOL bRegister)
{
    if (!modulePath)
        return E_OUTOFMEMORY;
    CTextConverter converter;
    LPCSTR path = converter.ToAnsi(modulePath);
    if (!path)
        return E_OUTOFMEMORY;

    // Mapped as data only: none of the module's code runs while its resources
    // are read.
    CModuleHandle module(LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module.Get())
        return FailureFromLastError();
    HRSRC info = FindResourceA(module.Get(), resource, type);
    if (!info)
        return FailureFromLastError();
    HGLOBAL data = LoadResource(module.Get(), info);
    if (!data)
        return FailureFromLastError();

    CScriptText script;
    LPCSTR text = CopyScriptText(script, LockResource(data), SizeofResource(module.Get(), info));
    if (!text)
        return E_OUTOFMEMORY;
    CRegScriptParser parser(this);
    return parser.RunScript(text, bRegister);
}
