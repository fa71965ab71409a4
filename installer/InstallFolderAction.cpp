// The Windows Installer package's custom actions. They only read and set
// properties: they run before the install script is written, and change
// nothing on the machine.
//
// SetInstallFolder: the Installer ends every folder property with a
// separator, while registration writes the type library's HELPDIR as the
// DLL's folder without one; this sets INSTALLFOLDER to INSTALLDIR without its
// separator (and INSTALLFOLDER64 to InstallDirX64, the 64-bit DLL's folder in
// the 64-bit package), for the package's registry rows.
//
// CheckInstallFolder: fails a new installation whose INSTALLDIR an ordinary
// user could take over (InstallLocation.h), as the setup program refuses it;
// the folder of an earlier Tandrel package's installation may hold its files.
// The package can lock only the folders it describes, so it refuses to make
// missing folders above INSTALLDIR, which would inherit their parents'
// permissions.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include "installer/InstallLocation.h"
#include "support/Owners.h"

namespace {

using CMsiHandle = CUniqueAny<MSIHANDLE, MsiCloseHandle>;

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

// The folder property's value, empty when it is longer than a path of the
// DLL may be.
void GetFolderProperty(MSIHANDLE install, const wchar_t* name, wchar_t (&folder)[MAX_PATH])
{
    DWORD length = MAX_PATH;
    if (MsiGetPropertyW(install, name, folder, &length) != ERROR_SUCCESS)
        folder[0] = L'\0';
}

// The component id of the 32-bit DLL's component, the same in every
// version's package, from the package's own Component table.
bool GetBandComponentId(MSIHANDLE install, wchar_t (&id)[40])
{
    CMsiHandle database(MsiGetActiveDatabase(install));
    MSIHANDLE raw = 0;
    if (!database ||
        MsiDatabaseOpenViewW(database.Get(), L"SELECT `ComponentId` FROM `Component` WHERE `Component` = 'Band'", &raw) !=
            ERROR_SUCCESS)
        return false;
    CMsiHandle view(raw);
    if (MsiViewExecute(view.Get(), 0) != ERROR_SUCCESS || MsiViewFetch(view.Get(), &raw) != ERROR_SUCCESS)
        return false;
    CMsiHandle record(raw);
    DWORD length = ARRAYSIZE(id);
    return MsiRecordGetStringW(record.Get(), 1, id, &length) == ERROR_SUCCESS;
}

// The folder where an installed Tandrel package keeps that DLL, or empty.
void GetEarlierTandrelFolder(MSIHANDLE install, wchar_t (&folder)[MAX_PATH])
{
    folder[0] = L'\0';
    wchar_t component[40];
    if (!GetBandComponentId(install, component))
        return;
    DWORD length = MAX_PATH;
    const INSTALLSTATE state = MsiLocateComponentW(component, folder, &length);
    if (state != INSTALLSTATE_LOCAL && state != INSTALLSTATE_ABSENT) {
        folder[0] = L'\0';
        return;
    }
    // The component's path is its key file's, the DLL.
    wchar_t* separator = wcsrchr(folder, L'\\');
    *(separator ? separator : folder) = L'\0';
}

// Tells the administrator, or the log of a silent install, why the install
// stops.
void ReportRefusal(MSIHANDLE install, const wchar_t* reason)
{
    CMsiHandle record(MsiCreateRecord(1));
    if (!record)
        return;
    MsiRecordSetStringW(record.Get(), 0, L"Tandrel has not been installed. [1]");
    MsiRecordSetStringW(record.Get(), 1, reason);
    MsiProcessMessage(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), record.Get());
}

} // namespace

extern "C" __declspec(dllexport) UINT __stdcall SetInstallFolder(MSIHANDLE install)
{
    return SetWithoutSeparator(install, L"INSTALLDIR", L"INSTALLFOLDER") &&
                   SetWithoutSeparator(install, L"InstallDirX64", L"INSTALLFOLDER64")
               ? ERROR_SUCCESS
               : ERROR_INSTALL_FAILURE;
}

extern "C" __declspec(dllexport) UINT __stdcall CheckInstallFolder(MSIHANDLE install)
{
    wchar_t folder[MAX_PATH];
    wchar_t earlier[MAX_PATH];
    GetFolderProperty(install, L"INSTALLDIR", folder);
    GetEarlierTandrelFolder(install, earlier);
    const LocationVerdict verdict = JudgeInstallLocation(folder, earlier, Parents::MadeOpen);
    if (verdict.fault == LocationFault::None)
        return ERROR_SUCCESS;
    wchar_t explanation[kExplanationLength];
    ExplainFault(verdict, explanation);
    ReportRefusal(install, explanation);
    return ERROR_INSTALL_FAILURE;
}
