// The self-registration entry points of the DLL.
#include "TandrelLib.h"
#include "registrar/RegistryKey.h"
#include "registration/ModuleRegistration.h"
#include "server/Module.h"
#include "support/Guid.h"
#include "support/Status.h"

namespace {

constexpr char kToolbarKey[] = "Software\\Microsoft\\Internet Explorer\\Toolbar";

// The browser lists the band under its toolbar key. The value goes first and
// regardless of what the script's unregistration later manages, so that the
// browser stops loading a band whose class is being removed. A missing key
// or value, or refused access, is no failure of unregistration.
void RemoveToolbarValue()
{
    CHAR classId[kGuidTextChars];
    if (!FormatGuid(CLSID_RefresherBand, classId))
        return;
    CRegistryKey toolbar;
    if (toolbar.Open(HKEY_LOCAL_MACHINE, kToolbarKey, KEY_SET_VALUE) == ERROR_SUCCESS)
        toolbar.DeleteValue(classId);
}

} // namespace

STDAPI DllRegisterServer()
{
    return CatchAllAsStatus([] { return RegisterAllClasses(*g_pModule, TRUE); });
}

STDAPI DllUnregisterServer()
{
    return CatchAllAsStatus([] {
        RemoveToolbarValue();
        return UnregisterAllClasses(*g_pModule, TRUE);
    });
}
