#pragma once
#include <windows.h>

// The custom interval dialog (IDD_REFRESHSETTINGS): ends with the accepted
// interval in seconds (1 to 2147483647), or -1 when the user cancels.
INT_PTR CALLBACK IntervalDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

// The About box (IDD_ABOUTBOX): ends with 0.
INT_PTR CALLBACK AboutDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
