#pragma once
// What any program on the desktop can do to the band's custom interval
// dialog, from another thread or another process: open it with a posted
// command, send it a WM_INITDIALOG of its own whose lParam is an address of
// its choosing, type an interval and post OK.
#include <windows.h>

#include "resources/resource.h"

enum IntrusionResult { kIntrusionDone = 0, kIntrusionNoDialog = 2, kIntrusionDialogStayed = 3 };

namespace intruder {

struct DialogSearch {
    HWND found;
};

inline BOOL CALLBACK MatchIntervalDialog(HWND hwnd, LPARAM lParam)
{
    CHAR className[16] = "";
    CHAR title[32] = "";
    GetClassNameA(hwnd, className, sizeof(className));
    GetWindowTextA(hwnd, title, sizeof(title));
    if (IsWindowVisible(hwnd) && !lstrcmpA(className, "#32770") && !lstrcmpA(title, "Refresh Settings")) {
        reinterpret_cast<DialogSearch*>(lParam)->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

inline HWND WaitForIntervalDialog(DWORD threadId)
{
    for (int attempt = 0; attempt < 500; ++attempt) {
        DialogSearch search = {nullptr};
        EnumThreadWindows(threadId, MatchIntervalDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(20);
    }
    return nullptr;
}

inline bool WaitUntilGone(HWND hwnd)
{
    for (int attempt = 0; attempt < 500 && IsWindow(hwnd); ++attempt)
        Sleep(20);
    return !IsWindow(hwnd);
}

} // namespace intruder

inline IntrusionResult IntrudeOnIntervalDialog(HWND band, LPARAM address, LPCSTR interval)
{
    PostMessageA(band, WM_COMMAND, ID_REFRESH_CUSTOM, 0);
    const HWND dialog = intruder::WaitForIntervalDialog(GetWindowThreadProcessId(band, nullptr));
    if (!dialog)
        return kIntrusionNoDialog;
    SendMessageA(dialog, WM_INITDIALOG, 0, address);
    SetDlgItemTextA(dialog, IDC_INTERVAL, interval);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    return intruder::WaitUntilGone(dialog) ? kIntrusionDone : kIntrusionDialogStayed;
}
