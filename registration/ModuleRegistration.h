#pragma once
#include <windows.h>

#include "server/Module.h"

// The module's registration walks over its object map: each class's script
// and categories, then, when asked, the type library. Each stops at the first
// failure and returns it.
HRESULT RegisterAllClasses(CComModule& module, BOOL bWithTypeLibrary);
HRESULT UnregisterAllClasses(CComModule& module, BOOL bWithTypeLibrary);
