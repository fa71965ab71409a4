#include "registration/ModuleRegistration.h"

#include "registrar/RegistryKey.h"
#include "registration/ComponentCategories.h"
#include "registration/TypeLibraryRegistration.h"
#include "support/Guid.h"
#include "support/Status.h"

namespace {

// The class's own key in this registry view, HKCR\CLSID\{class}, with
// everything below it; one already gone is no failure.
HRESULT RemoveClassKey(const CLSID& classId)
{
    CHAR name[kGuidTextChars];
    if (!FormatGuid(classId, name))
        return E_OUTOFMEMORY;
    CRegistryKey classes;
    LONG error = classes.Open(HKEY_CLASSES_ROOT, "CLSID", KEY_READ | KEY_WRITE);
    if (error == ERROR_SUCCESS)
        error = classes.DeleteTree(name);
    return error == ERROR_FILE_NOT_FOUND ? S_OK : StatusFromWin32(error);
}

} // namespace

HRESULT RegisterAllClasses(CComModule& module, BOOL bWithTypeLibrary)
{
    HRESULT hr = S_OK;
    for (ObjectMapEntry* entry = module.m_pObjectMap; entry && entry->ClassId; ++entry) {
        hr = entry->UpdateClassRegistry(TRUE);
        if (FAILED(hr))
            return hr;
        hr = UpdateClassCategories(*entry->ClassId, entry->GetClassCategoryMap(), TRUE);
        if (FAILED(hr))
            return hr;
    }
    return bWithTypeLibrary ? RegisterModuleTypeLibrary(TypeLibraryInstance()) : hr;
}

// On 64-bit Windows the 32-bit and the 64-bit DLL each register the class in
// their own registry view, but the ProgIDs and the type library's version
// are one for both views. While the library stays registered for the other
// platform, those shared entries are still the other DLL's: unregistering
// removes only this view's class key, not the script's shared entries.
// When that cannot be told, the shared entries stay as if they were the
// other DLL's, the library's registration too, and the failure to tell is
// the result.
HRESULT UnregisterAllClasses(CComModule& module, BOOL bWithTypeLibrary)
{
    bool shared = false;
    const HRESULT check = bWithTypeLibrary ? IsModuleTypeLibraryShared(TypeLibraryInstance(), &shared) : S_OK;
    if (FAILED(check))
        shared = true;
    HRESULT hr = S_OK;
    for (ObjectMapEntry* entry = module.m_pObjectMap; entry && entry->ClassId; ++entry) {
        hr = UpdateClassCategories(*entry->ClassId, entry->GetClassCategoryMap(), FALSE);
        if (FAILED(hr))
            return hr;
        hr = shared ? RemoveClassKey(*entry->ClassId) : entry->UpdateClassRegistry(FALSE);
        if (FAILED(hr))
            return hr;
    }
    if (FAILED(check))
        return check;
    return bWithTypeLibrary ? UnregisterModuleTypeLibrary(TypeLibraryInstance()) : hr;
}
