#include "band/BandDialogs.h"

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
    *reinterpret_cast<LONG*>(GetWindowLongPtrA(hDlg, DWLP_USER)) = entry.seconds;
    EndDialog(hDlg, entry.seconds);
}

} // namespace

// The field starts empty and the OK button, the first tab stop, gets the
// focus. Escape and the close box arrive as IDCANCEL, Enter as IDOK.
INT_PTR CALLBACK IntervalDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(hDlg, DWLP_USER, lParam);
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDCANCEL:
        EndDialog(hDlg, -1);
        break;
    case IDOK:
        AcceptIntervalEntry(hDlg);
        break;
    }
    return TRUE;
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
