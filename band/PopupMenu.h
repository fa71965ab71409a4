#pragma once
#include <windows.h>

// The popup menu that the band windows open. Every thread with band windows
// has a copy of its own, which its windows share: a window system tracks one
// menu handle in one place at a time, and a band on another thread must never
// destroy the copy a band here may be tracking. A thread's copy is loaded
// with its first band window and destroyed with its last.
namespace BandPopupMenu {

// On the creation of a band window, on the window's thread.
void LoadForNewWindow(HINSTANCE hInstance);
// On the destruction of a band window, on the window's thread.
void ReleaseForClosedWindow();
// Shows the calling thread's copy at a screen position and tracks it; the
// chosen command arrives at owner as WM_COMMAND.
void Track(HWND owner, POINT at);

} // namespace BandPopupMenu
