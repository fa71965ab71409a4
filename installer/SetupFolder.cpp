// The setup program's plugin for its installation folder (NSIS's plugin
// interface: arguments and results on the installer's string stack, first
// argument on top). It judges the folder an administrator chose as the
// Windows Installer package does (InstallLocation.h), and gives the folders
// it keeps Tandrel in the setup program's descriptor.
//
//   SetupFolder::Check <folder> <earlier folder>
//     pushes what is wrong with the folder, or "" when Tandrel may go there.
//   SetupFolder::Prepare <folder> <earlier folder> <SDDL>
//     judges as Check does, then makes the missing folders above it and the
//     folder itself with the descriptor, or gives an existing folder the
//     descriptor; pushes the outermost folder it made ("" when none), then
//     what went wrong, or "". What fails leaves nothing made.
//   SetupFolder::Renew <folder> <SDDL>
//     removes the folder and its files, and makes it again with the
//     descriptor; one that holds what cannot go (a file in use, a folder) is
//     given the descriptor in place. Pushes what went wrong, or "".
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "installer/InstallLocation.h"
#include "support/Owners.h"

namespace {

using CLocalBlock = CUniqueAny<HLOCAL, LocalFree>;
using CGlobalBlock = CUniqueAny<HGLOBAL, GlobalFree>;

// One string of the installer's stack, as NSIS lays it out.
struct NsisStackEntry {
    NsisStackEntry* next;
    wchar_t text[1];
};

class CNsisStack {
public:
    CNsisStack(NsisStackEntry** top, int stringSize) : m_top(top), m_stringSize(stringSize) {}

    // An empty string when the stack is, or when the string is too long to
    // be a path of the DLL: a path cut short would name another folder.
    void Pop(wchar_t (&text)[MAX_PATH])
    {
        text[0] = L'\0';
        if (!m_top || !*m_top)
            return;
        CGlobalBlock entry(*m_top);
        *m_top = (*m_top)->next;
        const wchar_t* popped = static_cast<NsisStackEntry*>(entry.Get())->text;
        if (lstrlenW(popped) < MAX_PATH)
            lstrcpyW(text, popped);
    }

    void Push(const wchar_t* text)
    {
        CGlobalBlock block(GlobalAlloc(GPTR, sizeof(NsisStackEntry) + m_stringSize * sizeof(wchar_t)));
        if (!m_top || !block)
            return;
        auto* entry = static_cast<NsisStackEntry*>(block.Detach());
        lstrcpynW(entry->text, text, m_stringSize);
        entry->next = *m_top;
        *m_top = entry;
    }

private:
    NsisStackEntry** m_top;
    int m_stringSize;
};

// The folder an administrator chose and the earlier installation's, the
// first two arguments of Check and Prepare.
struct CChosenFolder {
    explicit CChosenFolder(CNsisStack& stack)
    {
        stack.Pop(folder);
        stack.Pop(earlier);
    }
    wchar_t folder[MAX_PATH];
    wchar_t earlier[MAX_PATH];
};

void ExplainLockFailure(const wchar_t* folder, DWORD error, wchar_t (&text)[kExplanationLength])
{
    wsprintfW(text, L"%s cannot be made writable by administrators alone (error %lu).", folder, error);
}

// Gives the folder the descriptor, making it first when `make` says so: a
// folder made here has the descriptor from its creation, so that it is never
// open, and is given it by name like one that was there.
DWORD LockFolder(const wchar_t* folder, const wchar_t* sddl, bool make)
{
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &raw, nullptr))
        return GetLastError();
    CLocalBlock descriptor(raw);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, raw, FALSE};
    if (make && !CreateDirectoryW(folder, &attributes))
        return GetLastError();
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(raw, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(raw, &present, &dacl, &defaulted))
        return GetLastError();
    const DWORD error = SetNamedSecurityInfoW(const_cast<wchar_t*>(folder), SE_FILE_OBJECT,
                                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                                  PROTECTED_DACL_SECURITY_INFORMATION,
                                              owner, nullptr, dacl, nullptr);
    if (error != ERROR_SUCCESS && make)
        RemoveDirectoryW(folder);
    return error;
}

