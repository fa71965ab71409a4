#pragma once
#include <windows.h>

// What screen readers see of the band window: answers WM_GETOBJECT for the
// client object with an accessible object of the band's own (0 for any
// other object, or when none can be made).
LRESULT AnswerBandGetObject(HWND hwnd, WPARAM wParam, LPARAM lParam);

// The messages through which an accessible object reaches its band: it
// holds only the window handle, which may outlive the band or be reused by
// another window, so the messages are registered ones no other window
// understands.
// Copies the band's text: wParam is the buffer's capacity, lParam the buffer.
UINT BandTextMessage();
// Opens the band's popup menu, as a key does.
UINT BandOpenMenuMessage();
