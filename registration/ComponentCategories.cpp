#include "registration/ComponentCategories.h"

#include "registrar/RegistryKey.h"
#include "support/Guid.h"
#include "support/Status.h"

namespace {

LPCSTR ListName(CategoryKind kind)
{
    switch (kind) {
    case kCategoryImplemented: return "Implemented Categories";
    case kCategoryRequired: return "Required Categories";
    default: return nullptr;
    }
}

HRESULT EnterCategory(CRegistryKey& classKey, LPCSTR listName, LPCSTR category)
{
    CRegistryKey list;
    CRegistryKey entered;
    LONG error = list.Create(classKey.Get(), listName);
    if (error == ERROR_SUCCESS)
        error = entered.Create(list.Get(), category);
    return StatusFromWin32(error);
}

// A class, category or list already gone is no failure: unregistering again,
// or after a registration that stopped short, succeeds.
HRESULT RemoveCategory(CRegistryKey& classKey, LPCSTR listName, LPCSTR category)
{
    CRegistryKey list;
    LONG error = list.Open(classKey.Get(), listName, KEY_READ | KEY_WRITE);
    if (error == ERROR_SUCCESS) {
        error = list.DeleteIfEmpty(category);
        list.Close();
    }
    if (error == ERROR_SUCCESS)
        error = classKey.DeleteIfEmpty(listName);
    return error == ERROR_FILE_NOT_FOUND ? S_OK : StatusFromWin32(error);
}

LONG OpenOrCreate(CRegistryKey& key, HKEY parent, LPCSTR name, BOOL bCreate)
{
    return bCreate ? key.Create(parent, name) : key.Open(parent, name, KEY_READ | KEY_WRITE);
}

HRESULT OpenClassKey(const CLSID& classId, BOOL bCreate, CRegistryKey& classKey)
{
    CHAR name[kGuidTextChars];
    if (!FormatGuid(classId, name))
        return E_OUTOFMEMORY;
    CRegistryKey classes;
    LONG error = OpenOrCreate(classes, HKEY_CLASSES_ROOT, "CLSID", bCreate);
    if (error == ERROR_SUCCESS)
        error = OpenOrCreate(classKey, classes.Get(), name, bCreate);
    return StatusFromWin32(error);
}

} // namespace

HRESULT UpdateClassCategories(const CLSID& classId, const CategoryMapEntry* categoryMap, BOOL bRegister)
{
    if (!categoryMap || categoryMap->kind == kCategoryEnd)
        return S_OK;
    CRegistryKey classKey;
    HRESULT hr = OpenClassKey(classId, bRegister, classKey);
    if (!bRegister && hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
        return S_OK;
    if (FAILED(hr))
        return hr;
    for (const CategoryMapEntry* entry = categoryMap; entry->kind != kCategoryEnd; ++entry) {
        const LPCSTR listName = ListName(entry->kind);
        CHAR category[kGuidTextChars];
        if (!listName || !entry->pCategoryId)
            return E_INVALIDARG;
        if (!FormatGuid(*entry->pCategoryId, category))
            return E_OUTOFMEMORY;
        hr = bRegister ? EnterCategory(classKey, listName, category) : RemoveCategory(classKey, listName, category);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}