// Makes the folder and the missing ones above it, from `firstMissing` down,
// each with the descriptor; takes back what it made when one fails.
void MakeLocked(const wchar_t* folder, const wchar_t* firstMissing, const wchar_t* sddl,
                wchar_t (&failure)[kExplanationLength])
{
    wchar_t step[MAX_PATH];
    lstrcpyW(step, folder);
    const size_t length = lstrlenW(folder);
    size_t made[MAX_PATH];
    size_t count = 0;
    for (size_t end = lstrlenW(firstMissing); end <= length; ++end) {
        if (end < length && folder[end] != L'\\')
            continue;
        step[end] = L'\0';
        const DWORD error = LockFolder(step, sddl, true);
        if (error != ERROR_SUCCESS) {
            ExplainLockFailure(step, error, failure);
            while (count > 0) {
                step[made[--count]] = L'\0';
                RemoveDirectoryW(step);
            }
            return;
        }
        step[end] = folder[end];
        made[count++] = end;
    }
}

void PrepareFolder(const wchar_t* chosen, const wchar_t* earlier, const wchar_t* sddl, wchar_t (&made)[MAX_PATH],
                   wchar_t (&failure)[kExplanationLength])
{
    made[0] = L'\0';
    const LocationVerdict verdict = JudgeInstallLocation(chosen, earlier, Parents::MadeLocked);
    ExplainFault(verdict, failure);
    wchar_t folder[MAX_PATH];
    if (verdict.fault != LocationFault::None || !FullFolderPath(chosen, folder))
        return;
    if (!verdict.firstMissing[0]) {
        const DWORD error = LockFolder(folder, sddl, false);
        if (error != ERROR_SUCCESS)
            ExplainLockFailure(folder, error, failure);
        return;
    }
    MakeLocked(folder, verdict.firstMissing, sddl, failure);
    if (!failure[0])
        lstrcpyW(made, verdict.firstMissing);
}

// Removes the folder and the files in it; a link is removed itself, never
// followed. What cannot go stays.
void RemoveWhatCanGo(const wchar_t* folder)
{
    const DWORD attributes = GetFileAttributesW(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(folder);
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        ForEachEntry(folder, [folder](const WIN32_FIND_DATAW& entry) {
            wchar_t path[MAX_PATH];
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && ChildPath(folder, entry.cFileName, path))
                DeleteFileW(path);
            return true;
        });
    }
    RemoveDirectoryW(folder);
}

void RenewFolder(const wchar_t* folder, const wchar_t* sddl, wchar_t (&failure)[kExplanationLength])
{
    failure[0] = L'\0';
    RemoveWhatCanGo(folder);
    const DWORD attributes = GetFileAttributesW(folder);
    DWORD error = ERROR_REPARSE_ATTRIBUTE_CONFLICT;
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        error = LockFolder(folder, sddl, attributes == INVALID_FILE_ATTRIBUTES);
    if (error != ERROR_SUCCESS)
        ExplainLockFailure(folder, error, failure);
}

} // namespace

extern "C" __declspec(dllexport) void __cdecl Check(HWND, int stringSize, wchar_t*, NsisStackEntry** top, void*)
{
    CNsisStack stack(top, stringSize);
    const CChosenFolder chosen(stack);
    wchar_t explanation[kExplanationLength];
    ExplainFault(JudgeInstallLocation(chosen.folder, chosen.earlier, Parents::MadeLocked), explanation);
    stack.Push(explanation);
}

extern "C" __declspec(dllexport) void __cdecl Prepare(HWND, int stringSize, wchar_t*, NsisStackEntry** top, void*)
{
    CNsisStack stack(top, stringSize);
    const CChosenFolder chosen(stack);
    wchar_t sddl[MAX_PATH];
    stack.Pop(sddl);
    wchar_t made[MAX_PATH];
    wchar_t failure[kExplanationLength];
    PrepareFolder(chosen.folder, chosen.earlier, sddl, made, failure);
    stack.Push(made);
    stack.Push(failure);
}

extern "C" __declspec(dllexport) void __cdecl Renew(HWND, int stringSize, wchar_t*, NsisStackEntry** top, void*)
{
    CNsisStack stack(top, stringSize);
    wchar_t folder[MAX_PATH];
    wchar_t sddl[MAX_PATH];
    stack.Pop(folder);
    stack.Pop(sddl);
    wchar_t failure[kExplanationLength];
    RenewFolder(folder, sddl, failure);
    stack.Push(failure);
}
