// Whether a folder may hold Tandrel. Every user's browser loads Tandrel.DLL
// from it, and administrators run its uninstaller and its repair: no ordinary
// user may own it, reach it through a link, have put files in it, or be able
// to delete, rename or re-permission a folder above it (and so put a folder of
// their own at its path). The setup program and the Windows Installer package
// judge the folder an administrator chose in the same way.
//
// Paths are those of the DLL, which registers only from a path shorter than
// MAX_PATH; a longer one is refused. Nothing here allocates or throws: both
// installers carry this code, and neither needs a C++ library for it.
#pragma once
#include <windows.h>

#include "support/Owners.h"

enum class LocationFault {
    None,
    // Its attributes or its security cannot be read, or its path is too long.
    Unreadable,
    // A junction, symbolic link or mount point.
    Link,
    // Owned by another than Administrators, SYSTEM, TrustedInstaller or the
    // administrator who installs.
    ForeignOwner,
    // Others may delete or rename it or what it holds, or change its
    // permissions.
    OpenToOthers,
    // The installation folder holds what is not an earlier Tandrel's.
    Occupied,
    // A folder above the installation folder is missing, and the installer
    // would make it with the permissions of its parent.
    MissingParent,
};

struct LocationVerdict {
    LocationFault fault = LocationFault::None;
    // The folder the fault was found in.
    wchar_t folder[MAX_PATH] = L"";
    // What kept it from being read (Unreadable).
    DWORD error = ERROR_SUCCESS;
    // No fault: the outermost folder that is not there yet, the installation
    // folder's own path or one above it; empty when the folder exists.
    wchar_t firstMissing[MAX_PATH] = L"";
};

// How missing folders above the installation folder would be made.
enum class Parents { MadeLocked, MadeOpen };

// Judges the installation folder and every folder above it that exists. The
// folder of an earlier Tandrel installation (empty when there is none) may
// hold that installation's files.
LocationVerdict JudgeInstallLocation(const wchar_t* folder, const wchar_t* earlier, Parents parents);

// What an administrator is told of a fault: which folder, why, what to do.
// Empty for no fault.
constexpr int kExplanationLength = 1024;
void ExplainFault(const LocationVerdict& verdict, wchar_t (&text)[kExplanationLength]);

// The folder's full path, without a trailing separator but at a root. False
// when it has none, or none short enough.
bool FullFolderPath(const wchar_t* folder, wchar_t (&full)[MAX_PATH]);

// The path of what the folder holds under `name`; false when it is too long.
bool ChildPath(const wchar_t* folder, const wchar_t* name, wchar_t (&path)[MAX_PATH]);

// Calls `visit` with each entry of the folder but "." and "..", until it
// returns false. Returns what kept the folder from being listed, or
// ERROR_SUCCESS.
template <typename Visit>
DWORD ForEachEntry(const wchar_t* folder, Visit visit)
{
    wchar_t pattern[MAX_PATH];
    if (!ChildPath(folder, L"*", pattern))
        return ERROR_FILENAME_EXCED_RANGE;
    WIN32_FIND_DATAW found;
    CUniqueAny<HANDLE, FindClose> search(FindFirstFileW(pattern, &found));
    if (search.Get() == INVALID_HANDLE_VALUE) {
        search.Detach();
        return GetLastError();
    }
    do {
        const wchar_t* name = found.cFileName;
        const bool dots = name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
        if (!dots && !visit(found))
            return ERROR_SUCCESS;
    } while (FindNextFileW(search.Get(), &found));
    const DWORD error = GetLastError();
    return error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : error;
}
