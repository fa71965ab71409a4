#pragma once
// What any program on the desktop can do to the band's custom interval
// dialog, from another thread or another process: open it with a posted
// command, send it a WM_INITDIALOG of its own whose lParam is an address of
// its choosing, type an interval and post OK.
#include <windows.h>

#include "resources/resource.h"

enum IntrusionResult { kIntrusionDone = 0, kIntrusionNoDialog = 2, kIntrusionDialogStayed = 3 };

inline IntrusionResult IntrudeOnIntervalDialog(HWND band, LPARAM address, LPCSTR interval)
{
    PostMessageA(band, WM_COMMAND, ID_REFRESH_CUSTOM, 0);
    HWND dialog = FindWindowA("#32770", "Refresh Settings");
    for (int attempt = 0; attempt < 500 && !dialog; ++attempt) {
        Sleep(20);
        dialog = FindWindowA("#32770", "Refresh Settings");
    }
    if (!dialog)
        return kIntrusionNoDialog;
    SendMessageA(dialog, WM_INITDIALOG, 0, address);
    SetDlgItemTextA(dialog, IDC_INTERVAL, interval);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    for (int attempt = 0; attempt < 500 && IsWindow(dialog); ++attempt)
        Sleep(20);
    return IsWindow(dialog) ? kIntrusionDialogStayed : kIntrusionDone;
}
