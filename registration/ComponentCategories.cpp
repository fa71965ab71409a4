#include "registration/ComponentCategories.h"

HRESULT UpdateClassCategories(const CLSID& classId, const CategoryMapEntry* categoryMap, BOOL bRegister)
{
    if (!bRegister || !categoryMap || categoryMap->kind == kCategoryEnd)
        return S_OK;
    return E_NOTIMPL;
}
