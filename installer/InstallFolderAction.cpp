// The Windows Installer package's one custom action. The Installer ends
// every folder property with a separator, while registration writes the
// type library's HELPDIR as the DLL's folder without one; this sets
// INSTALLFOLDER to INSTALLDIR without its separator, for the package's
// registry rows. It only sets a property: it runs before the install script
// is written, and changes nothing on the machine.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

// The DLL registers only from a path shorter than MAX_PATH, so a longer
// folder fails the install here.
extern "C" __declspec(dllexport) UINT __stdcall SetInstallFolder(MSIHANDLE install)
{
    WCHAR folder[MAX_PATH];
    DWORD length = MAX_PATH;
    if (MsiGetPropertyW(install, L"INSTALLDIR", folder, &length) != ERROR_SUCCESS)
        return ERROR_INSTALL_FAILURE;
    if (length > 0 && folder[length - 1] == L'\\')
        folder[length - 1] = L'\0';
    return MsiSetPropertyW(install, L"INSTALLFOLDER", folder) == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}
