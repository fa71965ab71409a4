// The module's registry update from a script resource of its own file, with
// the substitutions every script of this module sees.
#include "registrar/RegObject.h"
#include "server/Module.h"
#include "server/ModulePath.h"
#include "support/TextConversion.h"

namespace {

constexpr WCHAR kScriptResourceType[] = L"REGISTRY";

// Room for a path of fewer than MAX_PATH characters with every character a
// doubled quote.
constexpr UINT kQuotedPathChars = 2 * MAX_PATH;

// An integer resource identifier (MAKEINTRESOURCE) is no text: it passes
// unchanged, text is converted from the code page FindResourceA will read
// it in again.
LPCWSTR WideResourceName(CTextConverter& converter, LPCSTR name)
{
    if (IS_INTRESOURCE(name))
        return MAKEINTRESOURCEW(LOWORD(reinterpret_cast<ULONG_PTR>(name)));
    return converter.ToWide(name);
}

void AddExtraReplacements(CRegObject& registrar, const RegistryReplacement* replacements)
{
    for (; replacements && replacements->name; ++replacements)
        registrar.AddSubstitution(replacements->name, replacements->value);
}

// Fills a fresh registrar with the substitutions every script of this module
// sees, then hands it and the module's path to applyScript, which runs the
// script resource in the wanted direction.
template <typename ApplyScript>
HRESULT RunModuleScript(CComModule& module, const RegistryReplacement* replacements, ApplyScript applyScript)
{
    CRegObject registrar;
    AddExtraReplacements(registrar, replacements);
    HRESULT hr = module.AddStandardReplacements(&registrar);
    if (FAILED(hr))
        return hr;

    CHAR modulePath[kModulePathBytes];
    hr = ReadModulePath(ModuleInstance(), modulePath);
    if (FAILED(hr))
        return hr;
    CTextConverter converter;
    LPCWSTR widePath = converter.ToWide(modulePath);
    if (!widePath)
        return E_OUTOFMEMORY;

    WCHAR quotedPath[kQuotedPathChars];
    DoubleSingleQuotes(quotedPath, kQuotedPathChars, widePath);
    hr = registrar.AddSubstitution(L"Module", quotedPath);
    if (FAILED(hr))
        return hr;
    hr = registrar.AddSubstitution(L"Module_Raw", quotedPath);
    if (FAILED(hr))
        return hr;
    return applyScript(registrar, widePath);
}

} // namespace

HRESULT CComModule::UpdateRegistryFromScript(UINT resourceId, BOOL bRegister, const RegistryReplacement* pReplacements)
{
    return RunModuleScript(*this, pReplacements, [&](CRegObject& registrar, LPCWSTR modulePath) {
        return bRegister ? registrar.RegisterScriptResource(modulePath, resourceId, kScriptResourceType)
                         : registrar.UnregisterScriptResource(modulePath, resourceId, kScriptResourceType);
    });
}

HRESULT CComModule::UpdateRegistryFromScript(LPCSTR resourceName, BOOL bRegister,
                                             const RegistryReplacement* pReplacements)
{
    return RunModuleScript(*this, pReplacements, [&](CRegObject& registrar, LPCWSTR modulePath) {
        if (!resourceName)
            return E_OUTOFMEMORY;
        CTextConverter converter;
        LPCWSTR wideName = WideResourceName(converter, resourceName);
        if (!wideName)
            return E_OUTOFMEMORY;
        return bRegister ? registrar.RegisterScriptResource(modulePath, wideName, kScriptResourceType)
                         : registrar.UnregisterScriptResource(modulePath, wideName, kScriptResourceType);
    });
}
