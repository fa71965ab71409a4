#include <windows.h>
#include <objbase.h>

#include "TandrelLib.h"
#include "dll/ExceptionState.h"
#include "dll/ObjectMap.h"
#include "dll/RuntimeSemaphores.h"
#include "server/Module.h"

namespace {

// The DLL's one module object. Its class is the server core's, but its
// registration operations belong to self-registration, so the object is made
// here, where both are linked; it makes itself g_pModule.
CComModule s_module;

} // namespace

// The instance handle the loader passes is not kept: the module uses its own
// load address for everything.
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
