// The Windows Installer package's one custom action. The Installer ends
// every folder property with a separator, while registration writes the
// type library's HELPDIR as the DLL's folder without one; this sets
// INSTALLFOLDER to INSTALLDIR without its separator (and INSTALLFOLDER64 to
// InstallDirX64, the 64-bit DLL's folder in the 64-bit package), for the
// package's registry rows. It only sets properties: it runs before the
// install script is written, and changes nothing on the machine.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

namespace {

// The DLL registers only from a path shorter than MAX_PATH, so a longer
// folder fails the install here.
bool SetWithoutSeparator(MSIHANDLE install, const wchar_t* folderProperty, const wchar_t* property)
{
    WCHAR folder[MAX_PATH];
    DWORD length = MAX_PATH;
    if (MsiGetPropertyW(install, folderProperty, folder, &length) != ERROR_SUCCESS)
        return false;
    if (length > 0 && folder[length - 1] == L'\\')
        folder[length - 1] = L'\0';
    return MsiSetPropertyW(install, property, folder) == ERROR_SUCCESS;
}

} // namespace

extern "C" __declspec(dllexport) UINT __stdcall SetInstallFolder(MSIHANDLE install)
{
    return SetWithoutSeparator(install, L"INSTALLDIR", L"INSTALLFOLDER") &&
                   SetWithoutSeparator(install, L"InstallDirX64", L"INSTALLFOLDER64")
               ? ERROR_SUCCESS
               : ERROR_INSTALL_FAILURE;
}
