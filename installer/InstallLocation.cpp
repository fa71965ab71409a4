#include "installer/InstallLocation.h"

#include <aclapi.h>
#include <shlwapi.h>

namespace {

using CLocalBlock = CUniqueAny<HLOCAL, LocalFree>;
using CKernelHandle = CUniqueAny<HANDLE, CloseHandle>;

// What lets whoever holds it take a folder over: change its permissions or
// owner, remove what it holds, or (but for a root) remove or rename it.
constexpr ACCESS_MASK kTakeOverContent = WRITE_DAC | WRITE_OWNER | FILE_DELETE_CHILD;
constexpr ACCESS_MASK kTakeOver = kTakeOverContent | DELETE;

// NT SERVICE\TrustedInstaller, which owns the system's own folders (the
// drive root and Program Files among them).
constexpr DWORD kTrustedInstallerRids[] = {80u, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u};

class CSidBuffer {
public:
    PSID Get() { return m_bytes; }
    bool IsEmpty() const { return m_bytes[0] == 0; }

    bool MakeWellKnown(WELL_KNOWN_SID_TYPE type)
    {
        DWORD size = sizeof m_bytes;
        return CreateWellKnownSid(type, nullptr, m_bytes, &size) != FALSE;
    }
    bool MakeTrustedInstaller()
    {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        if (!InitializeSid(m_bytes, &nt, ARRAYSIZE(kTrustedInstallerRids)))
            return false;
        for (DWORD i = 0; i < ARRAYSIZE(kTrustedInstallerRids); ++i)
            *GetSidSubAuthority(m_bytes, i) = kTrustedInstallerRids[i];
        return true;
    }
    bool Copy(PSID sid) { return CopySid(sizeof m_bytes, m_bytes, sid) != FALSE; }

private:
    BYTE m_bytes[SECURITY_MAX_SID_SIZE] = {};
};

// Copies the account of the calling thread's token into `user` when that
// token is an administrator's: the one who installs.
void FindInstallingAdministrator(PSID administrators, CSidBuffer& user)
{
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member) || !member)
        return;
    HANDLE raw = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &raw) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return;
    CKernelHandle token(raw);
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } information;
    DWORD size = sizeof information;
    if (GetTokenInformation(token.Get(), TokenUser, &information, size, &size))
        user.Copy(information.user.User.Sid);
}

// The accounts that may own, or take over, the folders Tandrel is installed
// in or under: SYSTEM, Administrators, TrustedInstaller and the
// administrator who installs.
class CTrustedAccounts {
public:
    CTrustedAccounts()
    {
        m_complete = m_system.MakeWellKnown(WinLocalSystemSid) &&
                     m_administrators.MakeWellKnown(WinBuiltinAdministratorsSid) &&
                     m_trustedInstaller.MakeTrustedInstaller();
        if (m_complete)
            FindInstallingAdministrator(m_administrators.Get(), m_installer);
    }

    bool MayOwn(PSID sid)
    {
        return m_complete && sid &&
               (EqualSid(sid, m_system.Get()) || EqualSid(sid, m_administrators.Get()) ||
                EqualSid(sid, m_trustedInstaller.Get()) || (!m_installer.IsEmpty() && EqualSid(sid, m_installer.Get())));
    }

    // An entry for the creator's owner or for the owner's rights grants
    // nothing beyond what the owner, judged on its own, holds.
    bool MayBeGranted(PSID sid)
    {
        return MayOwn(sid) || IsWellKnownSid(sid, WinCreatorOwnerSid) || IsWellKnownSid(sid, WinCreatorOwnerRightsSid);
    }

private:
    CSidBuffer m_system;
    CSidBuffer m_administrators;
    CSidBuffer m_trustedInstaller;
    CSidBuffer m_installer;
    bool m_complete = false;
};

// Whether an entry of the list lets another account do what `rights` name.
// Denying entries are not weighed: a folder that needs them to be safe is
// refused as one that is not.
bool GrantsOthers(PACL dacl, ACCESS_MASK rights, CTrustedAccounts& trusted)
{
    if (!dacl)
        return true;
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace))
            return true;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if ((header->AceFlags & INHERIT_ONLY_ACE) ||
            (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE))
            continue;
        // A callback entry starts as a plain one does: header, mask, account.
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        ACCESS_MASK mask = allowed->Mask;
        MapGenericMask(&mask, &mapping);
        if ((mask & rights) && !trusted.MayBeGranted(&allowed->SidStart))
            return true;
    }
    return false;
}

LocationVerdict Fault(LocationFault fault, const wchar_t* folder, DWORD error = ERROR_SUCCESS)
{
    LocationVerdict verdict;
    verdict.fault = fault;
    lstrcpynW(verdict.folder, folder, MAX_PATH);
    verdict.error = error;
    return verdict;
}

// Judges a folder by its owner and, when `rights` name any, by what its list
// grants others.
LocationVerdict JudgeSecurity(const wchar_t* folder, ACCESS_MASK rights, CTrustedAccounts& trusted)
{
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | (rights ? DACL_SECURITY_INFORMATION : 0);
    const DWORD error = GetNamedSecurityInfoW(folder, SE_FILE_OBJECT, wanted, &owner, nullptr, &dacl, nullptr, &raw);
    if (error != ERROR_SUCCESS)
        return Fault(LocationFault::Unreadable, folder, error);
    CLocalBlock descriptor(raw);
    if (!trusted.MayOwn(owner))
        return Fault(LocationFault::ForeignOwner, folder);
    if (rights && GrantsOthers(dacl, rights, trusted))
        return Fault(LocationFault::OpenToOthers, folder);
    return {};
}

