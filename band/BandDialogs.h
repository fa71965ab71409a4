#pragma once
#include <windows.h>

// What the custom interval dialog gives when the user has not accepted an
// interval: Cancel, Escape, the close box.
const LONG kNoIntervalAnswer = -1;

// The custom interval dialog (IDD_REFRESHSETTINGS). OK with a valid entry
// ends it with the interval in seconds (1 to 2147483647), Cancel with
// kNoIntervalAnswer. It takes nothing from its messages: the answer leaves it
// only as its result.
INT_PTR CALLBACK IntervalDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

// Runs the custom interval dialog owned by owner: the interval the user
// accepted, or kNoIntervalAnswer (cancelled, or ended by anything but the
// user's OK).
LONG AskForInterval(HINSTANCE hInstance, HWND owner);

// The About box (IDD_ABOUTBOX): ends with 0.
INT_PTR CALLBACK AboutDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
