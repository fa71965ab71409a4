#pragma once
#include <windows.h>

// The custom interval dialog (IDD_REFRESHSETTINGS), run with the address of
// a LONG as its parameter. OK with a valid entry stores the interval in
// seconds (1 to 2147483647) there and ends the dialog with the same number;
// Cancel ends it with -1 and stores nothing. Only the stored number is the
// user's answer: a dialog ended by WM_QUIT, or destroyed with its owner,
// ends with whatever the dialog manager makes of it.
INT_PTR CALLBACK IntervalDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

// The About box (IDD_ABOUTBOX): ends with 0.
INT_PTR CALLBACK AboutDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
