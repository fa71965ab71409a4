// The module's registration walks over the object map: each class's script
// and categories, then the type library.
#include "registration/ComponentCategories.h"
#include "registration/TypeLibraryRegistration.h"
#include "server/Module.h"

HRESULT CComModule::RegisterAllClasses(BOOL bWithTypeLibrary)
{
    HRESULT hr = S_OK;
    for (ObjectMapEntry* entry = m_pObjectMap; entry && entry->ClassId; ++entry) {
        hr = entry->UpdateClassRegistry(TRUE);
        if (FAILED(hr))
            return hr;
        hr = UpdateClassCategories(*entry->ClassId, entry->GetClassCategoryMap(), TRUE);
        if (FAILED(hr))
            return hr;
    }
    return bWithTypeLibrary ? RegisterModuleTypeLibrary(TypeLibraryInstance()) : hr;
}

HRESULT CComModule::UnregisterAllClasses(BOOL bWithTypeLibrary)
{
    HRESULT hr = S_OK;
    for (ObjectMapEntry* entry = m_pObjectMap; entry && entry->ClassId; ++entry) {
        hr = UpdateClassCategories(*entry->ClassId, entry->GetClassCategoryMap(), FALSE);
        if (FAILED(hr))
            return hr;
        hr = entry->UpdateClassRegistry(FALSE);
        if (FAILED(hr))
            return hr;
    }
    return bWithTypeLibrary ? UnregisterModuleTypeLibrary(TypeLibraryInstance()) : hr;
}
