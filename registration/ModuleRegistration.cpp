#include "registration/ModuleRegistration.h"

#include "registration/ComponentCategories.h"
#include "registration/TypeLibraryRegistration.h"

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

HRESULT UnregisterAllClasses(CComModule& module, BOOL bWithTypeLibrary)
{
    HRESULT hr = S_OK;
    for (ObjectMapEntry* entry = module.m_pObjectMap; entry && entry->ClassId; ++entry) {
        hr = UpdateClassCategories(*entry->ClassId, entry->GetClassCategoryMap(), FALSE);
        if (FAILED(hr))
            return hr;
        hr = entry->UpdateClassRegistry(FALSE);
        if (FAILED(hr))
            return hr;
    }
    return bWithTypeLibrary ? UnregisterModuleTypeLibrary(TypeLibraryInstance()) : hr;
}
