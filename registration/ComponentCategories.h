#pragma once
#include <windows.h>

#include "server/Module.h"

// The category step of registration. Each category a class declares is a key
// of its own under HKCR\CLSID\{class}\Implemented Categories or \Required
// Categories, entered after the class's script has written the class key and
// taken back before the script removes it, together with a list key that is
// left empty. A null or empty map touches nothing. The categories' own
// descriptions under HKCR\Component Categories belong to the platform and are
// neither written nor removed.
HRESULT UpdateClassCategories(const CLSID& classId, const CategoryMapEntry* categoryMap, BOOL bRegister);
