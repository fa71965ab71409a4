#pragma once
#include <windows.h>

#include "server/Module.h"

// The category step of registration. No class of this module declares
// categories, so a null map is the case that occurs: it succeeds without
// touching anything. A class that did declare categories is refused with
// E_NOTIMPL rather than registered without them; unregistering succeeds
// without touching anything, since no category was ever written and a refusal
// would keep such a class registered for good.
HRESULT UpdateClassCategories(const CLSID& classId, const CategoryMapEntry* categoryMap, BOOL bRegister);
