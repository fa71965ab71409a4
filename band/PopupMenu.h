#pragma once
#include <windows.h>

// The one popup menu that every band window of the process opens. Each new
// band window loads a fresh copy, which replaces (and destroys) the previous
// one; the copy goes when the last band window goes. A lock keeps the handle
// and the count of windows in step when bands live on several threads.
namespace BandPopupMenu {

// On the creation of a band window.
void LoadForNewWindow(HINSTANCE hInstance);
// On the destruction of a band window.
void ReleaseForClosedWindow();
// Shows the menu at a screen position and tracks it; the chosen command
// arrives at owner as WM_COMMAND.
void Track(HWND owner, POINT at);

} // namespace BandPopupMenu
