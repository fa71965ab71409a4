#include "band/BandDialogs.h"

#include <limits.h>
#include <stdlib.h>

#include "resources/resource.h"

namespace {

const int kIntervalTextCapacity = 60;

// '0' to '9' only. The C library's classification follows whatever locale
// the host process has set, and a locale may count other characters as
// digits, at which strtol would then stop.
bool IsDecimalDigit(CHAR c)
{
    return c >= '0' && c <= '9';
}

// The typed interval, or the message that tells the user why it is refused.
struct IntervalEntry {
    LONG seconds;
    LPCSTR error;
};

IntervalEntry ReadIntervalEntry(HWND hDlg)
{
    CHAR text[kIntervalTextCapacity];
    if (GetDlgItemTextA(hDlg, IDC_INTERVAL, text, kIntervalTextCapacity) == 0)
        return {0, "Cannot be empty"};
    for (const CHAR* p = text; *p; ++p) {
        if (!IsDecimalDigit(*p))
            return {0, "That field can only contain numbers"};
    }
    // Digits alone: strtol holds a value past the signed 32-bit range at its
    // largest, and only all zeros give 0.
    const LONG seconds = strtol(text, nullptr, 10);
    if (seconds <= 0)
        return {0, "That is a invalid interval"};
    return {seconds, nullptr};
}

void AcceptIntervalEntry(HWND hDlg)
{
    const IntervalEntry entry = ReadIntervalEntry(hDlg);
    if (entry.error) {
        MessageBoxA(hDlg, entry.error, "Error", MB_ICONERROR);
        return;
    }
    EndDialog(hDlg, entry.seconds);
}

// Peeking dispatches nothing posted: the quit stays for the host's loop.
bool QuitPending()
{
    MSG quit;
    return PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE | PM_NOYIELD) != FALSE;
}

} // namespace

// The field starts empty and the OK button, the first tab stop, gets the
// focus. Escape and the close box arrive as IDCANCEL, Enter as IDOK. Any
// program may send WM_INITDIALOG again, with anything in lParam: it is never
// kept.
INT_PTR CALLBACK IntervalDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDCANCEL:
        EndDialog(hDlg, kNoIntervalAnswer);
        break;
    case IDOK:
        AcceptIntervalEntry(hDlg);
        break;
    }
    return TRUE;
}

// The dialog manager makes up results of its own: 0 for a dialog destroyed
// unanswered (with its top-level owner, say), and IDOK (1) for one whose
// loop met WM_QUIT, which it puts back for the host's own loop. Neither is
// the user's answer; a 1 with a quit waiting is taken as the quit's.
LONG AskForInterval(HINSTANCE hInstance, HWND owner)
{
    const INT_PTR result =
        DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_REFRESHSETTINGS), owner, IntervalDialogProc, 0);
    if (result < 1 || result > LONG_MAX || (result == IDOK && QuitPending()))
        return kNoIntervalAnswer;
    return static_cast<LONG>(result);
}

// Escape and the close box close the box as OK does.
INT_PTR CALLBACK AboutDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message != WM_COMMAND)
        return FALSE;
    if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
        EndDialog(hDlg, 0);
    return TRUE;
}
