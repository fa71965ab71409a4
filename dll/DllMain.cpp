#include <windows.h>
#include <objbase.h>

#include "TandrelLib.h"
#include "dll/ExceptionState.h"
#include "dll/ObjectMap.h"
#include "dll/RuntimeSemaphores.h"
#include "server/Module.h"

namespace {

// The DLL's one module object, made by the program that links the server
// core (test programs make modules of their own); it makes itself g_pModule.
CComModule s_module;

} // namespace

extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE hInstance, DWORD dwReason, LPVOID lpReserved);

// The DLL's entry point (named to the linker), ahead of the runtime's. A
// detach with a non-null reserved pointer is the process ending: the loader
// calls it under its lock after every other thread has gone, perhaps in the
// middle of what they held, and the process takes everything with it. So
// nothing is given back then, neither by DllMain nor by the static
// destructors that the runtime runs after it. FreeLibrary (a null reserved
// pointer) gets the whole clean-up.
extern "C" BOOL WINAPI TandrelEntryPoint(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved)
{
    if (dwReason == DLL_PROCESS_DETACH && lpReserved)
        return TRUE;
    return DllMainCRTStartup(hInstance, dwReason, lpReserved);
}

// The instance handle the loader passes is not kept: the module uses its own
// load address for everything. Detach comes here only from FreeLibrary.
extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH) {
        g_pModule->Init(g_objectMap, hInstance, &LIBID_TANDRELLib);
        DisableThreadLibraryCalls(hInstance);
    } else if (dwReason == DLL_PROCESS_DETACH) {
        g_pModule->Term();
        ReleaseExceptionState();
        CloseRuntimeSemaphores();
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return g_pModule->m_nLockCount == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    return g_pModule->GetClassObject(rclsid, riid, ppv);
}