// The installation folder, which exists: anything in it must be an earlier
// Tandrel's, and its owner, who alone may have held it open before it is
// locked, must be trusted.
LocationVerdict JudgeInstallFolder(const wchar_t* folder, DWORD attributes, bool earlier, CTrustedAccounts& trusted)
{
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Fault(LocationFault::Occupied, folder);
    if (!earlier) {
        bool empty = true;
        const DWORD error = ForEachEntry(folder, [&empty](const WIN32_FIND_DATAW&) {
            empty = false;
            return false;
        });
        if (error != ERROR_SUCCESS)
            return Fault(LocationFault::Unreadable, folder, error);
        if (!empty)
            return Fault(LocationFault::Occupied, folder);
    }
    return JudgeSecurity(folder, 0, trusted);
}

// A folder on the way that cannot be found, with the error that said so:
// the installer makes it and those below it.
LocationVerdict JudgeMissing(const wchar_t* step, bool last, Parents parents)
{
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
        return Fault(LocationFault::Unreadable, step, error);
    if (!last && parents == Parents::MadeOpen)
        return Fault(LocationFault::MissingParent, step);
    LocationVerdict verdict;
    lstrcpyW(verdict.firstMissing, step);
    return verdict;
}

size_t RootLength(const wchar_t* path)
{
    const wchar_t* rest = PathSkipRootW(path);
    return rest ? static_cast<size_t>(rest - path) : 0;
}

bool IsEarlier(const wchar_t* folder, const wchar_t* earlier)
{
    wchar_t full[MAX_PATH];
    return earlier[0] && FullFolderPath(earlier, full) &&
           CompareStringOrdinal(full, -1, folder, -1, TRUE) == CSTR_EQUAL;
}

} // namespace

bool FullFolderPath(const wchar_t* folder, wchar_t (&full)[MAX_PATH])
{
    const DWORD length = GetFullPathNameW(folder, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return false;
    const size_t root = RootLength(full);
    size_t end = length;
    while (end > root && full[end - 1] == L'\\')
        --end;
    full[end] = L'\0';
    return root > 0;
}

bool ChildPath(const wchar_t* folder, const wchar_t* name, wchar_t (&path)[MAX_PATH])
{
    const int folderLength = lstrlenW(folder);
    const bool separated = folderLength > 0 && folder[folderLength - 1] == L'\\';
    if (folderLength + !separated + lstrlenW(name) >= MAX_PATH)
        return false;
    lstrcpyW(path, folder);
    if (!separated)
        lstrcatW(path, L"\\");
    lstrcatW(path, name);
    return true;
}

LocationVerdict JudgeInstallLocation(const wchar_t* chosen, const wchar_t* earlier, Parents parents)
{
    wchar_t folder[MAX_PATH];
    if (!FullFolderPath(chosen, folder))
        return Fault(LocationFault::Unreadable, chosen, ERROR_BAD_PATHNAME);
    const bool isEarlier = IsEarlier(folder, earlier);
    CTrustedAccounts trusted;
    // From the root down to the installation folder, each folder that exists:
    // `step` is the folder's path cut after the step's last character.
    wchar_t step[MAX_PATH];
    lstrcpyW(step, folder);
    const size_t length = lstrlenW(folder);
    const size_t root = RootLength(folder);
    for (size_t end = root;; ++end) {
        if (end != root && end < length && folder[end] != L'\\')
            continue;
        const bool last = end == length;
        step[end] = L'\0';
        const DWORD attributes = GetFileAttributesW(step);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return JudgeMissing(step, last, parents);
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return Fault(LocationFault::Link, step);
        if (last)
            return JudgeInstallFolder(step, attributes, isEarlier, trusted);
        // A root cannot be removed or renamed; what it holds can.
        const LocationVerdict above = JudgeSecurity(step, end == root ? kTakeOverContent : kTakeOver, trusted);
        if (above.fault != LocationFault::None)
            return above;
        step[end] = folder[end];
    }
}

void ExplainFault(const LocationVerdict& verdict, wchar_t (&text)[kExplanationLength])
{
    const wchar_t* folder = verdict.folder;
    text[0] = L'\0';
    switch (verdict.fault) {
    case LocationFault::None:
        break;
    case LocationFault::Unreadable:
        wsprintfW(text, L"%s cannot be examined (error %lu).", folder, verdict.error);
        break;
    case LocationFault::Link:
        wsprintfW(text, L"%s is a junction, a symbolic link or a mount point, which may lead elsewhere later. "
                        L"Choose a folder by its own path.", folder);
        break;
    case LocationFault::ForeignOwner:
        wsprintfW(text, L"%s is owned by an account that is neither Administrators, SYSTEM, TrustedInstaller nor "
                        L"yours, and that may change its permissions. Choose another folder, or make Administrators "
                        L"its owner.", folder);
        break;
    case LocationFault::OpenToOthers:
        wsprintfW(text, L"Users other than administrators may delete, rename or re-permission %s or what it holds, "
                        L"and so put a folder of their own in Tandrel's place. Choose another folder, or let "
                        L"administrators alone change it.", folder);
        break;
    case LocationFault::Occupied:
        wsprintfW(text, L"%s already holds files that are not Tandrel's. Choose a new or empty folder.", folder);
        break;
    case LocationFault::MissingParent:
        wsprintfW(text, L"%s does not exist, and Windows Installer would make it with the permissions of its parent. "
                        L"Make it first, changeable by administrators alone, or choose a folder under Program Files.",
                  folder);
        break;
    }
}
